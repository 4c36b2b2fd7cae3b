#include "keyboard/kbApplication.h"
#include "keyboard/ScreenScale.h"
#include "keyboard/ZoomLimits.h"
#include "keyboard/kbData.h"
#include "runtime/Log.h"
#include "skin/drawing/Canvas.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"

#include <algorithm>
#include <cmath>

namespace {

std::unique_ptr<kbApplication>& owner()
{
    static std::unique_ptr<kbApplication> app;
    return app;
}

kbData& data()
{
    return *kbData::instance();
}

bool isLandscape(const DisplayInfo& display)
{
    return display.orientation == 1 || display.orientation == 3;
}

PictureRef sourcePicture(const Properties& skin, std::u16string_view element)
{
    const ElementRecord* record = skin.find_node(element);
    return record ? skin.get_picture(*record, u"src", PictureRef()) : PictureRef();
}

}

kbApplication* kbApplication::instance()
{
    return owner().get();
}

void kbApplication::reset(std::unique_ptr<kbApplication> app)
{
    owner().reset();
    owner() = std::move(app);
}

kbApplication::kbApplication(const Properties& skin, HINSTANCE module, HWND parent)
    : m_landscape(isLandscape(DisplayInfo::query()))
    , m_form(std::make_unique<KeyboardForm>(skin, data().layouts().needs_extended() ? u"extended_normal" : u"normal", m_landscape))
    , m_keys(*m_form)
    , m_picture(*m_form)
    , m_parent(parent)
    , m_module(module)
    , m_skin(skin)
    , m_actions(m_keys, data().settings(), *this)
    , m_touch(m_keys, m_actions, data().settings(), *this)
{
    const DisplayInfo display = DisplayInfo::query();
    m_screenWidth = GetSystemMetrics(SM_CXSCREEN);
    m_screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const ScreenScale scale = ScreenScale::of(skin, display);
    m_menuBarHeight = scale.bottom_offset;
    m_scale = scale.zoom;
    m_gestureScale = scale.gestures;
    m_touch.set_gesture_scale(scale.gestures);

    const kbSettings& settings = data().settings();
    m_form->set_settings_id(settings.settings_id);
    m_form->set_zoom_scale(m_touch.effective_zoom_scale());
    m_form->set_visible(true);
    create_windows();

    set_current_layout();
    m_glassBorder = sourcePicture(skin, u"GlassBorder");
    m_background = sourcePicture(skin, u"background");
    // The zoom views keep their own surfaces, made at the sizes their drawing needs.
    m_zoom.set_window(m_zoomWindow);
    configure_zoom(zoom_setup());
    if (m_mainWindow)
        SetTimer(m_mainWindow, kAnimationTimer, kAnimationPeriod, nullptr);
}

kbApplication::~kbApplication()
{
    Log().append(u"kbApplication destructor\n");
    if (m_zoomWindow) {
        DestroyWindow(m_zoomWindow);
        m_zoomWindow = nullptr;
    }
    UnregisterClass(kZoomWindowClass, m_module);
    Log().append(u"kbApplication destroy optional window\n");
    if (m_mainWindow) {
        KillTimer(m_mainWindow, kAnimationTimer);
        HWND main = m_mainWindow;
        m_mainWindow = nullptr; // the capture-changed message of the destruction finds no window
        DestroyWindow(main);
    }
    UnregisterClass(kMainWindowClass, m_module);
    Log().append(u"kbApplication destroy main window\n");
    for (int slot = SurfaceCount - 1; slot >= 0; --slot)
        m_surfaces[size_t(slot)].reset();
}

SIZE kbApplication::keyboard_size() const
{
    const POINT size = m_form->size();
    return SIZE { size.x, size.y };
}

int kbApplication::key_height() const
{
    if (ButtonElement* key = m_form->key(0))
        if (Element* normal = reinterpret_cast<Element*>(key)->find_child(u"#normal"))
            return normal->size().y;
    return 0;
}

ZoomWindow::Setup kbApplication::zoom_setup() const
{
    const kbSettings& settings = data().settings();
    ZoomWindow::Setup setup;
    setup.style = zoom_style_for(settings.board_style);
    setup.form = m_form->size();
    setup.key_height = key_height();
    setup.scale = m_scale;
    setup.screen = POINT { m_screenWidth, m_screenHeight };
    setup.bottom_offset = m_menuBarHeight;
    setup.glass_size = zoom_limits::glass_zoom_window_size(settings.glass_zoom_window_size);
    setup.glass_radius = zoom_limits::glass_radius(settings.glass_radius) * m_gestureScale;
    return setup;
}

