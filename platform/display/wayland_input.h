#pragma once
// The seat's pointer and touch screen as the device's stylus: the left button or the first
// finger down, its moves while down, and its lifting, on the surface it went down on.
#include <wayland-client.h>

#include <functional>

namespace display::wayland {

class Connection;

enum class StylusAction { Down, Move, Up };

// Positions are the surface's logical pixels.
// time: the compositor's time of the event in milliseconds, 0 when it has none (a grab ended).
using StylusHandler = std::function<void(wl_surface*, StylusAction, double x, double y, uint32_t time)>;

// Only the first finger on the screen is the stylus; the others are ignored until it lifts.
// A cancelled touch lifts the stylus where it last was.
class FirstTouch {
public:
    // Each returns whether the event concerns the stylus.
    bool down(int32_t id);
    bool motion(int32_t id) const { return m_active && id == m_id; }
    bool up(int32_t id);
    bool cancel();
    bool active() const { return m_active; }

private:
    bool m_active = false;
    int32_t m_id = 0;
};

class SeatInput {
public:
    SeatInput(Connection& connection, StylusHandler handler);
    ~SeatInput();
    SeatInput(const SeatInput&) = delete;
    SeatInput& operator=(const SeatInput&) = delete;

    // The seat's devices came or went.
    void capabilities(uint32_t caps);
    // A surface goes away: a stylus held on it is forgotten.
    void forget(wl_surface* surface);

private:
    static const wl_pointer_listener s_pointer;
    static const wl_touch_listener s_touch;

    Connection& m_connection;
    StylusHandler m_handler;
    wl_pointer* m_pointer = nullptr;
    wl_touch* m_touch = nullptr;
    // The pointer.
    wl_surface* m_pointerSurface = nullptr;
    double m_pointerX = 0;
    double m_pointerY = 0;
    bool m_buttonDown = false;
    wl_surface* m_buttonSurface = nullptr; // where the button went down
    // The touch screen.
    FirstTouch m_first;
    wl_surface* m_touchSurface = nullptr;
    double m_touchX = 0;
    double m_touchY = 0;
};

}
