#pragma once
// Shared-memory pictures for Wayland surfaces: XRGB8888 in a memory file, handed to the
// compositor as wl_buffers and reused once it releases them.
#include <wayland-client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace display::wayland {

class ShmBuffer {
public:
    // Null when the memory cannot be had.
    static std::unique_ptr<ShmBuffer> create(wl_shm* shm, int width, int height, uint32_t format = WL_SHM_FORMAT_XRGB8888);
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    wl_buffer* buffer() const { return m_buffer; }
    uint32_t* pixels() const { return m_pixels; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int stride() const { return m_width * 4; }
    // Attached and not yet released by the compositor: not to be written.
    bool busy = false;
    std::function<void()> released;

private:
    ShmBuffer() = default;
    wl_buffer* m_buffer = nullptr;
    uint32_t* m_pixels = nullptr;
    size_t m_bytes = 0;
    int m_width = 0;
    int m_height = 0;
};

// A few buffers of one surface: a free one of the wanted size, made when none is.
class BufferPool {
public:
    static constexpr size_t kMost = 3;
    // Null when every buffer is busy (wait for a release) or none can be made.
    ShmBuffer* acquire(wl_shm* shm, int width, int height);
    // Called when a buffer comes back from the compositor.
    std::function<void()> released;

private:
    std::vector<std::unique_ptr<ShmBuffer>> m_buffers;
};

}
