// The Wayland desktop back end: every top-level window of the device is a surface of its own on
// the compositor's output. The device screen is the output's own pixels (its mode as programs
// see it, turned): a surface's buffer takes the output's scale and nothing is magnified on the
// way. The input panel is a layer surface on the bottom edge that reserves its strip and never
// takes the keyboard focus; the device's own popups (the zoom views) are overlay surfaces above
// it that take no input; other programs' windows are ordinary toplevel windows. The programs
// the host starts see a screen of their own (POCKETSIM_PROGRAM_SCREEN, "WxH"): their popups
// show centred above the panel. The pointer's left button and the first finger on a touch
// screen are the stylus. Screen reads see what the output shows where the compositor lets
// clients read it.
#include "display/display.h"
#include "display/event_clock.h"
#include "display/wayland_connection.h"
#include "display/wayland_input.h"
#include "display/wayland_screencopy.h"
#include "display/wayland_surface.h"
#include "linux/text/host_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

namespace display {

namespace {

using namespace wayland;

class WaylandDesktop final : public Backend {
public:
    WaylandDesktop(std::unique_ptr<Connection> connection, int programWidth, int programHeight)
        : m_connection(std::move(connection))
        , m_input(*m_connection, [this](wl_surface* s, StylusAction a, double x, double y, uint32_t time) { stylus(s, a, x, y, time); })
        , m_copy(*m_connection)
        , m_programWidth(programWidth)
        , m_programHeight(programHeight)
    {
        // The seat announced its devices while the connection was made; it tells of changes.
        m_input.capabilities(m_connection->seatCapabilitiesNow());
        m_connection->seatCapabilities = [this](uint32_t caps) { m_input.capabilities(caps); };
    }

    ~WaylandDesktop() override
    {
        m_windows.clear();
        m_connection->pump();
    }

    const char* name() const override { return "wayland"; }
    bool windowed() const override { return true; }
    void present(const uint16_t*, int, int, int) override { }
    int wait_descriptor() const override { return m_connection->descriptor(); }
    // Everything read from the socket is dispatched at once (pump, roundtrip): what is left is
    // the input handed over one step later.
    bool input_waiting() const override { return !m_pending.empty(); }

    void present_windows(const std::vector<WindowPicture>& pictures) override
    {
        updateScale();
        for (auto it = m_windows.begin(); it != m_windows.end();) {
            bool kept = std::any_of(pictures.begin(), pictures.end(), [&](const WindowPicture& p) { return p.handle == it->first; });
            if (kept) {
                ++it;
                continue;
            }
            drop(it->second);
            it = m_windows.erase(it);
        }
        // The panel first: the other windows are placed from it.
        m_panel = nullptr;
        m_panelTop = m_outputHeight;
        for (const WindowPicture& p : pictures)
            if (p.role == WindowPicture::Role::Panel && p.visible && p.local)
                m_panel = &p;
        bool made = false;
        if (m_panel)
            made |= show(*m_panel);
        // Back to front, so that surfaces made later (and shown above) keep the device's order.
        for (auto it = pictures.rbegin(); it != pictures.rend(); ++it)
            if (&*it != m_panel)
                made |= show(*it);
        m_panel = nullptr;
        // New surfaces are drawn once the compositor has configured them: at once, so that a zoom
        // view shows with the touch that asked for it.
        if (made)
            m_connection->roundtrip();
        m_connection->pump();
    }

