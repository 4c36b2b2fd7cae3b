#pragma once
// The zoom window above the keyboard and everything drawn for it: its size and place for the
// style in force, the screen captured from under it before it shows, showing and hiding it,
// and each paint of the keyboard window and the zoom window through the zoom views.
#include "keyboard/ZoomView.h"
#include "skin/drawing/DibPixelBuffer.h"

#include <windows.h>

#include <memory>

class ZoomWindow {
public:
    // What the zoom window depends on; read again whenever the settings or the form change.
    struct Setup {
        ZoomStyle style = ZoomStyle::Simple;
        POINT form {}; // the keyboard form's size
        int key_height = 0; // key 0's "#normal" child
        double scale = 1; // screen pixels per design pixel (ScreenScale::zoom)
        POINT screen {};
        int bottom_offset = 26; // kept free below the keyboard: the menu bar
        kbIntPair glass_size { 90, 90 }; // glass_zoom_window_size, clamped
        double glass_radius = 50.0; // clamped, in screen pixels
    };

    explicit ZoomWindow(HWND window = nullptr)
        : m_window(window)
    {
    }
    ZoomWindow(const ZoomWindow&) = delete;
    ZoomWindow& operator=(const ZoomWindow&) = delete;

    void set_window(HWND window) { m_window = window; }
    HWND window() const { return m_window; }

    // A new style or size takes effect from the next show; a visible window is hidden first
    // when its size changes, so it never shows a picture of the old size.
    void configure(const Setup& setup, ZoomView::FormPainter painter, PictureRef border, PictureRef background);
    const Setup& setup() const { return m_setup; }
    // Whether the last configure had this setup.
    bool configured_for(const Setup& setup) const;
    ZoomStyle style() const { return m_setup.style; }
    POINT size() const { return m_view.window_size(); }
    POINT place() const;
    const ZoomView& view() const { return m_view; }

    bool visible() const;
    // Copies the screen under the window into the capture, moves the window there if it is
    // elsewhere and shows it; nothing for "simple" or a window of no size.
    void show();
    // The stylus lifted.
    void hide();
    // Auto-repeat starts: the screen is put back first, then the window hides.
    void hide_for_repeat();

    // One paint: the keyboard window's picture onto keyboard_dc and, when the style draws it,
    // the zoom window's. The frame's visibility is the window's own. With the form's picture
    // (form), only what changed since the last paint reaches the keyboard window, which keeps
    // the rest of its last picture.
    void paint(HDC keyboard_dc, ZoomFrame frame, const FormFrame* form = nullptr);
    // The next paint writes the whole keyboard window (its pixels were lost).
    void repaint_all() { m_keyboard_known = false; }

    // The capture taken at the last show (for tests and the hide).
    const PixelBuffer* capture() const { return m_capture.get(); }

private:
    // The surface in a slot at the given size: kept when it has that size, else made anew.
    static DibPixelBuffer* sized(std::unique_ptr<DibPixelBuffer>& slot, POINT size);
    void blit_to_window(const DibPixelBuffer& image);

    HWND m_window;
    Setup m_setup;
    ZoomView m_view;
    std::unique_ptr<DibPixelBuffer> m_keyboard; // the keyboard window's picture
    std::unique_ptr<DibPixelBuffer> m_image; // the zoom window's picture
    std::unique_ptr<DibPixelBuffer> m_capture; // the screen under the zoom window
    bool m_keyboard_known = false; // the keyboard window shows m_keyboard
};
