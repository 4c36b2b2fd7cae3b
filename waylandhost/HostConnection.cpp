#include "waylandhost/HostConnection.h"

#include "input-method-unstable-v2-client.h"
#include "virtual-keyboard-unstable-v1-client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace waylandhost {

namespace {

uint32_t milliseconds()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}

// ---- the input method ----------------------------------------------------------------------

const zwp_input_method_v2_listener InputMethod::s_listener = {
    .activate = [](void* data, zwp_input_method_v2*) { static_cast<InputMethod*>(data)->m_pendingActive = true; },
    .deactivate = [](void* data, zwp_input_method_v2*) { static_cast<InputMethod*>(data)->m_pendingActive = false; },
    .surrounding_text = [](void*, zwp_input_method_v2*, const char*, uint32_t, uint32_t) {},
    .text_change_cause = [](void*, zwp_input_method_v2*, uint32_t) {},
    .content_type = [](void*, zwp_input_method_v2*, uint32_t, uint32_t) {},
    .done = [](void* data, zwp_input_method_v2*) {
        auto* self = static_cast<InputMethod*>(data);
        ++self->m_done;
        if (self->m_pendingActive == self->m_active)
            return;
        self->m_active = self->m_pendingActive;
        if (self->activeChanged)
            self->activeChanged(self->m_active);
    },
    .unavailable = [](void* data, zwp_input_method_v2*) {
        auto* self = static_cast<InputMethod*>(data);
        self->m_unavailable = true;
        const bool was = self->m_active;
        self->m_active = self->m_pendingActive = false;
        if (was && self->activeChanged)
            self->activeChanged(false);
    },
};

InputMethod::InputMethod(wl_display* display, zwp_input_method_manager_v2* manager, wl_seat* seat)
    : m_display(display)
{
    m_method = zwp_input_method_manager_v2_get_input_method(manager, seat);
    zwp_input_method_v2_add_listener(m_method, &s_listener, this);
}

InputMethod::~InputMethod()
{
    if (m_method)
        zwp_input_method_v2_destroy(m_method);
}

void InputMethod::commit(const std::string& utf8)
{
    if (!m_active || m_unavailable || utf8.empty())
        return;
    zwp_input_method_v2_commit_string(m_method, utf8.c_str());
    zwp_input_method_v2_commit(m_method, m_done);
    wl_display_flush(m_display);
}

// ---- the virtual keyboard ------------------------------------------------------------------

VirtualKeyboard::VirtualKeyboard(wl_display* display, zwp_virtual_keyboard_manager_v1* manager, wl_seat* seat)
    : m_display(display)
{
    m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
}

VirtualKeyboard::~VirtualKeyboard()
{
    if (m_keyboard)
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
}

void VirtualKeyboard::keymap(const std::string& text)
{
    // A sealed memory file with the text and its final NUL, as wl_keyboard hands keymaps on.
    const size_t size = text.size() + 1;
    const int fd = memfd_create("magnikeys-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return;
    bool written = true;
    for (size_t done = 0; done < size && written;) {
        const ssize_t n = ::write(fd, text.c_str() + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        done += written ? static_cast<size_t>(n) : 0;
    }
    if (written) {
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<uint32_t>(size));
    }
    close(fd);
    wl_display_flush(m_display);
}

void VirtualKeyboard::key(uint32_t code, bool down)
{
    zwp_virtual_keyboard_v1_key(m_keyboard, milliseconds(), code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_flush(m_display);
}

void VirtualKeyboard::modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group)
{
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, depressed, latched, locked, group);
    wl_display_flush(m_display);
}

// ---- the connection ------------------------------------------------------------------------

