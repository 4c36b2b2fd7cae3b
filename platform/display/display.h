#pragma once
// Display back ends: where the composed device screen goes, and where device input comes from.
// Each back end lives in a file of its own and is listed in display.cpp.
#include <windef.h>

#include <memory>
#include <string>
#include <vector>

namespace display {

struct InputEvent {
    enum class Kind { None, StylusDown, StylusMove, StylusUp, KeyDown, KeyUp, Text, Closed };
    Kind kind = Kind::None;
    int x = 0; // device pixels
    int y = 0;
    int virtualKey = 0;
    std::u16string text;
    // Stylus events: when it happened, in GetTickCount's terms, for a back end whose window
    // system tells; 0 when it is handled.
    DWORD time = 0;
    // Windowed back ends: the top-level window the stylus is on, or that Closed closes (null:
    // the whole display closed).
    HWND window = nullptr;
};

// One top-level window of the device for a windowed back end.
struct WindowPicture {
    enum class Role { Normal, Panel, Popup };
    HWND handle = nullptr;
    Role role = Role::Normal;
    RECT rect {}; // device pixels
    bool visible = false;
    bool topmost = false;
    bool local = true; // of the host's own process (else another program of the device)
    std::u16string title;
    const uint16_t* pixels = nullptr; // rect's size, pitch = width
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // Shows pixels (RGB565, pitch in pixels) of the given size; the size may change between
    // calls when the device rotates.
    virtual void present(const uint16_t* pixels, int width, int height, int pitch) = 0;
    // False for a back end that shows nobody what it is given: its frames need not be composed.
    virtual bool shows_frames() const { return true; }
    // Next pending input event; false when there is none.
    virtual bool poll(InputEvent& event) = 0;
    // A descriptor that becomes readable when input may be waiting, for hosts that wait in
    // poll(); -1 when the back end has none (it is then polled on a period).
    virtual int wait_descriptor() const { return -1; }
    // Input the back end already holds, which its descriptor no longer shows.
    virtual bool input_waiting() const { return false; }
    // Whether the stylus went down or up on the host's screen and that waits to be handled (it
    // may read what arrived): the host handles it before it presents a frame.
    virtual bool stylus_waiting() { return false; }

    // A desktop back end shows each top-level window of the device as a window of the host's
    // own window system instead of one composed screen; present() is then not called.
    virtual bool windowed() const { return false; }
    virtual void present_windows(const std::vector<WindowPicture>&) { }
    // What the host's screen shows, at device resolution (width x height, pitch width); false
    // when the back end cannot read it (the composed device screen is used instead).
    virtual bool capture_screen(uint16_t*, int /*width*/, int /*height*/) { return false; }
    // Reads only a rectangle of the host's screen into pixels (pitch in pixels, indexed in
    // screen coordinates), for back ends that can: a large desktop is read where a program reads
    // it, not whole at every screen DC. False when it cannot.
    virtual bool can_capture_region() const { return false; }
    virtual bool capture_region(uint16_t*, int /*pitch*/, const RECT& /*region*/) { return false; }
};

struct Bootstrap {
    const char* name;
    bool (*available)();
    std::unique_ptr<Backend> (*create)(int width, int height);
    bool chosenByDefault = true; // false: only when named
};

extern const Bootstrap headlessBootstrap;
extern const Bootstrap sdlBootstrap;
extern const Bootstrap x11Bootstrap;
extern const Bootstrap waylandBootstrap;

// Writes each presented frame to POCKETSIM_SAVE_FRAMES when that is set.
void dumpFrame(const uint16_t* pixels, int width, int height, int pitch);
bool dumpingFrames();

}

namespace display {
// The back end named wanted (NULL: POCKETSIM_DISPLAY, else the first available); null when
// the named one is unknown or cannot run here.
std::unique_ptr<Backend> open(const char* wanted, int width, int height);
}
