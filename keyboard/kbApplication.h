#pragma once
// The running keyboard: its window inside the input panel and the zoom window above it, the
// keyboard form, the off-screen surfaces, the touch machine and the key actions, and the
// 40 ms timer that drives the zoom. One per process, made when the input method is selected.
#include "keyboard/FormKeys.h"
#include "keyboard/FormPicture.h"
#include "keyboard/ZoomWindow.h"
#include "keyboard/KeyboardForm.h"
#include "keyboard/kbKeyActions.h"
#include "keyboard/kbTouch.h"
#include "skin/drawing/DibPixelBuffer.h"
#include "skin/file/PictureRef.h"

#include <sip.h>
#include <windows.h>

#include <array>
#include <memory>

class Properties;
class kbData;

inline constexpr char16_t kMainWindowClass[] = u"magnikeys2_main_window";
inline constexpr char16_t kZoomWindowClass[] = u"magnikeys2_optional_window";

class kbApplication final : public kbKeyActions::Host, public kbTouch::Host {
public:
    static constexpr UINT_PTR kAnimationTimer = 1;
    static constexpr UINT kAnimationPeriod = 40; // ms
    // Posted to the main window to hide and show the panel again once the call that found a
    // layout needing another form has returned.
    static constexpr UINT kReshowPanel = WM_USER + 11;

    // Throws what the keyboard form throws for a skin that lacks a part of the form.
    kbApplication(const Properties& skin, HINSTANCE module, HWND parent);
    ~kbApplication();
    kbApplication(const kbApplication&) = delete;
    kbApplication& operator=(const kbApplication&) = delete;

    // The process's keyboard application, or null.
    static kbApplication* instance();
    // Makes `app` the process's one, destroying the previous one. A new application registers
    // the window classes, so callers destroy the old one (reset()) before constructing it.
    static void reset(std::unique_ptr<kbApplication> app = nullptr);

    void set_callback(IIMCallback* callback) { m_callback = callback; }
    IIMCallback* callback() const { return m_callback; }
    HWND main_window() const { return m_mainWindow; }
    HWND zoom_window() const { return m_zoomWindow; }
    SIZE keyboard_size() const;
    bool landscape() const { return m_landscape; }

    void set_current_layout();

    KeyboardForm& form() { return *m_form; }
    const FormPicture& form_picture() const { return m_picture; }
    const ZoomWindow& zoom() const { return m_zoom; }
    const PictureRef& glass_border() const { return m_glassBorder; }
    const PictureRef& background() const { return m_background; }
    kbKeyActions& actions() { return m_actions; }
    kbTouch& touch() { return m_touch; }
    // Screen pixels per design pixel for the zoom windows (ScreenScale).
    double scale() const { return m_scale; }
    int menu_bar_height() const { return m_menuBarHeight; }
    // Size of the zoom window for the zoom style in force.
    SIZE zoom_window_size() const;

    // Draws the keyboard into its surface and copies it to dc (the keyboard window's).
    void paint(HDC dc);

    // kbKeyActions::Host
    void send_virtual_key(BYTE key, DWORD flags) override;
    void send_char_events(UINT key, UINT keyFlags, UINT shiftState, char16_t character) override;
    unsigned virtual_key(char16_t character) override;
    void next_layout(bool typedSinceSwitch) override;

    // kbTouch::Host
    void invalidate() override;
    void reload_layouts_and_settings() override;
    bool zoom_window_visible() const override;
    void show_zoom_window() override;
    void hide_zoom_window() override;

private:
    enum Surface { KeyboardImage, ZoomImage, Work1, Work2, Work3, SurfaceCount };

    static LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void create_windows();
    // The zoom window's setup from the settings in force; the zoom follows it at each paint,
    // so a style read at Showing or at a touch takes effect there.
    ZoomWindow::Setup zoom_setup() const;
    void configure_zoom(const ZoomWindow::Setup& setup);
    int key_height() const;
    void handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The surface in a slot at the given size: kept when it has that size, else made anew.
    DibPixelBuffer* surface(Surface slot, int width, int height);

    IIMCallback* m_callback = nullptr;
    bool m_landscape = false;
    std::unique_ptr<KeyboardForm> m_form;
    FormKeys m_keys;
    FormPicture m_picture; // the form as last drawn; the zoom views compose from it
    HWND m_mainWindow = nullptr;
    HWND m_zoomWindow = nullptr;
    HWND m_parent = nullptr;
    HINSTANCE m_module = nullptr;
    const Properties& m_skin;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    int m_menuBarHeight = 26;
    double m_scale = 1;
    double m_gestureScale = 1;
    bool m_timerPaint = false;
    bool m_reshowPending = false;
    PictureRef m_glassBorder;
    PictureRef m_background;
    std::array<std::unique_ptr<DibPixelBuffer>, SurfaceCount> m_surfaces;
    kbKeyActions m_actions;
    kbTouch m_touch;
    ZoomWindow m_zoom;
};
