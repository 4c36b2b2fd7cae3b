#pragma once
// The input records the window layer delivers to the user-interface application, and the
// program's listener for what happens to the application as a whole.
#include <windef.h>

#include <string>

#include "skin/elements/KeyCode.h"

class SkinForm;

struct KeyEvent {
    KeyCode key = KeyCode::None;
    bool down = false;
    bool first_press = true; // false for a press the keyboard repeated
};

struct PointerEvent {
    int x = 0; // client pixels
    int y = 0;
    DWORD time = 0; // time stamp of the message, milliseconds
    bool down = false;
    bool cancelled = false; // a release the window never saw: the capture went elsewhere
};

// Operations in the order the framework calls them by slot.
class ApplicationListener {
public:
    virtual ~ApplicationListener() = default;
    // A later start of the program handed over its command line (empty when it had none).
    virtual void command_line_received(const std::u16string& command_line) = 0;
    // True lets the main window close.
    virtual bool close_requested() = 0;
    virtual void form_opened(SkinForm& form) = 0;
    virtual void form_closed(SkinForm& form) = 0;
    virtual void resolution_changed() = 0;
    virtual void help_requested() = 0;
    virtual void deactivated() = 0;
    virtual void activated() = 0;
    // True when the listener consumed the key.
    virtual bool key(const KeyEvent& event) = 0;
};
