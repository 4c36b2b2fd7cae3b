// One frame of an output through the screencopy protocol, copied into a shared-memory buffer
// that is kept for the next frame of the same size.
#include "display/wayland_screencopy.h"

#include "wlr-screencopy-unstable-v1-client.h"

#include <chrono>
#include <poll.h>

namespace display::wayland {

namespace {

struct FrameState {
    uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool described = false; // the shared-memory buffer it wants is known
    bool listed = false; // every buffer kind is announced (version 3), or there is no such event
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

const zwlr_screencopy_frame_v1_listener frameListener = {
    .buffer = [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
        auto* f = static_cast<FrameState*>(data);
        f->format = format;
        f->width = static_cast<int>(width);
        f->height = static_cast<int>(height);
        f->stride = static_cast<int>(stride);
        f->described = true;
    },
    .flags = [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
        static_cast<FrameState*>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    },
    .ready = [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) { static_cast<FrameState*>(data)->ready = true; },
    .failed = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameState*>(data)->failed = true; },
    .damage = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
    .linux_dmabuf = [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
    .buffer_done = [](void* data, zwlr_screencopy_frame_v1*) { static_cast<FrameState*>(data)->listed = true; },
};

// Dispatches until done() holds, the frame failed or half a second went by.
template <typename Done>
bool waitFor(Connection& c, const FrameState& f, Done done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!done() && !f.failed) {
        if (!c.pump())
            return false;
        if (done() || f.failed)
            break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p { c.descriptor(), POLLIN, 0 };
        ::poll(&p, 1, static_cast<int>(left));
    }
    return done();
}

}

ScreenCopy::ScreenCopy(Connection& connection)
    : m_connection(connection)
{
}

bool ScreenCopy::available() const
{
    return m_connection.screencopy && m_connection.shm;
}

bool ScreenCopy::capture(Output& output, ScreenPicture& picture)
{
    if (!available())
        return false;
    FrameState f;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(m_connection.screencopy, 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &frameListener, &f);
    const bool announcesAll = zwlr_screencopy_frame_v1_get_version(frame) >= 3;
    bool ok = waitFor(m_connection, f, [&] { return f.described && (!announcesAll || f.listed); });
    // 32-bit pixels without padding: the formats every compositor offers for this.
    ok = ok && (f.format == WL_SHM_FORMAT_XRGB8888 || f.format == WL_SHM_FORMAT_ARGB8888) && f.stride == f.width * 4;
    if (ok && (!m_buffer || m_buffer->width() != f.width || m_buffer->height() != f.height))
        m_buffer = ShmBuffer::create(m_connection.shm, f.width, f.height, f.format);
    ok = ok && m_buffer;
    if (ok) {
        zwlr_screencopy_frame_v1_copy(frame, m_buffer->buffer());
        ok = waitFor(m_connection, f, [&] { return f.ready; });
    }
    zwlr_screencopy_frame_v1_destroy(frame);
    if (!ok)
        return false;
    picture.pixels = m_buffer->pixels();
    picture.width = f.width;
    picture.height = f.height;
    picture.stride = f.width;
    picture.yInverted = f.yInverted;
    return true;
}

void BufferPoint(int32_t transform, int width, int height, int x, int y, int& bx, int& by)
{
    // width x height is the output as clients see it; the buffer has the output's own
    // orientation, which the transform turns into the clients' view.
    switch (transform) {
    case WL_OUTPUT_TRANSFORM_90:
        bx = y, by = width - 1 - x;
        break;
    case WL_OUTPUT_TRANSFORM_180:
        bx = width - 1 - x, by = height - 1 - y;
        break;
    case WL_OUTPUT_TRANSFORM_270:
        bx = height - 1 - y, by = x;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED:
        bx = width - 1 - x, by = y;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_90:
        bx = y, by = x;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_180:
        bx = x, by = height - 1 - y;
        break;
    case WL_OUTPUT_TRANSFORM_FLIPPED_270:
        bx = height - 1 - y, by = width - 1 - x;
        break;
    default:
        bx = x, by = y;
        break;
    }
}

}
