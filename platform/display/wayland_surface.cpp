// A device window as a Wayland surface: its role, its place, and its picture, one device pixel
// to one pixel of the output.
#include "display/wayland_surface.h"

#include "display/wayland_layer_shell.h"
#include "xdg-shell-client.h"

#include <algorithm>
#include <cstring>

namespace display::wayland {

namespace {

const char* const kNamespace = "magnikeys";
// Phosh's compositor knows the on-screen keyboard's layer surface by this name.
const char* const kPanelNamespace = "osk";

// RGB565 to XRGB8888, each channel's top bits repeated into its low ones.
inline uint32_t xrgb(uint16_t p)
{
    const uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

}

void CopyPicture(const uint16_t* picture, int width, int height, uint32_t* buffer, int bufferWidth, int bufferHeight)
{
    if (!picture || width < 1 || height < 1 || bufferWidth < 1 || bufferHeight < 1)
        return;
    const int w = std::min(width, bufferWidth);
    for (int y = 0; y < bufferHeight; ++y) {
        uint32_t* out = buffer + static_cast<size_t>(y) * bufferWidth;
        const uint16_t* in = picture + static_cast<size_t>(std::min(y, height - 1)) * width;
        for (int x = 0; x < w; ++x)
            out[x] = xrgb(in[x]);
        // The part of a buffer rounded up to whole logical pixels continues the edge.
        std::fill(out + w, out + bufferWidth, out[w - 1]);
    }
}

DesktopSurface::DesktopSurface(Connection& connection, SurfaceKind kind, const Placement& where, const std::string& title)
    : m_connection(connection)
    , m_kind(kind)
    , m_where(where)
{
    m_surface = wl_compositor_create_surface(connection.compositor);
    m_buffers.released = [this] {
        if (m_dirty)
            draw();
    };
    Output* output = connection.output();
    if (kind == SurfaceKind::Toplevel) {
        static const xdg_surface_listener surfaceListener = {
            .configure = [](void* data, xdg_surface* s, uint32_t serial) {
                xdg_surface_ack_configure(s, serial);
                auto* self = static_cast<DesktopSurface*>(data);
                self->configure(self->m_where.width, self->m_where.height);
            },
        };
        static const xdg_toplevel_listener toplevelListener = {
            // The window keeps the size of the device window it shows, whatever is suggested.
            .configure = [](void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {},
            .close = [](void* data, xdg_toplevel*) {
                auto* self = static_cast<DesktopSurface*>(data);
                if (self->closeRequested)
                    self->closeRequested();
            },
            .configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {},
            .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
        };
        m_xdgSurface = xdg_wm_base_get_xdg_surface(connection.wmBase, m_surface);
        xdg_surface_add_listener(m_xdgSurface, &surfaceListener, this);
        m_toplevel = xdg_surface_get_toplevel(m_xdgSurface);
        xdg_toplevel_add_listener(m_toplevel, &toplevelListener, this);
        xdg_toplevel_set_app_id(m_toplevel, kNamespace);
        xdg_toplevel_set_title(m_toplevel, title.c_str());
        // A fixed size: tiling compositors float such a window instead of stretching it.
        xdg_toplevel_set_min_size(m_toplevel, where.width, where.height);
        xdg_toplevel_set_max_size(m_toplevel, where.width, where.height);
    } else {
        static const zwlr_layer_surface_v1_listener layerListener = {
            .configure = [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
                zwlr_layer_surface_v1_ack_configure(layer, serial);
                auto* self = static_cast<DesktopSurface*>(data);
                self->configure(width ? static_cast<int>(width) : self->m_where.width,
                    height ? static_cast<int>(height) : self->m_where.height);
            },
            .closed = [](void* data, zwlr_layer_surface_v1*) { static_cast<DesktopSurface*>(data)->m_closed = true; },
        };
        const uint32_t layer = kind == SurfaceKind::Panel ? ZWLR_LAYER_SHELL_V1_LAYER_TOP : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
        m_layer = zwlr_layer_shell_v1_get_layer_surface(connection.layerShell, m_surface, output ? output->output : nullptr, layer,
            kind == SurfaceKind::Panel ? kPanelNamespace : kNamespace);
        zwlr_layer_surface_v1_add_listener(m_layer, &layerListener, this);
        // Never the keyboard focus: what is typed goes on to the program that has it.
        zwlr_layer_surface_v1_set_keyboard_interactivity(m_layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        if (kind == SurfaceKind::Overlay) {
            // The zoom views show what lies under the stylus; the stylus stays on the panel.
            wl_region* none = wl_compositor_create_region(connection.compositor);
            wl_surface_set_input_region(m_surface, none);
            wl_region_destroy(none);
        }
        place(where);
    }
    wl_surface_commit(m_surface);
}

DesktopSurface::~DesktopSurface()
{
    if (m_toplevel)
        xdg_toplevel_destroy(m_toplevel);
    if (m_xdgSurface)
        xdg_surface_destroy(m_xdgSurface);
    if (m_layer)
        zwlr_layer_surface_v1_destroy(m_layer);
    if (m_surface)
        wl_surface_destroy(m_surface);
}

void DesktopSurface::place(const Placement& where)
{
    const bool first = !m_configured;
    if (!first && where == m_where)
        return;
    m_where = where;
    if (m_toplevel) {
        xdg_toplevel_set_min_size(m_toplevel, where.width, where.height);
        xdg_toplevel_set_max_size(m_toplevel, where.width, where.height);
        if (m_configured)
            configure(where.width, where.height);
        return;
    }
    if (m_kind == SurfaceKind::Panel) {
        zwlr_layer_surface_v1_set_anchor(m_layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT
                | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
        zwlr_layer_surface_v1_set_size(m_layer, static_cast<uint32_t>(where.width), static_cast<uint32_t>(where.height));
        // Maximised and tiled windows leave the panel's strip free.
        zwlr_layer_surface_v1_set_exclusive_zone(m_layer, where.height);
    } else {
        zwlr_layer_surface_v1_set_anchor(m_layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        zwlr_layer_surface_v1_set_margin(m_layer, where.y, 0, 0, where.x);
        zwlr_layer_surface_v1_set_size(m_layer, static_cast<uint32_t>(where.width), static_cast<uint32_t>(where.height));
        // Placed from the output's corner, whatever strips other surfaces reserve.
        zwlr_layer_surface_v1_set_exclusive_zone(m_layer, -1);
    }
    if (!first)
        wl_surface_commit(m_surface); // the compositor answers with a configure
}

void DesktopSurface::setTitle(const std::string& title)
{
    if (m_toplevel)
        xdg_toplevel_set_title(m_toplevel, title.c_str());
}

void DesktopSurface::setBufferScale(int scale)
{
    scale = std::clamp(scale, 1, 8);
    if (scale == m_scale)
        return;
    m_scale = scale;
    if (m_connection.compositorVersion >= 3)
        wl_surface_set_buffer_scale(m_surface, scale);
    if (m_configured)
        draw();
}

void DesktopSurface::configure(int width, int height)
{
    m_width = std::max(1, width);
    m_height = std::max(1, height);
    m_configured = true;
    draw();
}

void DesktopSurface::show(const uint16_t* pixels, int width, int height)
{
    if (!pixels || width < 1 || height < 1)
        return;
    const size_t count = static_cast<size_t>(width) * height;
    if (width == m_pictureWidth && height == m_pictureHeight && std::equal(m_picture.begin(), m_picture.end(), pixels) && !m_dirty)
        return;
    m_picture.assign(pixels, pixels + count);
    m_pictureWidth = width;
    m_pictureHeight = height;
    draw();
}

void DesktopSurface::draw()
{
    m_dirty = true;
    if (!m_configured || m_picture.empty())
        return;
    const int bw = m_width * m_scale, bh = m_height * m_scale;
    ShmBuffer* buffer = m_buffers.acquire(m_connection.shm, bw, bh);
    if (!buffer)
        return; // drawn when one comes back
    m_dirty = false;
    CopyPicture(m_picture.data(), m_pictureWidth, m_pictureHeight, buffer->pixels(), bw, bh);
    buffer->busy = true;
    wl_surface_attach(m_surface, buffer->buffer(), 0, 0);
    if (m_connection.compositorVersion >= 4)
        wl_surface_damage_buffer(m_surface, 0, 0, bw, bh);
    else
        wl_surface_damage(m_surface, 0, 0, m_width, m_height);
    wl_surface_commit(m_surface);
}

}
