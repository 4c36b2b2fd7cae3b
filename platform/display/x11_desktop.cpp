// The X11 desktop back end: every top-level window of the device is an X window of its own on
// the host's desktop, scaled from device pixels to the X screen. The input panel is a dock at
// the bottom of the screen that never takes the focus; windows that cannot be activated (the
// zoom window) are override-redirect popups above it; other windows are ordinary ones. The
// left button on any of them is the stylus. Screen reads see what the X screen shows.
#include "display.h"
#include "linux/text/host_text.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

namespace display {

namespace {

constexpr unsigned long kEventMask = ButtonPressMask | ButtonReleaseMask | Button1MotionMask | ExposureMask;

// Position of a mask's lowest bit and its width, for packing 8-bit channels into a pixel.
struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(unsigned long mask)
    {
        if (!mask)
            return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
    }
    unsigned long pack(unsigned value8) const
    {
        return bits >= 8 ? static_cast<unsigned long>(value8) << (shift + bits - 8)
                         : static_cast<unsigned long>(value8 >> (8 - bits)) << shift;
    }
    unsigned unpack(unsigned long pixel) const
    {
        unsigned v = static_cast<unsigned>((pixel >> shift) & ((1ul << bits) - 1));
        return bits >= 8 ? v >> (bits - 8) : v << (8 - bits);
    }
};

class X11Desktop final : public Backend {
public:
    X11Desktop(Display* display, double scale, int deviceHeight)
        : m_display(display)
        , m_screen(DefaultScreen(display))
        , m_root(RootWindow(display, m_screen))
        , m_visual(DefaultVisual(display, m_screen))
        , m_depth(DefaultDepth(display, m_screen))
        , m_scale(scale)
        , m_deviceHeight(deviceHeight)
        , m_red(m_visual->red_mask)
        , m_green(m_visual->green_mask)
        , m_blue(m_visual->blue_mask)
    {
        m_screenWidth = DisplayWidth(display, m_screen);
        m_screenHeight = DisplayHeight(display, m_screen);
        auto atom = [&](const char* name) { return XInternAtom(m_display, name, False); };
        m_type = atom("_NET_WM_WINDOW_TYPE");
        m_typeDock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        m_typeNormal = atom("_NET_WM_WINDOW_TYPE_NORMAL");
        m_state = atom("_NET_WM_STATE");
        m_stateAbove = atom("_NET_WM_STATE_ABOVE");
        m_stateSticky = atom("_NET_WM_STATE_STICKY");
        m_skipTaskbar = atom("_NET_WM_STATE_SKIP_TASKBAR");
        m_skipPager = atom("_NET_WM_STATE_SKIP_PAGER");
        m_strut = atom("_NET_WM_STRUT");
        m_strutPartial = atom("_NET_WM_STRUT_PARTIAL");
        m_utf8 = atom("UTF8_STRING");
        m_netName = atom("_NET_WM_NAME");
        m_protocols = atom("WM_PROTOCOLS");
        m_deleteWindow = atom("WM_DELETE_WINDOW");
    }

    ~X11Desktop() override
    {
        for (auto& [handle, shown] : m_windows)
            XDestroyWindow(m_display, shown.xid);
        XCloseDisplay(m_display);
    }

    const char* name() const override { return "x11"; }
    bool windowed() const override { return true; }
    void present(const uint16_t*, int, int, int) override { }

