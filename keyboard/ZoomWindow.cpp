#include "keyboard/ZoomWindow.h"

#include "skin/drawing/Canvas.h"

void ZoomWindow::configure(const Setup& setup, ZoomView::FormPainter painter, PictureRef border, PictureRef background)
{
    POINT before = size();
    m_setup = setup;
    POINT lens = zoom_lens_size(setup.glass_size, setup.scale, setup.screen, setup.bottom_offset, setup.form);
    m_view.set_form(setup.form, std::move(painter));
    if (setup.style == ZoomStyle::Glass || setup.style == ZoomStyle::IZoom)
        m_view.set_lens(lens, setup.glass_radius);
    m_view.set_window_size(zoom_window_size(setup.style, setup.form, setup.key_height, lens, setup.scale, setup.screen,
                                            setup.bottom_offset));
    m_view.set_pictures(std::move(border), std::move(background));
    POINT after = size();
    if ((after.x != before.x || after.y != before.y || setup.style == ZoomStyle::Simple) && visible())
        ShowWindow(m_window, SW_HIDE);
}

bool ZoomWindow::configured_for(const Setup& s) const
{
    const Setup& m = m_setup;
    return s.style == m.style && s.form.x == m.form.x && s.form.y == m.form.y && s.key_height == m.key_height
        && s.scale == m.scale && s.screen.x == m.screen.x && s.screen.y == m.screen.y && s.bottom_offset == m.bottom_offset
        && s.glass_size == m.glass_size && s.glass_radius == m.glass_radius;
}

POINT ZoomWindow::place() const
{
    return zoom_window_place(size(), m_setup.screen, m_setup.bottom_offset, m_setup.form.y);
}

bool ZoomWindow::visible() const
{
    return m_window && IsWindowVisible(m_window);
}

DibPixelBuffer* ZoomWindow::sized(std::unique_ptr<DibPixelBuffer>& slot, POINT size)
{
    if (size.x < 1 || size.y < 1) {
        slot.reset();
        return nullptr;
    }
    if (!slot || slot->width() != size.x || slot->height() != size.y)
        slot = DibPixelBuffer::create(size.x, size.y);
    return slot.get();
}

void ZoomWindow::show()
{
    const POINT s = size(), at = place();
    if (!m_window || m_setup.style == ZoomStyle::Simple || s.x < 1 || s.y < 1)
        return;
    if (DibPixelBuffer* capture = sized(m_capture, s)) {
        HDC screen = GetDC(nullptr);
        BitBlt(capture->dc(), 0, 0, s.x, s.y, screen, at.x, at.y, SRCCOPY);
        ReleaseDC(nullptr, screen);
    }
    RECT now {};
    GetWindowRect(m_window, &now);
    if (now.left != at.x || now.top != at.y || now.right - now.left != s.x || now.bottom - now.top != s.y)
        MoveWindow(m_window, at.x, at.y, s.x, s.y, FALSE);
    ShowWindow(m_window, SW_SHOWNOACTIVATE);
}

void ZoomWindow::hide()
{
    if (visible())
        ShowWindow(m_window, SW_HIDE);
}

void ZoomWindow::hide_for_repeat()
{
    if (!visible())
        return;
    if (m_capture && m_capture->width() == size().x && m_capture->height() == size().y)
        blit_to_window(*m_capture);
    ShowWindow(m_window, SW_HIDE);
}

void ZoomWindow::blit_to_window(const DibPixelBuffer& image)
{
    HDC dc = GetDC(m_window);
    if (!dc)
        return;
    BitBlt(dc, 0, 0, image.width(), image.height(), image.dc(), 0, 0, SRCCOPY);
    ReleaseDC(m_window, dc);
}

void ZoomWindow::paint(HDC keyboard_dc, ZoomFrame frame, const FormFrame* form)
{
    if (!m_keyboard || m_keyboard->width() != m_setup.form.x || m_keyboard->height() != m_setup.form.y)
        m_keyboard_known = false; // a new surface: nothing of the last picture is there
    DibPixelBuffer* keyboard = sized(m_keyboard, m_setup.form);
    if (!keyboard)
        return;
    FormFrame known;
    if (form) {
        known = *form;
        known.all = known.all || !m_keyboard_known;
        form = &known;
    }
    frame.style = m_setup.style;
    frame.window_visible = visible();
    DibPixelBuffer* image = frame.window_visible ? sized(m_image, size()) : nullptr;
    const bool fresh_capture = m_capture && m_capture->width() == size().x && m_capture->height() == size().y;
    Canvas keyboard_canvas(keyboard), image_canvas(image);
    RECT changed {};
    // A frame with nothing over the keys shows the form's picture itself: one copy less.
    bool picture_shown = false;
    const bool may_show_picture = form && form->dc;
    bool drawn = m_view.paint(frame, fresh_capture ? m_capture.get() : nullptr, keyboard_canvas,
                              image ? &image_canvas : nullptr, form, &changed, may_show_picture ? &picture_shown : nullptr);
    if (!form || !m_keyboard_known)
        changed = RECT { 0, 0, keyboard->width(), keyboard->height() };
    if (changed.right > changed.left && changed.bottom > changed.top)
        BitBlt(keyboard_dc, changed.left, changed.top, changed.right - changed.left, changed.bottom - changed.top,
               picture_shown ? form->dc : keyboard->dc(), changed.left, changed.top, SRCCOPY);
    m_keyboard_known = form != nullptr;
    if (drawn && image)
        blit_to_window(*image);
}
