// The pointer and the touch screen of the seat, turned into stylus actions on surfaces.
#include "display/wayland_input.h"
#include "display/wayland_connection.h"

#include <linux/input-event-codes.h>

namespace display::wayland {

bool FirstTouch::down(int32_t id)
{
    if (m_active)
        return false;
    m_active = true;
    m_id = id;
    return true;
}

bool FirstTouch::up(int32_t id)
{
    if (!m_active || id != m_id)
        return false;
    m_active = false;
    return true;
}

bool FirstTouch::cancel()
{
    const bool was = m_active;
    m_active = false;
    return was;
}

const wl_pointer_listener SeatInput::s_pointer = {
    .enter = [](void* data, wl_pointer*, uint32_t, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<SeatInput*>(data);
        self->m_pointerSurface = surface;
        self->m_pointerX = wl_fixed_to_double(x);
        self->m_pointerY = wl_fixed_to_double(y);
    },
    .leave = [](void* data, wl_pointer*, uint32_t, wl_surface*) {
        auto* self = static_cast<SeatInput*>(data);
        self->m_pointerSurface = nullptr;
        // The compositor ended the button's grab: the stylus lifts where it last was.
        if (self->m_buttonDown) {
            self->m_buttonDown = false;
            if (self->m_buttonSurface)
                self->m_handler(self->m_buttonSurface, StylusAction::Up, self->m_pointerX, self->m_pointerY, 0);
            self->m_buttonSurface = nullptr;
        }
    },
    .motion = [](void* data, wl_pointer*, uint32_t time, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<SeatInput*>(data);
        self->m_pointerX = wl_fixed_to_double(x);
        self->m_pointerY = wl_fixed_to_double(y);
        if (self->m_buttonDown && self->m_buttonSurface)
            self->m_handler(self->m_buttonSurface, StylusAction::Move, self->m_pointerX, self->m_pointerY, time);
    },
    .button = [](void* data, wl_pointer*, uint32_t, uint32_t time, uint32_t button, uint32_t state) {
        auto* self = static_cast<SeatInput*>(data);
        if (button != BTN_LEFT)
            return;
        if (state == WL_POINTER_BUTTON_STATE_PRESSED && !self->m_buttonDown && self->m_pointerSurface) {
            self->m_buttonDown = true;
            self->m_buttonSurface = self->m_pointerSurface;
            self->m_handler(self->m_buttonSurface, StylusAction::Down, self->m_pointerX, self->m_pointerY, time);
        } else if (state == WL_POINTER_BUTTON_STATE_RELEASED && self->m_buttonDown) {
            self->m_buttonDown = false;
            if (self->m_buttonSurface)
                self->m_handler(self->m_buttonSurface, StylusAction::Up, self->m_pointerX, self->m_pointerY, time);
            self->m_buttonSurface = nullptr;
        }
    },
    .axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {},
};

const wl_touch_listener SeatInput::s_touch = {
    .down = [](void* data, wl_touch*, uint32_t, uint32_t time, wl_surface* surface, int32_t id, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<SeatInput*>(data);
        if (!surface || !self->m_first.down(id))
            return;
        self->m_touchSurface = surface;
        self->m_touchX = wl_fixed_to_double(x);
        self->m_touchY = wl_fixed_to_double(y);
        self->m_handler(surface, StylusAction::Down, self->m_touchX, self->m_touchY, time);
    },
    .up = [](void* data, wl_touch*, uint32_t, uint32_t time, int32_t id) {
        auto* self = static_cast<SeatInput*>(data);
        if (!self->m_first.up(id))
            return;
        if (self->m_touchSurface)
            self->m_handler(self->m_touchSurface, StylusAction::Up, self->m_touchX, self->m_touchY, time);
        self->m_touchSurface = nullptr;
    },
    .motion = [](void* data, wl_touch*, uint32_t time, int32_t id, wl_fixed_t x, wl_fixed_t y) {
        auto* self = static_cast<SeatInput*>(data);
        if (!self->m_first.motion(id) || !self->m_touchSurface)
            return;
        self->m_touchX = wl_fixed_to_double(x);
        self->m_touchY = wl_fixed_to_double(y);
        self->m_handler(self->m_touchSurface, StylusAction::Move, self->m_touchX, self->m_touchY, time);
    },
    .frame = [](void*, wl_touch*) {},
    .cancel = [](void* data, wl_touch*) {
        auto* self = static_cast<SeatInput*>(data);
        if (self->m_first.cancel() && self->m_touchSurface)
            self->m_handler(self->m_touchSurface, StylusAction::Up, self->m_touchX, self->m_touchY, 0);
        self->m_touchSurface = nullptr;
    },
    .shape = [](void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {},
    .orientation = [](void*, wl_touch*, int32_t, wl_fixed_t) {},
};

SeatInput::SeatInput(Connection& connection, StylusHandler handler)
    : m_connection(connection)
    , m_handler(std::move(handler))
{
}

SeatInput::~SeatInput()
{
    capabilities(0);
}

void SeatInput::capabilities(uint32_t caps)
{
    if (!m_connection.seat)
        return;
    const bool release = wl_seat_get_version(m_connection.seat) >= WL_POINTER_RELEASE_SINCE_VERSION;
    if ((caps & WL_SEAT_CAPABILITY_POINTER) && !m_pointer) {
        m_pointer = wl_seat_get_pointer(m_connection.seat);
        wl_pointer_add_listener(m_pointer, &s_pointer, this);
    } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && m_pointer) {
        release ? wl_pointer_release(m_pointer) : wl_pointer_destroy(m_pointer);
        m_pointer = nullptr;
        m_pointerSurface = m_buttonSurface = nullptr;
        m_buttonDown = false;
    }
    if ((caps & WL_SEAT_CAPABILITY_TOUCH) && !m_touch) {
        m_touch = wl_seat_get_touch(m_connection.seat);
        wl_touch_add_listener(m_touch, &s_touch, this);
    } else if (!(caps & WL_SEAT_CAPABILITY_TOUCH) && m_touch) {
        release ? wl_touch_release(m_touch) : wl_touch_destroy(m_touch);
        m_touch = nullptr;
        m_touchSurface = nullptr;
        m_first.cancel();
    }
}

void SeatInput::forget(wl_surface* surface)
{
    if (m_pointerSurface == surface)
        m_pointerSurface = nullptr;
    if (m_buttonSurface == surface)
        m_buttonSurface = nullptr;
    if (m_touchSurface == surface)
        m_touchSurface = nullptr;
}

}