    void present_windows(const std::vector<WindowPicture>& pictures) override
    {
        for (auto it = m_windows.begin(); it != m_windows.end();) {
            bool kept = std::any_of(pictures.begin(), pictures.end(), [&](const WindowPicture& p) { return p.handle == it->first; });
            if (kept) {
                ++it;
                continue;
            }
            XDestroyWindow(m_display, it->second.xid);
            it = m_windows.erase(it);
        }
        m_panelHeight = 0;
        for (const WindowPicture& p : pictures)
            if (p.role == WindowPicture::Role::Panel && p.visible)
                m_panelHeight = toScreen(p.rect.bottom, m_scale) - toScreen(p.rect.top, m_scale);
        // Back to front, so that raising keeps the device's order among the popups.
        for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
            show(*it);
        // The X windows in the device's order (the panel and the popups in front), also where
        // no window manager keeps the panel above.
        // Programs' windows, drawn smaller, go below the panel even where the device has them
        // beside it.
        std::vector<Window> order;
        auto rank = [](const WindowPicture& p) {
            return p.local && p.role == WindowPicture::Role::Popup ? 0 : p.role == WindowPicture::Role::Panel ? 1 : 2;
        };
        for (int band = 0; band < 3; ++band)
            for (const WindowPicture& p : pictures)
                if (auto found = m_windows.find(p.handle); rank(p) == band && found != m_windows.end() && found->second.mapped)
                    order.push_back(found->second.xid);
        if (order != m_order && order.size() > 1)
            XRestackWindows(m_display, order.data(), static_cast<int>(order.size()));
        m_order = std::move(order);
        XFlush(m_display);
    }

    bool poll(InputEvent& event) override
    {
        // The stylus going down is handed over alone: the device handles it before whatever
        // followed it, so that a touch always lasts a moment, however late the host looks.
        if (m_pause) {
            m_pause = false;
            return false;
        }
        while (m_pending.empty() && XPending(m_display)) {
            XEvent e;
            XNextEvent(m_display, &e);
            handle(e);
        }
        if (m_pending.empty())
            return false;
        event = m_pending.front();
        m_pending.pop_front();
        m_pause = event.kind == InputEvent::Kind::StylusDown;
        return true;
    }

    bool capture_screen(uint16_t* pixels, int width, int height) override
    {
        XSync(m_display, False);
        int w = std::min(m_screenWidth, static_cast<int>(std::ceil(width * m_scale)));
        int h = std::min(m_screenHeight, static_cast<int>(std::ceil(height * m_scale)));
        if (w < 1 || h < 1)
            return false;
        XImage* image = XGetImage(m_display, m_root, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
        if (!image)
            return false;
        std::vector<int> columns(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x)
            columns[static_cast<size_t>(x)] = std::min(w - 1, static_cast<int>((x + 0.5) * m_scale));
        const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
        for (int y = 0; y < height; ++y) {
            int sy = static_cast<int>((y + 0.5) * m_scale);
            if (sy >= h)
                break;
            uint16_t* out = pixels + static_cast<size_t>(y) * width;
            const auto* row = reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(sy) * image->bytes_per_line);
            for (int x = 0; x < width; ++x) {
                int sx = columns[static_cast<size_t>(x)];
                if (static_cast<int>((x + 0.5) * m_scale) >= w)
                    break;
                unsigned long p = direct ? row[sx] : XGetPixel(image, sx, sy);
                unsigned r = m_red.unpack(p), g = m_green.unpack(p), b = m_blue.unpack(p);
                out[x] = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            }
        }
        XDestroyImage(image);
        return true;
    }

private:
    struct Shown {
        Window xid = 0;
        WindowPicture::Role role = WindowPicture::Role::Normal;
        RECT rect {};
        int x = 0, y = 0, width = 0, height = 0; // on the X screen
        double scale = 1; // X pixels per device pixel
        bool mapped = false;
        std::vector<uint16_t> pixels; // as last presented, device pixels
        std::vector<uint32_t> image; // scaled, in the visual's format
        std::u16string title;
    };

    // Programs' windows (the settings program) are made small enough for the whole device
    // screen to fit above the panel; the panel and its popups take the full magnification.
    double scaleFor(const WindowPicture& p) const
    {
        if ((p.local && p.role != WindowPicture::Role::Normal) || m_deviceHeight <= 0)
            return m_scale;
        const int room = std::max(m_screenHeight / 4, m_screenHeight - m_panelHeight);
        return std::min(m_scale, static_cast<double>(room) / m_deviceHeight);
    }
    static int toScreen(LONG device, double scale) { return static_cast<int>(std::lround(device * scale)); }

