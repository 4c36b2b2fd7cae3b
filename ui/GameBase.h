#pragma once
// The settings program's window layer on top of the application core: the main window and its
// procedure, the message loop in both drawing modes (through the window system, or straight into
// the frame buffer), the single-instance rule, the translation of keys and stylus messages into
// the framework's events, and the native edit window laid over a focused text field.
#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "runtime/Application.h"
#include "ui/AppEvents.h"

class Canvas;
class DibPixelBuffer;
namespace shell {
class DirectDisplay;
}
class EditElement;
class PixelBuffer;

// The last known screen: resolution, the client area the program draws into, the orientation
// (4 until known) and the vertical dots per inch.
struct ScreenRecord {
    int width = 0;
    int height = 0;
    int client_x = 0;
    int client_y = 0;
    int client_width = 0;
    int client_height = 0;
    int orientation = 4;
    int dpi = 0;

    bool operator==(const ScreenRecord&) const = default;
};

// What the window layer drives: the user-interface application.
class GameClient {
public:
    virtual ~GameClient() = default;
    virtual void tick(double seconds) = 0;
    virtual void paint(Canvas& canvas) = 0;
    virtual bool needs_redraw(bool include_pending) = 0;
    virtual void set_needs_redraw() = 0;
    virtual bool has_forms() const = 0;
    // The screen as it was before the program drew, shown until the first form opens.
    virtual void take_background(const PixelBuffer& screen) = 0;
    virtual ApplicationListener* listener() const = 0;
    virtual void pointer_moved(const PointerEvent& event) = 0;
    virtual void pointer_pressed(const PointerEvent& event) = 0;
    virtual void key(const KeyEvent& event) = 0;
    virtual void text(std::u16string_view text) = 0;
};

class GameBase : public Application {
public:
    static constexpr UINT kTimerId = 1;
    static constexpr UINT kTimerPeriod = 40;
    static constexpr UINT kCommandLineMessage = WM_USER + 34;
    static constexpr int kNoPosition = -1000000;

    GameBase(HINSTANCE module, std::u16string_view application_name, GameClient& client);
    ~GameBase() override;

    // The message loop; returns the quit message's code.
    int Run();
    void SetWindowed(bool taskbar_visible);
    void SetDirectDisplay(int orientation);
    void SetRawKeyInput(bool on);
    void Suspend() { m_suspended = true; }
    // The text-field widget gaining (field) or losing (null) the focus; with native control the
    // platform's edit window does the editing over the field.
    void FocusEdit(EditElement* field, bool native_control);
    void EditMoved(EditElement* field);
    void BringToFront();
    void ResolutionChanged();
    ScreenRecord ClientArea() const;

    // True when another instance of the program took over (the caller then exits with 0);
    // otherwise this process holds the single-instance mutex until its main window exists.
    static bool show_running_instance(std::u16string_view command_line, std::u16string_view application_name);
    static bool is_smartphone();
    // Bottom reserve (and top bar height) of a smartphone screen of that width.
    static int smartphone_bottom_reserve(int screen_width);
    // The clamped tick length for a span of milliseconds.
    static double tick_seconds(DWORD elapsed_ms);

    HWND main_window() const { return m_window; }
    HWND edit_window() const { return m_edit; }
    HWND sip_preference_window() const { return m_sipPreference; }
    HWND menu_bar() const { return m_menuBar; }
    EditElement* focused_edit() const { return m_focused; }
    int sip_preference() const { return m_sipPreferenceValue; }
    bool windowed() const { return m_windowed; }
    bool direct_display_open() const { return m_direct != nullptr; }
    bool raw_key_input() const { return m_rawKeys; }
    bool inactive() const { return m_inactive; }
    bool suspended() const { return m_suspended; }
    const ScreenRecord& screen() const { return m_screen; }
    // One tick of the direct-display loop; the loop passes false.
    void tick(bool skip_if_unchanged);

private:
    static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void on_create(HWND window);
    void on_paint(HWND window);
    void on_key(UINT message, WPARAM wParam, LPARAM lParam);
    void on_hot_key(WPARAM wParam, LPARAM lParam);
    void on_copy_data(const COPYDATASTRUCT* data);
    void on_command_line();
    void on_timer();
    void on_capture_changed();
    void read_screen(ScreenRecord& record) const;
    void place_window();
    void start_timer();
    void stop_timer();
    void open_direct_display();
    void close_direct_display();
    void paint_direct();
    void create_edit_window(EditElement& field);
    void destroy_edit_window();
    DWORD message_time() const;

    GameClient& m_client;
    MSG m_lastMessage{};
    HWND m_window = nullptr;
    HWND m_edit = nullptr;
    HWND m_sipPreference = nullptr;
    HBRUSH m_editBrush = nullptr;
    bool m_inactive = false;
    bool m_suspended = false;
    int m_lastUpX = kNoPosition;
    int m_lastUpY = kNoPosition;
    HWND m_menuBar = nullptr;
    int m_menuBarHeight = 0;
    EditElement* m_focused = nullptr;
    int m_sipPreferenceValue = 0;
    DWORD m_lastTick = 0;
    std::unique_ptr<shell::DirectDisplay> m_direct;
    bool m_windowed = true;
    bool m_taskbarVisible = true;
    bool m_rawKeys = true;
    int m_displayWidth = 0;
    int m_displayHeight = 0;
    int m_displayOrientation = 0;
    std::deque<std::u16string> m_commandLines;
    std::unique_ptr<DibPixelBuffer> m_windowBitmap;
    ScreenRecord m_screen;
    bool m_timerRunning = false;
    bool m_extraControlsReady = false;

    static inline GameBase* s_target = nullptr;
};
