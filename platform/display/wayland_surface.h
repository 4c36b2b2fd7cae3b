#pragma once
// One top-level window of the device as a Wayland surface: the input panel as a layer surface on
// the bottom edge that reserves its strip of the screen, the device's own popups (the zoom
// views) as overlay surfaces that take no input, other programs' popups as overlay surfaces,
// and programs' windows as ordinary toplevel windows.
#include "display/wayland_buffer.h"
#include "display/wayland_connection.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_surface_v1;

namespace display::wayland {

enum class SurfaceKind { Panel, Overlay, Popup, Toplevel };

// Where a surface goes, in the compositor's logical pixels. Overlays and popups are placed
// from the output's top-left corner; the panel sits centred on the bottom edge; a toplevel
// goes where the compositor puts it.
struct Placement {
    int x = 0;
    int y = 0;
    int width = 1;
    int height = 1;
    bool operator==(const Placement&) const = default;
};

// A device picture (RGB565, pitch = width) into a buffer (XRGB8888, pitch = bufferWidth) pixel
// for pixel, as the output shows the device's pixels; rows and columns of the buffer past the
// picture repeat its last one, the picture's part past the buffer is cut.
void CopyPicture(const uint16_t* picture, int width, int height, uint32_t* buffer, int bufferWidth, int bufferHeight);

class DesktopSurface {
public:
    DesktopSurface(Connection& connection, SurfaceKind kind, const Placement& where, const std::string& title);
    ~DesktopSurface();
    DesktopSurface(const DesktopSurface&) = delete;
    DesktopSurface& operator=(const DesktopSurface&) = delete;

    SurfaceKind kind() const { return m_kind; }
    wl_surface* surface() const { return m_surface; }
    const Placement& placement() const { return m_where; }
    // The size the surface has on the screen, in logical pixels.
    int width() const { return m_width; }
    int height() const { return m_height; }
    bool configured() const { return m_configured; }
    // The compositor took the surface away (its output went): it is made anew.
    bool closed() const { return m_closed; }

    void place(const Placement& where);
    void setTitle(const std::string& title);
    void setBufferScale(int scale);
    // The window's picture, device pixels (RGB565, pitch = width), one to one on the buffer's.
    void show(const uint16_t* pixels, int width, int height);

    // The window manager's close button on a toplevel.
    std::function<void()> closeRequested;

private:
    void configure(int width, int height);
    void draw();

    Connection& m_connection;
    SurfaceKind m_kind;
    Placement m_where;
    wl_surface* m_surface = nullptr;
    zwlr_layer_surface_v1* m_layer = nullptr;
    xdg_surface* m_xdgSurface = nullptr;
    xdg_toplevel* m_toplevel = nullptr;
    BufferPool m_buffers;
    int m_width = 0;
    int m_height = 0;
    int m_scale = 1;
    bool m_configured = false;
    bool m_closed = false;
    bool m_dirty = false; // a picture waits for a free buffer or the first configure
    std::vector<uint16_t> m_picture;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
};

}
