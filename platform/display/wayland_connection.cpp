// The Wayland back end's connection: the registry's globals, the seat's capabilities and the
// output's size as the compositor announces them.
#include "display/wayland_connection.h"

#include "display/wayland_layer_shell.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "xdg-shell-client.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace display::wayland {

bool OutputInfo::sideways() const
{
    return transform == WL_OUTPUT_TRANSFORM_90 || transform == WL_OUTPUT_TRANSFORM_270 || transform == WL_OUTPUT_TRANSFORM_FLIPPED_90
        || transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

int OutputInfo::logicalWidth() const
{
    return (sideways() ? modeHeight : modeWidth) / std::max(1, scale);
}

int OutputInfo::logicalHeight() const
{
    return (sideways() ? modeWidth : modeHeight) / std::max(1, scale);
}

int OutputInfo::pixelWidth() const
{
    return sideways() ? modeHeight : modeWidth;
}

int OutputInfo::pixelHeight() const
{
    return sideways() ? modeWidth : modeHeight;
}

namespace {

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

const wl_output_listener outputListener = {
    .geometry = [](void* data, wl_output*, int32_t, int32_t, int32_t widthMm, int32_t heightMm, int32_t, const char*, const char*,
                    int32_t transform) {
        auto* o = static_cast<Output*>(data);
        o->pending.physicalWidthMm = widthMm;
        o->pending.physicalHeightMm = heightMm;
        o->pending.transform = transform;
    },
    .mode = [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            auto* o = static_cast<Output*>(data);
            o->pending.modeWidth = width;
            o->pending.modeHeight = height;
        }
    },
    .done = [](void* data, wl_output*) {
        auto* o = static_cast<Output*>(data);
        o->info = o->pending;
        o->ready = true;
        if (o->owner && o->owner->outputChanged)
            o->owner->outputChanged();
    },
    .scale = [](void* data, wl_output*, int32_t factor) { static_cast<Output*>(data)->pending.scale = std::max(1, factor); },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const xdg_wm_base_listener wmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

}

void Connection::global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* self = static_cast<Connection*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        self->compositor = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
        self->compositorVersion = std::min(version, 4u);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        self->shm = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat) {
        static const wl_seat_listener seatListener = {
            .capabilities = [](void* data, wl_seat*, uint32_t caps) {
                auto* c = static_cast<Connection*>(data);
                c->m_seatCapabilities = caps;
                if (c->seatCapabilities)
                    c->seatCapabilities(caps);
            },
            .name = [](void*, wl_seat*, const char*) {},
        };
        self->seat = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
        wl_seat_add_listener(self->seat, &seatListener, self);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->name = name;
        output->output = bind<wl_output>(registry, name, &wl_output_interface, version, 2);
        output->owner = self;
        wl_output_add_listener(output->output, &outputListener, output.get());
        self->m_outputs.push_back(std::move(output));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        self->wmBase = bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2);
        xdg_wm_base_add_listener(self->wmBase, &wmBaseListener, self);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0)
        self->layerShell = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4);
    else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0)
        self->screencopy = bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface, version, 3);
}

void Connection::globalRemove(void* data, wl_registry*, uint32_t name)
{
    auto* self = static_cast<Connection*>(data);
    auto& outputs = self->m_outputs;
    auto it = std::find_if(outputs.begin(), outputs.end(), [&](const auto& o) { return o->name == name; });
    if (it == outputs.end())
        return;
    wl_output_destroy((*it)->output);
    outputs.erase(it);
    if (self->outputChanged)
        self->outputChanged();
}

std::unique_ptr<Connection> Connection::open()
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<Connection> c(new Connection);
    c->m_display = display;
    static const wl_registry_listener registryListener = { global, globalRemove };
    c->m_registry = wl_display_get_registry(display);
    wl_registry_add_listener(c->m_registry, &registryListener, c.get());
    // The globals, then what they announce of themselves (the output's size, the seat's devices).
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0)
        return nullptr;
    return c;
}

Connection::~Connection()
{
    if (!m_display)
        return;
    for (auto& o : m_outputs) {
        wl_output_destroy(o->output);
    }
    if (screencopy)
        zwlr_screencopy_manager_v1_destroy(screencopy);
    if (layerShell)
        zwlr_layer_shell_v1_destroy(layerShell);
    if (wmBase)
        xdg_wm_base_destroy(wmBase);
    if (seat)
        wl_seat_destroy(seat);
    if (shm)
        wl_shm_destroy(shm);
    if (compositor)
        wl_compositor_destroy(compositor);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

int Connection::descriptor() const
{
    return wl_display_get_fd(m_display);
}

Output* Connection::output()
{
    for (auto& o : m_outputs)
        if (o->ready)
            return o.get();
    return nullptr;
}

bool Connection::lost() const
{
    return wl_display_get_error(m_display) != 0;
}

bool Connection::pump()
{
    if (lost())
        return false;
    while (wl_display_prepare_read(m_display) != 0)
        if (wl_display_dispatch_pending(m_display) < 0)
            return false;
    // A full socket (EAGAIN) is sent on the next pump.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(m_display);
        return false;
    }
    pollfd p { descriptor(), POLLIN, 0 };
    if (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
        if (wl_display_read_events(m_display) < 0)
            return false;
    } else
        wl_display_cancel_read(m_display);
    return wl_display_dispatch_pending(m_display) >= 0;
}

bool Connection::roundtrip()
{
    return !lost() && wl_display_roundtrip(m_display) >= 0;
}

}