void HostConnection::global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* self = static_cast<HostConnection*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
        self->m_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 1u)));
    else if (std::strcmp(interface, wl_output_interface.name) == 0 && !self->m_wlOutput) {
        static const wl_output_listener listener = {
            .geometry = [](void* data, wl_output*, int32_t, int32_t, int32_t widthMm, int32_t heightMm, int32_t, const char*,
                            const char*, int32_t transform) {
                auto* c = static_cast<HostConnection*>(data);
                c->m_widthMm = widthMm;
                c->m_heightMm = heightMm;
                c->m_transform = transform;
            },
            .mode = [](void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
                auto* c = static_cast<HostConnection*>(data);
                if (flags & WL_OUTPUT_MODE_CURRENT)
                    c->m_modeWidth = width, c->m_modeHeight = height;
            },
            .done = [](void* data, wl_output*) { static_cast<HostConnection*>(data)->outputDone(); },
            .scale = [](void* data, wl_output*, int32_t factor) { static_cast<HostConnection*>(data)->m_scale = std::max(1, factor); },
            .name = [](void*, wl_output*, const char*) {},
            .description = [](void*, wl_output*, const char*) {},
        };
        self->m_outputName = name;
        self->m_wlOutput = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(self->m_wlOutput, &listener, self);
    } else if (std::strcmp(interface, zwp_input_method_manager_v2_interface.name) == 0)
        self->m_inputMethods = static_cast<zwp_input_method_manager_v2*>(
            wl_registry_bind(registry, name, &zwp_input_method_manager_v2_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        self->m_virtualKeyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

void HostConnection::globalRemove(void* data, wl_registry*, uint32_t name)
{
    auto* self = static_cast<HostConnection*>(data);
    if (name != self->m_outputName || !self->m_wlOutput)
        return;
    // The output went; the next one announced (if any) takes its place.
    wl_output_destroy(self->m_wlOutput);
    self->m_wlOutput = nullptr;
    self->m_outputName = 0;
}

void HostConnection::outputDone()
{
    const bool sideways = m_transform == WL_OUTPUT_TRANSFORM_90 || m_transform == WL_OUTPUT_TRANSFORM_270
        || m_transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 || m_transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
    OutputSize size;
    size.width = sideways ? m_modeHeight : m_modeWidth;
    size.height = sideways ? m_modeWidth : m_modeHeight;
    size.widthMm = std::max(0, sideways ? m_heightMm : m_widthMm);
    size.heightMm = std::max(0, sideways ? m_widthMm : m_heightMm);
    size.scale = std::max(1, m_scale);
    const bool changed = !m_outputReady || !(size == m_output);
    m_output = size;
    m_outputReady = size.width > 0 && size.height > 0;
    if (changed && m_outputReady && outputChanged)
        outputChanged();
}

std::unique_ptr<HostConnection> HostConnection::open(std::string& why)
{
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        why = std::string("cannot connect to the Wayland display '") + (name ? name : "wayland-0") + "'";
        return nullptr;
    }
    std::unique_ptr<HostConnection> c(new HostConnection);
    c->m_display = display;
    static const wl_registry_listener registryListener = { global, globalRemove };
    c->m_registry = wl_display_get_registry(display);
    wl_registry_add_listener(c->m_registry, &registryListener, c.get());
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
        why = "the Wayland compositor did not answer";
        return nullptr;
    }
    if (!c->m_seat) {
        why = "the Wayland compositor has no seat";
        return nullptr;
    }
    return c;
}

HostConnection::~HostConnection()
{
    if (!m_display)
        return;
    if (m_reading)
        wl_display_cancel_read(m_display);
    if (m_inputMethods)
        zwp_input_method_manager_v2_destroy(m_inputMethods);
    if (m_virtualKeyboards)
        zwp_virtual_keyboard_manager_v1_destroy(m_virtualKeyboards);
    if (m_wlOutput)
        wl_output_destroy(m_wlOutput);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_roundtrip(m_display); // the destructions reach the compositor
    wl_display_disconnect(m_display);
}

int HostConnection::descriptor() const
{
    return wl_display_get_fd(m_display);
}

std::unique_ptr<InputMethod> HostConnection::inputMethod()
{
    return m_inputMethods ? std::make_unique<InputMethod>(m_display, m_inputMethods, m_seat) : nullptr;
}

std::unique_ptr<VirtualKeyboard> HostConnection::virtualKeyboard()
{
    return m_virtualKeyboards ? std::make_unique<VirtualKeyboard>(m_display, m_virtualKeyboards, m_seat) : nullptr;
}

bool HostConnection::flush()
{
    return wl_display_flush(m_display) >= 0 || errno == EAGAIN;
}

bool HostConnection::beforePoll()
{
    if (m_reading)
        return true;
    while (wl_display_prepare_read(m_display) != 0)
        if (wl_display_dispatch_pending(m_display) < 0)
            return false;
    m_reading = true;
    return flush();
}

bool HostConnection::afterPoll(bool readable)
{
    if (m_reading) {
        m_reading = false;
        if (readable) {
            if (wl_display_read_events(m_display) < 0)
                return false;
        } else
            wl_display_cancel_read(m_display);
    }
    return wl_display_dispatch_pending(m_display) >= 0;
}

bool HostConnection::roundtrip()
{
    if (m_reading) {
        wl_display_cancel_read(m_display);
        m_reading = false;
    }
    return wl_display_roundtrip(m_display) >= 0;
}

}
