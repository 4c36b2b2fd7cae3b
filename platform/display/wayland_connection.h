#pragma once
// The Wayland back end's connection to the compositor: the globals it binds and the output the
// device is shown on.
#include <wayland-client.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct xdg_wm_base;
struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;

namespace display::wayland {

// What a wl_output reports, in the compositor's logical pixels once transformed and scaled.
struct OutputInfo {
    int modeWidth = 0; // the output's own pixels, before its transform
    int modeHeight = 0;
    int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int32_t scale = 1;
    int physicalWidthMm = 0;
    int physicalHeightMm = 0;

    bool sideways() const;
    int logicalWidth() const;
    int logicalHeight() const;
    // The output's own pixels as clients see them (after its transform): the device's pixels.
    int pixelWidth() const;
    int pixelHeight() const;
};

class Connection;

struct Output {
    Connection* owner = nullptr;
    wl_output* output = nullptr;
    uint32_t name = 0;
    OutputInfo info;
    OutputInfo pending;
    bool ready = false; // a first done arrived
};

class Connection {
public:
    // Null when no compositor answers.
    static std::unique_ptr<Connection> open();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* display() const { return m_display; }
    int descriptor() const;
    // The first output the compositor announced; null before one is known.
    Output* output();

    // Sends what is queued; reads what the socket holds without waiting and dispatches it.
    // False once the connection is lost.
    bool pump();
    bool roundtrip();
    bool lost() const;
    uint32_t seatCapabilitiesNow() const { return m_seatCapabilities; }

    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* wmBase = nullptr;
    zwlr_layer_shell_v1* layerShell = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    uint32_t compositorVersion = 0;

    // The seat's capabilities (WL_SEAT_CAPABILITY_*) as they change.
    std::function<void(uint32_t)> seatCapabilities;
    // The output's size, scale or transform changed.
    std::function<void()> outputChanged;

private:
    Connection() = default;
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, uint32_t name);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs;
    uint32_t m_seatCapabilities = 0;
};

}