void kbApplication::configure_zoom(const ZoomWindow::Setup& setup)
{
    m_zoom.configure(setup, [this](Canvas& canvas, POINT at) { m_form->paint(canvas, at); }, m_glassBorder, m_background);
}

SIZE kbApplication::zoom_window_size() const
{
    const ZoomWindow::Setup setup = zoom_setup();
    const POINT lens = zoom_lens_size(setup.glass_size, setup.scale, setup.screen, setup.bottom_offset, setup.form);
    const POINT size = ::zoom_window_size(setup.style, setup.form, setup.key_height, lens, setup.scale, setup.screen,
                                          setup.bottom_offset);
    return SIZE { size.x, size.y };
}

void kbApplication::create_windows()
{
    Log().append(u"create main window\n");
    const SIZE form = keyboard_size();

    WNDCLASS mainClass {};
    mainClass.lpfnWndProc = main_window_proc;
    mainClass.hInstance = m_module;
    mainClass.lpszClassName = kMainWindowClass;
    if (!RegisterClass(&mainClass)) {
        Log().append(u"Error: cannot register main window class\n");
        return;
    }
    m_mainWindow = CreateWindowEx(0, kMainWindowClass, u"",
        0x50000000, 0, 0, form.cx, form.cy, m_parent, reinterpret_cast<HMENU>(100), m_module, nullptr);
    if (!m_mainWindow) {
        Log()
            .append(u"Error: main window create")
            .append((m_screenWidth - form.cx) / 2)
            .append(u" ")
            .append(m_screenHeight - m_menuBarHeight - form.cy)
            .append(u" ")
            .append(form.cx)
            .append(u" ")
            .append(form.cy)
            .append(u"\n");
        return;
    }

    WNDCLASS zoomClass {};
    zoomClass.lpfnWndProc = DefWindowProc;
    zoomClass.hInstance = m_module;
    zoomClass.lpszClassName = kZoomWindowClass;
    if (!RegisterClass(&zoomClass))
        Log().append(u"Error: cannot register optional window class\n");
    const SIZE zoom = zoom_window_size();
    m_zoomWindow = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kZoomWindowClass, nullptr,
        0x40000000, (m_screenWidth - zoom.cx) / 2, m_screenHeight - m_menuBarHeight - form.cy - zoom.cy, zoom.cx, zoom.cy,
        m_mainWindow, nullptr, m_module, nullptr);
    if (!m_zoomWindow) {
        Log().append(u"Error: can't create optional window\n");
    } else if (!IsWindow(m_zoomWindow)) {
        Log().append(u"Error: cannot create optional window\n");
        m_zoomWindow = nullptr;
    } else {
        SetParent(m_zoomWindow, nullptr);
        ShowWindow(m_zoomWindow, SW_HIDE);
    }
    ShowWindow(m_mainWindow, SW_SHOW);
}

void kbApplication::set_current_layout()
{
    Log().append(u"kb app set curr layout\n");
    std::u16string text;
    std::u16string shortName = m_actions.layout_short_name();
    if (!data().layouts().load(text, shortName, m_actions.shift(), m_actions.extra())) {
        Log().append(u"(!Error) with loading layout\n");
        return;
    }
    Log().append(u"kb app set layout: ").append(text).append(u"\n");
    const size_t letters = static_cast<size_t>(m_form->letter_count());
    if (text.size() != letters) {
        if (m_actions.extra()) {
            text.resize(letters, u'\0');
        } else if ((text.size() == 44) != m_form->extended() && (text.size() == 33 || text.size() == 44)) {
            // The layout needs the other form: the panel is shown anew and Showing rebuilds
            // the keyboard. That destroys this object, so it happens from the message loop.
            if (m_mainWindow && !m_reshowPending) {
                m_reshowPending = true;
                PostMessage(m_mainWindow, kReshowPanel, 0, 0);
            }
        }
        // Any other length fits no form: the keys stay as they are.
    }
    m_actions.set_layout(text, shortName);
    m_form->set_settings_id(data().settings().settings_id);
    m_form->set_layout(text, shortName, m_actions.extra());
}

