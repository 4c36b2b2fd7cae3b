// The X11 desktop back end: every top-level window of the device is an X window of its own on
// the host's desktop. The device screen is the X screen's own pixels: nothing is scaled on the
// way. The input panel is a dock at the bottom of the screen that never takes the focus;
// windows that cannot be activated (the zoom window) are override-redirect popups above it;
// other windows are ordinary ones. The programs the host starts see a screen of their own
// (POCKETSIM_PROGRAM_SCREEN, "WxH"), shown centred above the panel. The left button on any
// window is the stylus. Screen reads see what the X screen shows.
#include "display.h"
#include "event_clock.h"
#include "linux/text/host_text.h"


#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
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
    X11Desktop(Display* display, int programWidth, int programHeight)
        : m_display(display)
        , m_screen(DefaultScreen(display))
        , m_root(RootWindow(display, m_screen))
        , m_visual(DefaultVisual(display, m_screen))
        , m_depth(DefaultDepth(display, m_screen))
        , m_programWidth(programWidth)
        , m_programHeight(programHeight)
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
        m_panelTop = m_screenHeight;
        for (const WindowPicture& p : pictures)
            if (p.role == WindowPicture::Role::Panel && p.visible)
                m_panelTop = std::min<int>(m_screenHeight, p.rect.top);
        // Back to front, so that raising keeps the device's order among the popups.
        for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
            show(*it);
        // The X windows in the device's order (the panel and the popups in front), also where
        // no window manager keeps the panel above. Programs' windows go below the panel even
        // where the device has them beside it.
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

    int wait_descriptor() const override { return ConnectionNumber(m_display); }

    bool input_waiting() const override
    {
        return !m_pending.empty() || XEventsQueued(m_display, QueuedAlready) > 0;
    }

    bool stylus_waiting() override
    {
        for (const InputEvent& e : m_pending)
            if (e.kind == InputEvent::Kind::StylusDown || e.kind == InputEvent::Kind::StylusUp)
                return true;
        if (XEventsQueued(m_display, QueuedAfterReading) == 0)
            return false;
        // Looked through without taking anything out of the queue.
        bool found = false;
        XEvent e;
        XCheckIfEvent(
            m_display, &e,
            [](Display*, XEvent* event, XPointer found) {
                if (event->type == ButtonPress || event->type == ButtonRelease)
                    *reinterpret_cast<bool*>(found) = true;
                return False;
            },
            reinterpret_cast<XPointer>(&found));
        return found;
    }

    bool capture_screen(uint16_t* pixels, int width, int height) override
    {
        return capture_region(pixels, width, RECT { 0, 0, width, height });
    }

    bool can_capture_region() const override { return true; }

    bool capture_region(uint16_t* pixels, int pitch, const RECT& region) override
    {
        XSync(m_display, False);
        const int x0 = std::max<int>(0, region.left), y0 = std::max<int>(0, region.top);
        const int x1 = std::min<int>(m_screenWidth, std::min<int>(region.right, pitch)), y1 = std::min<int>(m_screenHeight, region.bottom);
        if (x1 <= x0 || y1 <= y0)
            return x1 >= x0 && y1 >= y0; // nothing of the X screen there to read
        const int w = x1 - x0, h = y1 - y0;
        XImage* image = XGetImage(m_display, m_root, x0, y0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
        if (!image)
            return false;
        const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
        for (int y = 0; y < h; ++y) {
            uint16_t* out = pixels + static_cast<size_t>(y0 + y) * pitch + x0;
            const auto* row = reinterpret_cast<const uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line);
            for (int x = 0; x < w; ++x) {
                unsigned long p = direct ? row[x] : XGetPixel(image, x, y);
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
        POINT offset {}; // X screen minus device coordinates
        int x = 0, y = 0, width = 0, height = 0; // on the X screen
        bool mapped = false;
        std::vector<uint16_t> pixels; // as last presented
        std::vector<uint32_t> image; // in the visual's format
        std::u16string title;
    };

    // Where a window's device coordinates lie on the X screen. The programs the host starts
    // have a screen of their own, shown centred above the panel (or the screen's bottom edge
    // while the panel is hidden); the host's own windows are on the X screen as they are.
    POINT offsetFor(const WindowPicture& p) const
    {
        if (p.local || m_programWidth <= 0 || m_programHeight <= 0)
            return POINT { 0, 0 };
        return POINT { (m_screenWidth - m_programWidth) / 2, std::max(0, m_panelTop - m_programHeight) };
    }

    // A window a program put off its own screen (a menu bar moved below it) is not seen there:
    // here that place is the panel's.
    bool offProgramScreen(const WindowPicture& p) const
    {
        if (p.local || m_programWidth <= 0 || m_programHeight <= 0)
            return false;
        return p.rect.right <= 0 || p.rect.bottom <= 0 || p.rect.left >= m_programWidth || p.rect.top >= m_programHeight;
    }

    void show(const WindowPicture& p)
    {
        const bool visible = p.visible && !offProgramScreen(p);
        auto found = m_windows.find(p.handle);
        if (found == m_windows.end()) {
            if (!visible)
                return; // made when it first shows
            found = m_windows.emplace(p.handle, create(p)).first;
        }
        Shown& s = found->second;
        if (!visible) {
            if (s.mapped) {
                XUnmapWindow(m_display, s.xid);
                s.mapped = false;
            }
            return;
        }
        s.offset = offsetFor(p);
        const int x = p.rect.left + s.offset.x, y = p.rect.top + s.offset.y;
        const int width = std::max<int>(1, p.rect.right - p.rect.left), height = std::max<int>(1, p.rect.bottom - p.rect.top);
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
        // Only the part that changed is converted and sent: a key pressed is a few thousand
        // pixels, not the whole keyboard through the server's socket.
        RECT changed {};
        if (moved || s.pixels.size() != count || s.image.size() != static_cast<size_t>(s.width) * s.height) {
            if (p.pixels)
                s.pixels.assign(p.pixels, p.pixels + count);
            else
                s.pixels.clear();
            s.image.assign(static_cast<size_t>(s.width) * s.height, 0);
            changed = RECT { 0, 0, s.width, s.height };
            convert(s, changed);
        } else if (p.pixels) {
            changed = update(s, p.pixels);
        }
        if (!s.mapped) {
            XMapWindow(m_display, s.xid);
            s.mapped = true;
        }
        if (s.role == WindowPicture::Role::Popup && p.local)
            XRaiseWindow(m_display, s.xid);
        if (changed.right > changed.left && changed.bottom > changed.top)
            draw(s, changed);
    }

    // Takes the window's new pixels; the rectangle where they differ from the last ones, now
    // converted.
    RECT update(Shown& s, const uint16_t* pixels)
    {
        const int dw = s.rect.right - s.rect.left, dh = s.rect.bottom - s.rect.top;
        RECT changed { dw, dh, 0, 0 };
        for (int y = 0; y < dh; ++y) {
            uint16_t* old = s.pixels.data() + static_cast<size_t>(y) * dw;
            const uint16_t* now = pixels + static_cast<size_t>(y) * dw;
            if (std::memcmp(old, now, static_cast<size_t>(dw) * 2) == 0)
                continue;
            int left = 0, right = dw;
            while (old[left] == now[left])
                ++left;
            while (old[right - 1] == now[right - 1])
                --right;
            std::memcpy(old + left, now + left, static_cast<size_t>(right - left) * 2);
            changed = RECT { std::min<LONG>(changed.left, left), std::min<LONG>(changed.top, y), std::max<LONG>(changed.right, right),
                y + 1 };
        }
        if (changed.right <= changed.left)
            return RECT {};
        convert(s, changed);
        return changed;
    }

    Shown create(const WindowPicture& p)
    {
        Shown s;
        s.role = p.role;
        s.offset = offsetFor(p);
        XSetWindowAttributes a {};
        a.background_pixel = BlackPixel(m_display, m_screen);
        a.event_mask = kEventMask;
        a.override_redirect = p.role == WindowPicture::Role::Popup;
        a.save_under = p.role == WindowPicture::Role::Popup;
        s.x = p.rect.left + s.offset.x, s.y = p.rect.top + s.offset.y;
        s.width = std::max<int>(1, p.rect.right - p.rect.left), s.height = std::max<int>(1, p.rect.bottom - p.rect.top);
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

    // The device's pixels in the visual's format, one for one, within the rectangle.
    void convert(Shown& s, const RECT& r)
    {
        const int dw = s.rect.right - s.rect.left, dh = s.rect.bottom - s.rect.top;
        if (m_fromRed.empty()) {
            // Each 565 channel's value in the visual's pixel, with the rounding the device uses.
            for (unsigned v = 0; v < 32; ++v) {
                m_fromRed.push_back(static_cast<uint32_t>(m_red.pack(v * 255 / 31)));
                m_fromBlue.push_back(static_cast<uint32_t>(m_blue.pack(v * 255 / 31)));
            }
            for (unsigned v = 0; v < 64; ++v)
                m_fromGreen.push_back(static_cast<uint32_t>(m_green.pack(v * 255 / 63)));
        }
        const int x1 = std::min<int>({ static_cast<int>(r.right), dw, s.width }), y1 = std::min<int>({ static_cast<int>(r.bottom), dh, s.height });
        if (s.pixels.size() != static_cast<size_t>(std::max(dw, 0)) * std::max(dh, 0))
            return;
        for (int y = std::max<int>(0, r.top); y < y1; ++y) {
            const uint16_t* in = s.pixels.data() + static_cast<size_t>(y) * dw;
            uint32_t* out = s.image.data() + static_cast<size_t>(y) * s.width;
            for (int x = std::max<int>(0, r.left); x < x1; ++x) {
                const uint16_t p = in[x];
                out[x] = m_fromRed[p >> 11] | m_fromGreen[(p >> 5) & 0x3F] | m_fromBlue[p & 0x1F];
            }
        }
    }

    void draw(Shown& s, const RECT& r)
    {
        if (s.image.size() != static_cast<size_t>(s.width) * s.height || s.image.empty())
            return;
        const int x0 = std::max<int>(0, r.left), y0 = std::max<int>(0, r.top);
        const int x1 = std::min<int>(s.width, r.right), y1 = std::min<int>(s.height, r.bottom);
        if (x1 <= x0 || y1 <= y0)
            return;
        XImage* image = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
            reinterpret_cast<char*>(s.image.data()), static_cast<unsigned>(s.width), static_cast<unsigned>(s.height), 32, 0);
        if (!image)
            return;
        if (image->bits_per_pixel == 32)
            XPutImage(m_display, s.xid, DefaultGC(m_display, m_screen), image, x0, y0, x0, y0, static_cast<unsigned>(x1 - x0),
                static_cast<unsigned>(y1 - y0));
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
                draw(*s, RECT { 0, 0, s->width, s->height });
            break;
        case ButtonPress:
        case ButtonRelease:
            if (e.xbutton.button == Button1)
                stylus(e.xbutton.window, e.xbutton.x, e.xbutton.y,
                    e.type == ButtonPress ? InputEvent::Kind::StylusDown : InputEvent::Kind::StylusUp, e.xbutton.time);
            break;
        case MotionNotify:
            stylus(e.xmotion.window, e.xmotion.x, e.xmotion.y, InputEvent::Kind::StylusMove, e.xmotion.time);
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

    void stylus(Window xid, int x, int y, InputEvent::Kind kind, Time xtime)
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
        event.x = s->rect.left + x;
        event.y = s->rect.top + y;
        event.time = m_clock.ticks(static_cast<uint32_t>(xtime));
        m_pending.push_back(event);
    }

    Display* m_display;
    int m_screen;
    Window m_root;
    Visual* m_visual;
    int m_depth;
    int m_programWidth; // the screen of the programs the host starts; 0: none of its own
    int m_programHeight;
    EventClock m_clock; // X server time to the device's ticks
    int m_panelTop = 0; // the panel's top edge while it shows, else the screen's height
    Channel m_red, m_green, m_blue;
    std::vector<uint32_t> m_fromRed, m_fromGreen, m_fromBlue; // 565 channel values as the visual's
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

std::unique_ptr<Backend> create(int, int)
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
    int programWidth = 0, programHeight = 0;
    if (const char* programs = std::getenv("POCKETSIM_PROGRAM_SCREEN"); programs && *programs)
        if (std::sscanf(programs, "%dx%d", &programWidth, &programHeight) != 2 || programWidth < 16 || programHeight < 16)
            programWidth = programHeight = 0;
    return std::make_unique<X11Desktop>(display, programWidth, programHeight);
}

}

// Only when named: the device hosts that show one composed screen never pick it by themselves.
const Bootstrap x11Bootstrap { "x11", available, create, false };

}
