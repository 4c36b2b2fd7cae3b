#pragma once
// The seam where the platform's software input panel plugs into the device host. The device
// owns at most one panel; it asks the panel for its height, tells it where it sits, and shows
// or hides it when the menu bar's panel button is tapped (or a script says "sip show|hide").
#include <windows.h>

#include <functional>

namespace pocketsim {

class InputPanel {
public:
    virtual ~InputPanel() = default;
    // The panel window, a child of nothing: the device places it above the menu bar.
    virtual HWND window() const = 0;
    virtual int height() const = 0;
    virtual void place(RECT area) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool shown() const = 0;
    // Draws the panel button's picture into button (in dc); false leaves the device's own.
    virtual bool draw_button(HDC, RECT) { return false; }
    // Set by the device: the panel showed, hid, moved or changed its picture by itself (a
    // program's SipShowIM, a new input method, a new rectangle).
    std::function<void()> changed;
};

}