DibPixelBuffer* kbApplication::surface(Surface slot, int width, int height)
{
    auto& held = m_surfaces[size_t(slot)];
    if (held && held->width() == width && held->height() == height)
        return held.get();
    held.reset();
    held = DibPixelBuffer::create(width, height);
    return held.get();
}

void kbApplication::paint(HDC dc)
{
    m_touch.advance_zoom(m_timerPaint ? 0.04 : 0.006);
    m_timerPaint = false;
    if (!dc)
        return;
    const ZoomWindow::Setup setup = zoom_setup();
    if (!m_zoom.configured_for(setup))
        configure_zoom(setup);
    ZoomFrame frame;
    frame.level = m_touch.zoom_level();
    frame.shift = m_touch.zoom_shift(frame.level);
    frame.stylus = m_touch.current_point();
    frame.repeat = m_touch.repeat_mode();
    const FormPicture::Damage damage = m_picture.update();
    FormFrame form;
    form.picture = m_picture.picture();
    form.opaque = m_picture.opaque();
    form.all = damage.all;
    form.damage = damage.rect;
    form.dc = m_picture.dc();
    m_zoom.paint(dc, frame, &form);
}

void kbApplication::send_virtual_key(BYTE key, DWORD flags)
{
    if (m_callback)
        m_callback->SendVirtualKey(key, flags);
}

void kbApplication::send_char_events(UINT key, UINT keyFlags, UINT shiftState, char16_t character)
{
    if (!m_callback)
        return;
    UINT shift = shiftState;
    UINT ch = character;
    m_callback->SendCharEvents(key, keyFlags, 1, &shift, &ch);
}

unsigned kbApplication::virtual_key(char16_t character)
{
    return static_cast<unsigned>(data().layouts().virtual_key(character));
}

void kbApplication::next_layout(bool typedSinceSwitch)
{
    data().layouts().next_layout(typedSinceSwitch);
}

void kbApplication::invalidate()
{
    if (m_mainWindow)
        InvalidateRect(m_mainWindow, nullptr, FALSE);
}

void kbApplication::reload_layouts_and_settings()
{
    data().layouts().refresh();
    data().settings().read();
    m_form->set_zoom_scale(m_touch.effective_zoom_scale());
}

bool kbApplication::zoom_window_visible() const
{
    return m_zoomWindow && IsWindowVisible(m_zoomWindow);
}

void kbApplication::show_zoom_window()
{
    m_zoom.show();
}

void kbApplication::hide_zoom_window()
{
    m_zoom.hide_for_repeat();
}

void kbApplication::handle(UINT message, WPARAM, LPARAM lParam)
{
    const POINT point { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
    switch (message) {
    case WM_TIMER:
        m_timerPaint = true;
        InvalidateRect(m_mainWindow, nullptr, FALSE);
        break;
    case WM_MOUSEMOVE:
        m_touch.on_move(point, static_cast<DWORD>(GetMessageTime()));
        break;
    case WM_LBUTTONDOWN:
        SetCapture(m_mainWindow);
        m_touch.on_touch(point, static_cast<DWORD>(GetMessageTime()));
        break;
    case WM_LBUTTONUP:
        m_touch.release_point(static_cast<DWORD>(GetMessageTime()));
        ReleaseCapture();
        break;
    case WM_CAPTURECHANGED:
        m_touch.on_release();
        hide_zoom_window();
        break;
    case WM_ERASEBKGND:
    case WM_SIZE:
        m_zoom.repaint_all(); // the window's pixels may be gone: the next paint writes them all
        break;
    default:
        break;
    }
}

LRESULT CALLBACK kbApplication::main_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    kbApplication* app = instance();
    if (app && app->m_mainWindow == window) {
        if (message == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            app->paint(dc);
            EndPaint(window, &ps);
            return 0;
        }
        if (message == kReshowPanel) {
            // Showing rebuilds the keyboard and destroys this window: nothing of it is
            // touched after the panel was shown again.
            app->m_reshowPending = false;
            SipShowIM(SIPF_OFF);
            SipShowIM(SIPF_ON);
            return 0;
        }
        app->handle(message, wParam, lParam);
    }
    return DefWindowProc(window, message, wParam, lParam);
}
