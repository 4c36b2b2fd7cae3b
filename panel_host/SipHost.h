#pragma once
// The device's software input panel: the panel window above the menu bar and the input method
// inside it, loaded through the registry and driven as the platform drives it.
//
// Calls to the method, in order:
//   load (boot, switch):  create through the class factory, RegisterCallback, GetInfo,
//                         Select(panel window); then, when the panel is up, Showing and
//                         ReceiveSipInfo
//   show:                 Showing, the window appears, ReceiveSipInfo
//   hide:                 Hiding, the window disappears
//   new rectangle:        SetImInfo moves the window; ReceiveSipInfo follows from the message loop
//   screen turned:        Hiding, GetInfo, Showing, ReceiveSipInfo (only GetInfo when hidden)
//   unload (switch, end): Hiding when up, Deselect, Release; the library goes when it says it can
#include "panel_host/InputPanel.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pocketsim {

class SipCallback;

// Where the callback's key output goes. By default the device delivers it to its focused window;
// a desktop host hands it to the host's window system instead.
class KeyOutput {
public:
    virtual ~KeyOutput() = default;
    // SendVirtualKey: flags carry KEYEVENTF_KEYUP (2) for a release.
    virtual void virtual_key(BYTE virtualKey, DWORD flags) = 0;
    // SendCharEvents: one transition per character; keyFlags 0x80 a press, 0x40 a release.
    virtual void char_events(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters) = 0;
    // SendString: characters without key transitions.
    virtual void text(const WCHAR* text, DWORD count) = 0;
};

class SipHost final : public InputPanel {
public:
    SipHost();
    ~SipHost() override;
    SipHost(const SipHost&) = delete;
    SipHost& operator=(const SipHost&) = delete;

    // Makes the panel window and loads the method named by "DefaultIM" (the platform's keyboard
    // when that one is missing or fails). False when the window cannot be made.
    bool start(HINSTANCE instance);
    // Every callback call, one line each ("SendVirtualKey vk=0x8 flags=0x4").
    void set_event_sink(std::function<void(const std::string&)> sink) { m_events = std::move(sink); }
    // Key output goes to output (not owned; null: the device's focused window).
    void set_key_output(KeyOutput* output) { m_output = output; }
    KeyOutput* key_output() const { return m_output; }

    HWND window() const override { return m_window; }
    int height() const override;
    void place(RECT area) override;
    void show() override;
    void hide() override;
    bool shown() const override { return m_shown; }
    bool draw_button(HDC dc, RECT button) override;

    // SipSetCurrentIM: false for a class that is no registered input method or that fails to
    // load; the current method then stays.
    bool set_current(const CLSID& clsid);
    const CLSID& current() const { return m_current; }
    // The current method made anew, in place of the loaded one: it reads its skin and sizes
    // again (a desktop's screen took another scale). False when the new one cannot be made (the
    // old one stays) or does not select (none is loaded then).
    bool reload();

    // Called by the callback object while its method is current.
    HRESULT set_im_info(const IMINFO& info);
    void event(const std::string& line);

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Takes over a created method and selects it; false (the method released, nothing left
    // behind) when it refuses to be selected.
    bool load(const CLSID& clsid, IInputMethod* method);
    void unload();
    void screenChanged();
    void receiveSipInfo();
    void applyInfo(const IMINFO& info);
    RECT defaultRect() const;
    SIPINFO sipInfo() const;
    void publish();
    void notify();

    HWND m_window = nullptr;
    IInputMethod* m_method = nullptr;
    SipCallback* m_callback = nullptr;
    std::vector<SipCallback*> m_retired; // callbacks of released methods, refusing every call
    CLSID m_current {};
    RECT m_rect {};
    DWORD m_flags = SIPF_DOCKED;
    HIMAGELIST m_wide = nullptr;
    int m_wideIndex = 0;
    HIMAGELIST m_narrow = nullptr;
    int m_narrowIndex = 0;
    bool m_shown = false;
    bool m_methodShown = false; // the method was told Showing and not Hiding since
    int m_busy = 0; // depth of calls into the method: a switch asked from inside is refused
    int m_echoes = 0;
    std::function<void(const std::string&)> m_events;
    KeyOutput* m_output = nullptr;
};

}
