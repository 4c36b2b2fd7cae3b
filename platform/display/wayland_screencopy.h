#pragma once
// Reading what an output shows, where the compositor lets a client (zwlr_screencopy_manager_v1).
#include "display/wayland_buffer.h"
#include "display/wayland_connection.h"

#include <memory>

namespace display::wayland {

struct ScreenPicture {
    const uint32_t* pixels = nullptr; // XRGB8888 or ARGB8888, in the output's own orientation
    int width = 0; // the output's mode, untransformed
    int height = 0;
    int stride = 0; // in pixels
    bool yInverted = false;
};

class ScreenCopy {
public:
    explicit ScreenCopy(Connection& connection);
    bool available() const;
    // What output shows now; false when the compositor cannot give it (the picture is valid
    // until the next capture).
    bool capture(Output& output, ScreenPicture& picture);

private:
    Connection& m_connection;
    std::unique_ptr<ShmBuffer> m_buffer;
};

// The pixel of an output's buffer that shows the point (x, y) of the output as clients see it
// (width x height after the transform), for each wl_output transform.
void BufferPoint(int32_t transform, int width, int height, int x, int y, int& bufferX, int& bufferY);

}