    void show(const WindowPicture& p)
    {
        auto found = m_windows.find(p.handle);
        if (found == m_windows.end()) {
            if (!p.visible)
                return; // made when it first shows
            found = m_windows.emplace(p.handle, create(p)).first;
        }
        Shown& s = found->second;
        if (!p.visible) {
            if (s.mapped) {
                XUnmapWindow(m_display, s.xid);
                s.mapped = false;
            }
            return;
        }
        s.scale = scaleFor(p);
        const int x = toScreen(p.rect.left, s.scale), y = toScreen(p.rect.top, s.scale);
        const int width = std::max(1, toScreen(p.rect.right, s.scale) - x), height = std::max(1, toScreen(p.rect.bottom, s.scale) - y);
        const bool moved = x != s.x || y != s.y || width != s.width || height != s.height;
        if (moved) {
            s.x = x, s.y = y, s.width = width, s.height = height;
            XMoveResizeWindow(m_display, s.xid, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
            hints(s);
        }
        if (titleOf(p) != s.title) {
            s.title = titleOf(p);
            setTitle(s.xid, s.title);
        }
        s.rect = p.rect;
        const size_t count = static_cast<size_t>(std::max<LONG>(0, p.rect.right - p.rect.left)) * std::max<LONG>(0, p.rect.bottom - p.rect.top);
        const bool changed = moved || s.pixels.size() != count || (p.pixels && !std::equal(s.pixels.begin(), s.pixels.end(), p.pixels));
        if (changed && p.pixels) {
            s.pixels.assign(p.pixels, p.pixels + count);
            scale(s);
        }
        if (!s.mapped) {
            XMapWindow(m_display, s.xid);
            s.mapped = true;
        }
        if (s.role == WindowPicture::Role::Popup && p.local)
            XRaiseWindow(m_display, s.xid);
        if (changed)
            draw(s);
    }

    Shown create(const WindowPicture& p)
    {
        Shown s;
        s.role = p.role;
        s.scale = scaleFor(p);
        XSetWindowAttributes a {};
        a.background_pixel = BlackPixel(m_display, m_screen);
        a.event_mask = kEventMask;
        a.override_redirect = p.role == WindowPicture::Role::Popup;
        a.save_under = p.role == WindowPicture::Role::Popup;
        s.x = toScreen(p.rect.left, s.scale), s.y = toScreen(p.rect.top, s.scale);
        s.width = std::max(1, toScreen(p.rect.right, s.scale) - s.x), s.height = std::max(1, toScreen(p.rect.bottom, s.scale) - s.y);
        s.xid = XCreateWindow(m_display, m_root, s.x, s.y, static_cast<unsigned>(s.width), static_cast<unsigned>(s.height), 0,
            CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask | CWOverrideRedirect | CWSaveUnder, &a);
        // The panel and the popups never take the keyboard focus: what is typed goes on to the
        // program that had it.
        XWMHints wm {};
        wm.flags = InputHint;
        wm.input = p.role == WindowPicture::Role::Normal ? True : False;
        XSetWMHints(m_display, s.xid, &wm);
        XClassHint cls { const_cast<char*>("magnikeys-x11"), const_cast<char*>("Magnikeys") };
        XSetClassHint(m_display, s.xid, &cls);
        s.title = titleOf(p);
        setTitle(s.xid, s.title);
        if (p.role == WindowPicture::Role::Panel) {
            Atom type = m_typeDock;
            XChangeProperty(m_display, s.xid, m_type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
            Atom states[] = { m_stateAbove, m_stateSticky, m_skipTaskbar, m_skipPager };
            XChangeProperty(m_display, s.xid, m_state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(states), 4);
        } else if (p.role == WindowPicture::Role::Normal) {
            Atom type = m_typeNormal;
            XChangeProperty(m_display, s.xid, m_type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
            // The window manager's close button closes the device window, not this connection.
            XSetWMProtocols(m_display, s.xid, &m_deleteWindow, 1);
        }
        hints(s);
        return s;
    }

    // Where the window manager should put the window, and for the panel the strip of the screen
    // that maximised windows leave to it.
    void hints(const Shown& s)
    {
        XSizeHints size {};
        size.flags = USPosition | USSize | PPosition | PSize;
        size.x = s.x, size.y = s.y, size.width = s.width, size.height = s.height;
        if (s.role != WindowPicture::Role::Normal) {
            size.flags |= PMinSize | PMaxSize;
            size.min_width = size.max_width = s.width;
            size.min_height = size.max_height = s.height;
        }
        XSetWMNormalHints(m_display, s.xid, &size);
        if (s.role != WindowPicture::Role::Panel)
            return;
        long bottom = std::max(0, m_screenHeight - s.y);
        long strut[4] = { 0, 0, 0, bottom };
        XChangeProperty(m_display, s.xid, m_strut, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(strut), 4);
        long partial[12] = { 0, 0, 0, bottom, 0, 0, 0, 0, 0, 0, s.x, s.x + s.width - 1 };
        XChangeProperty(m_display, s.xid, m_strutPartial, XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<unsigned char*>(partial), 12);
    }

    static std::u16string titleOf(const WindowPicture& p)
    {
        return p.role == WindowPicture::Role::Panel || p.title.empty() ? u"Magnikeys" : p.title;
    }

    void setTitle(Window xid, const std::u16string& title)
    {
        const std::string utf8 = sim::toUtf8(title);
        XStoreName(m_display, xid, utf8.c_str());
        XChangeProperty(m_display, xid, m_netName, m_utf8, 8, PropModeReplace,
            reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
    }

    // Device pixels to the X screen, each X pixel taking the device pixel under its centre.
    void scale(Shown& s)
    {
        const int dw = s.rect.right - s.rect.left, dh = s.rect.bottom - s.rect.top;
        s.image.assign(static_cast<size_t>(s.width) * s.height, 0);
        if (dw <= 0 || dh <= 0)
            return;
        std::vector<int> columns(static_cast<size_t>(s.width));
        for (int x = 0; x < s.width; ++x)
            columns[static_cast<size_t>(x)] = std::clamp(static_cast<int>((s.x + x + 0.5) / s.scale) - static_cast<int>(s.rect.left), 0, dw - 1);
        int lastRow = -1;
        for (int y = 0; y < s.height; ++y) {
            const int sy = std::clamp(static_cast<int>((s.y + y + 0.5) / s.scale) - static_cast<int>(s.rect.top), 0, dh - 1);
            uint32_t* out = s.image.data() + static_cast<size_t>(y) * s.width;
            if (sy == lastRow) {
                std::copy_n(out - s.width, s.width, out);
                continue;
            }
            lastRow = sy;
            const uint16_t* in = s.pixels.data() + static_cast<size_t>(sy) * dw;
            for (int x = 0; x < s.width; ++x) {
                const uint16_t p = in[columns[static_cast<size_t>(x)]];
                const unsigned r = ((p >> 11) & 0x1F) * 255 / 31, g = ((p >> 5) & 0x3F) * 255 / 63, b = (p & 0x1F) * 255 / 31;
                out[x] = static_cast<uint32_t>(m_red.pack(r) | m_green.pack(g) | m_blue.pack(b));
            }
        }
    }

    void draw(Shown& s)
    {
        if (s.image.size() != static_cast<size_t>(s.width) * s.height || s.image.empty())
            return;
        XImage* image = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
            reinterpret_cast<char*>(s.image.data()), static_cast<unsigned>(s.width), static_cast<unsigned>(s.height), 32, 0);
        if (!image)
            return;
        if (image->bits_per_pixel == 32)
            XPutImage(m_display, s.xid, DefaultGC(m_display, m_screen), image, 0, 0, 0, 0, static_cast<unsigned>(s.width),
                static_cast<unsigned>(s.height));
        image->data = nullptr; // ours
        XDestroyImage(image);
    }

    Shown* shownFor(Window xid)
    {
        for (auto& [handle, s] : m_windows)
            if (s.xid == xid)
                return &s;
        return nullptr;
    }

    void handle(const XEvent& e)
    {
        switch (e.type) {
        case Expose:
            if (Shown* s = shownFor(e.xexpose.window); s && e.xexpose.count == 0)
                draw(*s);
            break;
        case ButtonPress:
        case ButtonRelease:
            if (e.xbutton.button == Button1)
                stylus(e.xbutton.window, e.xbutton.x, e.xbutton.y,
                    e.type == ButtonPress ? InputEvent::Kind::StylusDown : InputEvent::Kind::StylusUp);
            break;
        case MotionNotify:
            stylus(e.xmotion.window, e.xmotion.x, e.xmotion.y, InputEvent::Kind::StylusMove);
            break;
        case ClientMessage:
            if (static_cast<Atom>(e.xclient.message_type) == m_protocols && static_cast<Atom>(e.xclient.data.l[0]) == m_deleteWindow)
                for (const auto& [handle, shown] : m_windows)
                    if (shown.xid == e.xclient.window) {
                        InputEvent event;
                        event.kind = InputEvent::Kind::Closed;
                        event.window = handle;
                        m_pending.push_back(event);
                    }
            break;
        default:
            break;
        }
    }

    void stylus(Window xid, int x, int y, InputEvent::Kind kind)
    {
        Shown* s = shownFor(xid);
        if (!s)
            return;
        InputEvent event;
        event.kind = kind;
        for (const auto& [handle, shown] : m_windows)
            if (&shown == s)
                event.window = handle;
        // Relative to the window, wherever a window manager put it.
        event.x = static_cast<int>(std::floor((toScreen(s->rect.left, s->scale) + x + 0.5) / s->scale));
        event.y = static_cast<int>(std::floor((toScreen(s->rect.top, s->scale) + y + 0.5) / s->scale));
        m_pending.push_back(event);
    }

    Display* m_display;
    int m_screen;
    Window m_root;
    Visual* m_visual;
    int m_depth;
    double m_scale;
    int m_deviceHeight;
    int m_panelHeight = 0; // X pixels of the panel while it shows
    Channel m_red, m_green, m_blue;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    Atom m_type, m_typeDock, m_typeNormal, m_state, m_stateAbove, m_stateSticky, m_skipTaskbar, m_skipPager;
    Atom m_strut, m_strutPartial, m_utf8, m_netName, m_protocols, m_deleteWindow;
    std::map<HWND, Shown> m_windows;
    std::deque<InputEvent> m_pending;
    bool m_pause = false;
    std::vector<Window> m_order; // mapped X windows, front to back, as last stacked
};

// A request that fails (a window the window manager already took away, say) is reported and
// the host carries on; the default handler would end the process.
int reportError(Display* display, XErrorEvent* error)
{
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "pocketsim: X request %d failed: %s\n", error->request_code, text);
    return 0;
}

bool available()
{
    const char* x = std::getenv("DISPLAY");
    return x && *x;
}

std::unique_ptr<Backend> create(int width, int height)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    XSetErrorHandler(reportError);
    const int screen = DefaultScreen(display);
    if (DefaultVisual(display, screen)->c_class != TrueColor || DefaultDepth(display, screen) < 15) {
        std::fprintf(stderr, "pocketsim: the x11 display needs a true-colour screen\n");
        XCloseDisplay(display);
        return nullptr;
    }
    // Device pixels are magnified to the X screen's width unless the host asks otherwise.
    double scale = static_cast<double>(DisplayWidth(display, screen)) / std::max(1, width);
    if (const char* wanted = std::getenv("POCKETSIM_X11_SCALE"); wanted && *wanted) {
        double v = std::atof(wanted);
        if (v >= 0.25 && v <= 32)
            scale = v;
    }
    return std::make_unique<X11Desktop>(display, scale, height);
}

}

// Only when named: the device hosts that show one composed screen never pick it by themselves.
const Bootstrap x11Bootstrap { "x11", available, create, false };

}
