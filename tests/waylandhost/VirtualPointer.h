#pragma once
// A pointer for a compositor without input devices (zwlr_virtual_pointer_v1): the test's stylus.
// Positions are the output's logical pixels.
#include <string>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

class VirtualPointer {
public:
    VirtualPointer() = default;
    ~VirtualPointer();
    VirtualPointer(const VirtualPointer&) = delete;
    VirtualPointer& operator=(const VirtualPointer&) = delete;

    // Connects to WAYLAND_DISPLAY; false (with the reason) when it cannot make the pointer.
    bool connect(std::string& why);
    // The output's size in logical pixels, which positions are taken in.
    void setExtent(int width, int height);
    void move(int x, int y);
    void button(bool down);

private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    void frame();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    zwlr_virtual_pointer_manager_v1* m_manager = nullptr;
    zwlr_virtual_pointer_v1* m_pointer = nullptr;
    int m_width = 1;
    int m_height = 1;
};
