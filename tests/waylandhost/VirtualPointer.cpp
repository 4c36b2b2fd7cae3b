#include "tests/waylandhost/VirtualPointer.h"

#include "wlr-virtual-pointer-unstable-v1-client.h"

#include <wayland-client.h>

#include <chrono>
#include <cstring>
#include <linux/input-event-codes.h>

namespace {

uint32_t milliseconds()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}

void VirtualPointer::global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* self = static_cast<VirtualPointer*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
        self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        self->m_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

bool VirtualPointer::connect(std::string& why)
{
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        why = "cannot connect to the Wayland display";
        return false;
    }
    static const wl_registry_listener listener = { global, [](void*, wl_registry*, uint32_t) {} };
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &listener, this);
    wl_display_roundtrip(m_display);
    if (!m_seat || !m_manager) {
        why = "the compositor offers no virtual pointer (zwlr_virtual_pointer_manager_v1)";
        return false;
    }
    m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_manager, m_seat);
    // The seat has a pointer from here on.
    wl_display_roundtrip(m_display);
    return true;
}

VirtualPointer::~VirtualPointer()
{
    if (!m_display)
        return;
    if (m_pointer)
        zwlr_virtual_pointer_v1_destroy(m_pointer);
    if (m_manager)
        zwlr_virtual_pointer_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_roundtrip(m_display);
    wl_display_disconnect(m_display);
}

void VirtualPointer::setExtent(int width, int height)
{
    m_width = width > 0 ? width : 1;
    m_height = height > 0 ? height : 1;
}

void VirtualPointer::frame()
{
    zwlr_virtual_pointer_v1_frame(m_pointer);
    wl_display_flush(m_display);
}

void VirtualPointer::move(int x, int y)
{
    if (!m_pointer)
        return;
    x = x < 0 ? 0 : x >= m_width ? m_width - 1 : x;
    y = y < 0 ? 0 : y >= m_height ? m_height - 1 : y;
    zwlr_virtual_pointer_v1_motion_absolute(m_pointer, milliseconds(), static_cast<uint32_t>(x), static_cast<uint32_t>(y),
        static_cast<uint32_t>(m_width), static_cast<uint32_t>(m_height));
    frame();
}

void VirtualPointer::button(bool down)
{
    if (!m_pointer)
        return;
    zwlr_virtual_pointer_v1_button(m_pointer, milliseconds(), BTN_LEFT,
        down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    frame();
}