    bool poll(InputEvent& event) override
    {
        // The stylus going down is handed over alone: the device handles it before whatever
        // followed it, so that a touch always lasts a moment, however late the host looks.
        if (m_pause) {
            m_pause = false;
            return false;
        }
        if (m_pending.empty() && !m_connection->pump() && !m_lostReported) {
            std::fprintf(stderr, "pocketsim: the Wayland compositor went away\n");
            m_lostReported = true;
            InputEvent closed;
            closed.kind = InputEvent::Kind::Closed;
            m_pending.push_back(closed);
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
        return capture_region(pixels, width, RECT { 0, 0, width, height });
    }

    bool can_capture_region() const override { return m_copy.available(); }

    // The compositor copies the whole output; only the region is turned into device pixels.
    bool capture_region(uint16_t* pixels, int pitch, const RECT& region) override
    {
        Output* output = m_connection->output();
        ScreenPicture shot;
        if (!output || !m_copy.capture(*output, shot))
            return false;
        const OutputInfo& info = output->info;
        // The output as clients see it, in its own pixels; the device's point (0, 0) lies where
        // the panel's placing put it (its corner, but for rounding).
        const int W = info.sideways() ? shot.height : shot.width, H = info.sideways() ? shot.width : shot.height;
        const int scale = std::max(1, info.scale);
        const int dx = static_cast<int>(std::lround(m_originX * scale)), dy = static_cast<int>(std::lround(m_originY * scale));
        const int x0 = std::max<int>(0, region.left), x1 = std::min<int>(pitch, region.right);
        for (int y = std::max<int>(0, region.top); y < region.bottom; ++y) {
            const int py = dy + y;
            if (py < 0 || py >= H)
                continue;
            uint16_t* out = pixels + static_cast<size_t>(y) * pitch;
            for (int x = x0; x < x1; ++x) {
                const int px = dx + x;
                if (px < 0 || px >= W)
                    continue;
                int bx = 0, by = 0;
                BufferPoint(info.transform, W, H, px, py, bx, by);
                if (shot.yInverted)
                    by = shot.height - 1 - by;
                const uint32_t p = shot.pixels[static_cast<size_t>(by) * shot.stride + bx];
                out[x] = static_cast<uint16_t>(((p >> 19) & 0x1F) << 11 | ((p >> 10) & 0x3F) << 5 | ((p >> 3) & 0x1F));
            }
        }
        return true;
    }

private:
    struct Shown {
        std::unique_ptr<DesktopSurface> surface;
        RECT rect {};
        std::string title;
        bool local = true;
        WindowPicture::Role role = WindowPicture::Role::Normal;
    };

    void updateScale()
    {
        Output* output = m_connection->output();
        if (!output || output->info.logicalWidth() < 1)
            return;
        // One device pixel is one pixel of the output: a logical pixel is `scale` of them.
        m_outputScale = std::max(1, output->info.scale);
        m_scale = 1.0 / m_outputScale;
        m_outputWidth = output->info.logicalWidth();
        m_outputHeight = output->info.logicalHeight();
    }

    static int toScreen(double v) { return static_cast<int>(std::lround(v)); }
    // A side in logical pixels, whole ones, which the buffer's side (times the scale) covers.
    int side(LONG devicePixels) const { return std::max(1, (static_cast<int>(devicePixels) + m_outputScale - 1) / m_outputScale); }

    // Programs' popups are placed on their own screen, which shows centred above the panel (or
    // the output's bottom edge while the panel is hidden), in logical pixels.
    POINT programOrigin() const
    {
        if (m_programWidth <= 0 || m_programHeight <= 0)
            return POINT { 0, 0 };
        const double top = std::max(0.0, m_panelTop - m_programHeight * m_scale);
        return POINT { toScreen((m_outputWidth - m_programWidth * m_scale) / 2), toScreen(top) };
    }

    SurfaceKind kindOf(const WindowPicture& p) const
    {
        switch (p.role) {
        case WindowPicture::Role::Panel:
            return p.local ? SurfaceKind::Panel : SurfaceKind::Popup;
        case WindowPicture::Role::Popup:
            return p.local ? SurfaceKind::Overlay : SurfaceKind::Popup;
        case WindowPicture::Role::Normal:
            break;
        }
        return SurfaceKind::Toplevel;
    }

    Placement placementFor(const WindowPicture& p, SurfaceKind kind)
    {
        const RECT& r = p.rect;
        Placement where;
        where.width = side(r.right - r.left);
        where.height = side(r.bottom - r.top);
        if (kind == SurfaceKind::Panel) {
            // Centred on the bottom edge, as the device places it: the device's pixels are placed
            // from there.
            m_panelTop = m_outputHeight - where.height;
            m_originX = (m_outputWidth - where.width) / 2.0 - r.left * m_scale;
            m_originY = m_outputHeight - where.height - r.top * m_scale;
        } else if (kind == SurfaceKind::Overlay || kind == SurfaceKind::Popup) {
            const POINT programs = programOrigin();
            const double ox = p.local ? m_originX : programs.x, oy = p.local ? m_originY : programs.y;
            where.x = toScreen(ox + r.left * m_scale);
            where.y = toScreen(oy + r.top * m_scale);
        }
        return where;
    }

    static std::string titleOf(const WindowPicture& p)
    {
        return p.role == WindowPicture::Role::Panel || p.title.empty() ? "Magnikeys" : sim::toUtf8(p.title);
    }

    // Shows or hides one window; true when it made a new surface.
    bool show(const WindowPicture& p)
    {
        auto found = m_windows.find(p.handle);
        if (!p.visible) {
            if (found != m_windows.end())
                drop(found->second);
            if (p.role == WindowPicture::Role::Panel && p.local)
                m_originX = m_originY = 0;
            return false;
        }
        if (found == m_windows.end())
            found = m_windows.emplace(p.handle, Shown {}).first;
        Shown& s = found->second;
        const SurfaceKind kind = kindOf(p);
        const Placement where = placementFor(p, kind);
        const std::string title = titleOf(p);
        bool made = false;
        if (!s.surface || s.surface->closed() || s.surface->kind() != kind) {
            drop(s);
            s.surface = std::make_unique<DesktopSurface>(*m_connection, kind, where, title);
            const HWND handle = p.handle;
            s.surface->closeRequested = [this, handle] {
                InputEvent event;
                event.kind = InputEvent::Kind::Closed;
                event.window = handle;
                m_pending.push_back(event);
            };
            made = true;
        } else {
            s.surface->place(where);
            if (title != s.title)
                s.surface->setTitle(title);
        }
        s.title = title;
        s.rect = p.rect;
        s.local = p.local;
        s.role = p.role;
        s.surface->setBufferScale(m_outputScale);
        s.surface->show(p.pixels, std::max<LONG>(0, p.rect.right - p.rect.left), std::max<LONG>(0, p.rect.bottom - p.rect.top));
        return made;
    }

    void drop(Shown& s)
    {
        if (!s.surface)
            return;
        m_input.forget(s.surface->surface());
        s.surface.reset();
    }

    void stylus(wl_surface* surface, StylusAction action, double x, double y, uint32_t time)
    {
        for (const auto& [handle, s] : m_windows) {
            if (!s.surface || s.surface->surface() != surface)
                continue;
            const int dw = s.rect.right - s.rect.left, dh = s.rect.bottom - s.rect.top;
            InputEvent event;
            event.kind = action == StylusAction::Down ? InputEvent::Kind::StylusDown
                : action == StylusAction::Move        ? InputEvent::Kind::StylusMove
                                                      : InputEvent::Kind::StylusUp;
            event.window = handle;
            // Relative to the window, wherever the compositor put it and however large it made it.
            event.x = s.rect.left + static_cast<int>(std::floor(x * dw / std::max(1, s.surface->width())));
            event.y = s.rect.top + static_cast<int>(std::floor(y * dh / std::max(1, s.surface->height())));
            if (time)
                event.time = m_clock.ticks(time);
            m_pending.push_back(event);
            return;
        }
    }

    std::unique_ptr<Connection> m_connection;
    SeatInput m_input;
    EventClock m_clock; // the compositor's event times to the device's ticks
    ScreenCopy m_copy;
    std::map<HWND, Shown> m_windows;
    std::deque<InputEvent> m_pending;
    const WindowPicture* m_panel = nullptr; // while presenting
    int m_programWidth; // the screen of the programs the host starts; 0: none of its own
    int m_programHeight;
    double m_scale = 1; // logical pixels per device pixel: 1 / the output's scale
    int m_outputWidth = 0; // logical pixels
    int m_outputHeight = 0;
    int m_outputScale = 1;
    int m_panelTop = 0; // logical pixels: the panel's top edge while it shows, else the output's height
    double m_originX = 0; // where the device's point (0, 0) is on the output, logical pixels
    double m_originY = 0;
    bool m_pause = false;
    bool m_lostReported = false;
};

bool available()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    return (name && *name) || (socket && *socket);
}

std::unique_ptr<Backend> create(int, int)
{
    auto connection = Connection::open();
    if (!connection) {
        std::fprintf(stderr, "pocketsim: cannot connect to the Wayland compositor\n");
        return nullptr;
    }
    const char* missing = !connection->compositor ? "wl_compositor"
        : !connection->shm                        ? "wl_shm"
        : !connection->layerShell                 ? "zwlr_layer_shell_v1 (layer shell)"
        : !connection->wmBase                     ? "xdg_wm_base"
                                                  : nullptr;
    if (missing) {
        std::fprintf(stderr, "pocketsim: the Wayland compositor offers no %s\n", missing);
        return nullptr;
    }
    int programWidth = 0, programHeight = 0;
    if (const char* programs = std::getenv("POCKETSIM_PROGRAM_SCREEN"); programs && *programs)
        if (std::sscanf(programs, "%dx%d", &programWidth, &programHeight) != 2 || programWidth < 16 || programHeight < 16)
            programWidth = programHeight = 0;
    return std::make_unique<WaylandDesktop>(std::move(connection), programWidth, programHeight);
}

}

// Only when named: the device hosts that show one composed screen never pick it by themselves.
const Bootstrap waylandBootstrap { "wayland", available, create, false };

}
