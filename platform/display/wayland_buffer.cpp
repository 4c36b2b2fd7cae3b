// Shared-memory buffers: one memory file each, mapped for drawing, freed with the buffer.
#include "display/wayland_buffer.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace display::wayland {

std::unique_ptr<ShmBuffer> ShmBuffer::create(wl_shm* shm, int width, int height, uint32_t format)
{
    if (!shm || width < 1 || height < 1 || width > 16384 || height > 16384)
        return nullptr;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    const int fd = memfd_create("magnikeys-buffer", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return nullptr;
    }
    void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    std::unique_ptr<ShmBuffer> b(new ShmBuffer);
    b->m_pixels = static_cast<uint32_t*>(map);
    b->m_bytes = bytes;
    b->m_width = width;
    b->m_height = height;
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes));
    b->m_buffer = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, format);
    wl_shm_pool_destroy(pool);
    close(fd);
    static const wl_buffer_listener listener = {
        .release = [](void* data, wl_buffer*) {
            auto* self = static_cast<ShmBuffer*>(data);
            self->busy = false;
            if (self->released)
                self->released();
        },
    };
    wl_buffer_add_listener(b->m_buffer, &listener, b.get());
    return b;
}

ShmBuffer::~ShmBuffer()
{
    if (m_buffer)
        wl_buffer_destroy(m_buffer);
    if (m_pixels)
        munmap(m_pixels, m_bytes);
}

ShmBuffer* BufferPool::acquire(wl_shm* shm, int width, int height)
{
    // Buffers of another size go once free: the surface changed size.
    m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                        [&](const auto& b) { return !b->busy && (b->width() != width || b->height() != height); }),
        m_buffers.end());
    for (auto& b : m_buffers)
        if (!b->busy)
            return b.get();
    if (m_buffers.size() >= kMost)
        return nullptr;
    auto made = ShmBuffer::create(shm, width, height);
    if (!made)
        return nullptr;
    made->released = [this] {
        if (released)
            released();
    };
    m_buffers.push_back(std::move(made));
    return m_buffers.back().get();
}

}
