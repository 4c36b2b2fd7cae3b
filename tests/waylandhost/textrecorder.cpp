// A small Wayland program with one window and one text field that records what it receives, one
// line per event on standard output, as an ordinary text program would read its input:
//   configure <width> <height>                       the window's size, as the compositor sets it
//   focus-in | focus-out                             the keyboard focus
//   keymap                                           a keymap arrived
//   key <keysym name> mods=0x<mask> text=<UTF-8 in hex> us=<monotonic microseconds>
//   release <keysym name>
//   text-input enter | text-input leave | text-input enabled | text-input disabled
//   commit text=<UTF-8 in hex> us=<monotonic microseconds>     text from the input method
// The text field uses text input (text-input-v3) unless --no-text-input; while it has the focus it
// is enabled, except after a line "disable" on standard input (until "enable"). Keys are decoded
// with xkbcommon. It ends on SIGTERM or when standard input closes.
#include "tests/support/RecorderLine.h"
#include "text-input-unstable-v3-client.h"
#include "xdg-shell-client.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void line(const std::string& text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

struct Recorder {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    zwp_text_input_manager_v3* textInputs = nullptr;
    zwp_text_input_v3* textInput = nullptr;
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_buffer* buffer = nullptr;
    int bufferWidth = 0, bufferHeight = 0;
    int width = 480, height = 320;
    bool wantTextInput = true;
    bool fieldWanted = true; // the field takes input while focused ("disable" turns it off)
    bool fieldFocused = false;
    bool fieldEnabled = false;
    std::string pendingCommit;
    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
};

void draw(Recorder& r)
{
    if (r.buffer && (r.bufferWidth != r.width || r.bufferHeight != r.height)) {
        wl_buffer_destroy(r.buffer);
        r.buffer = nullptr;
    }
    if (!r.buffer) {
        const size_t bytes = static_cast<size_t>(r.width) * r.height * 4;
        const int fd = memfd_create("textrecorder", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0)
            return;
        void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            close(fd);
            return;
        }
        // A light page with a dark bar where the text field is.
        auto* px = static_cast<uint32_t*>(map);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                px[static_cast<size_t>(y) * r.width + x] = (y > 40 && y < 80 && x > 20 && x < r.width - 20) ? 0xFF303840 : 0xFFF4F0E8;
        munmap(map, bytes);
        wl_shm_pool* pool = wl_shm_create_pool(r.shm, fd, static_cast<int32_t>(bytes));
        r.buffer = wl_shm_pool_create_buffer(pool, 0, r.width, r.height, r.width * 4, WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
        close(fd);
        r.bufferWidth = r.width;
        r.bufferHeight = r.height;
    }
    wl_surface_attach(r.surface, r.buffer, 0, 0);
    wl_surface_damage(r.surface, 0, 0, r.width, r.height);
    wl_surface_commit(r.surface);
}

// The field takes input while it has the focus and is wanted.
void updateField(Recorder& r)
{
    if (!r.textInput)
        return;
    const bool enable = r.fieldFocused && r.fieldWanted;
    if (enable) {
        zwp_text_input_v3_enable(r.textInput);
        zwp_text_input_v3_set_content_type(r.textInput, ZWP_TEXT_INPUT_V3_CONTENT_HINT_NONE, ZWP_TEXT_INPUT_V3_CONTENT_PURPOSE_NORMAL);
        zwp_text_input_v3_set_cursor_rectangle(r.textInput, 20, 40, 1, 40);
    } else
        zwp_text_input_v3_disable(r.textInput);
    zwp_text_input_v3_commit(r.textInput);
    if (enable != r.fieldEnabled)
        line(enable ? "text-input enabled" : "text-input disabled");
    r.fieldEnabled = enable;
}

const zwp_text_input_v3_listener textInputListener = {
    .enter = [](void* data, zwp_text_input_v3*, wl_surface*) {
        auto* r = static_cast<Recorder*>(data);
        line("text-input enter");
        r->fieldFocused = true;
        r->fieldEnabled = false; // each enter wants an enable of its own
        updateField(*r);
    },
    .leave = [](void* data, zwp_text_input_v3*, wl_surface*) {
        auto* r = static_cast<Recorder*>(data);
        line("text-input leave");
        r->fieldFocused = false;
        updateField(*r);
    },
    .preedit_string = [](void*, zwp_text_input_v3*, const char*, int32_t, int32_t) {},
    .commit_string = [](void* data, zwp_text_input_v3*, const char* text) { static_cast<Recorder*>(data)->pendingCommit = text ? text : ""; },
    .delete_surrounding_text = [](void*, zwp_text_input_v3*, uint32_t, uint32_t) {},
    .done = [](void* data, zwp_text_input_v3*, uint32_t) {
        auto* r = static_cast<Recorder*>(data);
        if (r->pendingCommit.empty())
            return;
        line("commit text=" + hex(r->pendingCommit) + " us=" + std::to_string(nowMicroseconds()));
        r->pendingCommit.clear();
    },
};

std::string keysymName(xkb_keysym_t sym)
{
    char name[64];
    return xkb_keysym_get_name(sym, name, sizeof name) > 0 ? name : "none";
}

const wl_keyboard_listener keyboardListener = {
    .keymap = [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* r = static_cast<Recorder*>(data);
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
            void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (map != MAP_FAILED) {
                xkb_keymap* km = xkb_keymap_new_from_string(r->xkb, static_cast<const char*>(map), XKB_KEYMAP_FORMAT_TEXT_V1,
                    XKB_KEYMAP_COMPILE_NO_FLAGS);
                munmap(map, size);
                if (km) {
                    if (r->state)
                        xkb_state_unref(r->state);
                    if (r->keymap)
                        xkb_keymap_unref(r->keymap);
                    r->keymap = km;
                    r->state = xkb_state_new(km);
                    line("keymap");
                }
            }
        }
        close(fd);
    },
    .enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) { line("focus-in"); },
    .leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) { line("focus-out"); },
    .key = [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
        auto* r = static_cast<Recorder*>(data);
        const long long at = nowMicroseconds();
        if (!r->state)
            return;
        const xkb_keycode_t code = key + 8;
        const xkb_keysym_t sym = xkb_state_key_get_one_sym(r->state, code);
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED) {
            char text[64] = {};
            xkb_state_key_get_utf8(r->state, code, text, sizeof text);
            char mods[32];
            std::snprintf(mods, sizeof mods, "0x%x", xkb_state_serialize_mods(r->state, XKB_STATE_MODS_EFFECTIVE));
            line("key " + keysymName(sym) + " mods=" + mods + " text=" + hex(text) + " us=" + std::to_string(at));
        } else
            line("release " + keysymName(sym));
    },
    .modifiers = [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
        auto* r = static_cast<Recorder*>(data);
        if (r->state)
            xkb_state_update_mask(r->state, depressed, latched, locked, 0, 0, group);
    },
    .repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_seat_listener seatListener = {
    .capabilities = [](void* data, wl_seat* seat, uint32_t caps) {
        auto* r = static_cast<Recorder*>(data);
        if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !r->keyboard) {
            r->keyboard = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(r->keyboard, &keyboardListener, r);
        }
    },
    .name = [](void*, wl_seat*, const char*) {},
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto* r = static_cast<Recorder*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        r->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        r->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        r->wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !r->seat) {
        r->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, 5u)));
        wl_seat_add_listener(r->seat, &seatListener, r);
    } else if (std::strcmp(interface, zwp_text_input_manager_v3_interface.name) == 0 && r->wantTextInput)
        r->textInputs = static_cast<zwp_text_input_manager_v3*>(wl_registry_bind(registry, name, &zwp_text_input_manager_v3_interface, 1));
}

const wl_registry_listener registryListener = { global, [](void*, wl_registry*, uint32_t) {} };

const xdg_wm_base_listener wmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener xdgSurfaceListener = {
    .configure = [](void* data, xdg_surface* s, uint32_t serial) {
        auto* r = static_cast<Recorder*>(data);
        xdg_surface_ack_configure(s, serial);
        line("configure " + std::to_string(r->width) + " " + std::to_string(r->height));
        draw(*r);
    },
};

const xdg_toplevel_listener toplevelListener = {
    .configure = [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        auto* r = static_cast<Recorder*>(data);
        if (width > 0 && height > 0)
            r->width = width, r->height = height;
    },
    .close = [](void*, xdg_toplevel*) { g_stop = 1; },
    .configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

void command(Recorder& r, const std::string& text)
{
    if (text == "disable" || text == "enable") {
        r.fieldWanted = text == "enable";
        updateField(r);
    }
}

}

int main(int argc, char** argv)
{
    Recorder r;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-text-input") == 0)
            r.wantTextInput = false;
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    std::signal(SIGPIPE, SIG_IGN);
    r.display = wl_display_connect(nullptr);
    if (!r.display) {
        std::fprintf(stderr, "textrecorder: cannot connect to the Wayland display\n");
        return 1;
    }
    r.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    wl_registry* registry = wl_display_get_registry(r.display);
    wl_registry_add_listener(registry, &registryListener, &r);
    wl_display_roundtrip(r.display);
    if (!r.compositor || !r.shm || !r.wmBase || !r.seat) {
        std::fprintf(stderr, "textrecorder: the compositor lacks what a window needs\n");
        return 1;
    }
    xdg_wm_base_add_listener(r.wmBase, &wmBaseListener, &r);
    if (r.textInputs) {
        r.textInput = zwp_text_input_manager_v3_get_text_input(r.textInputs, r.seat);
        zwp_text_input_v3_add_listener(r.textInput, &textInputListener, &r);
    }
    r.surface = wl_compositor_create_surface(r.compositor);
    r.xdgSurface = xdg_wm_base_get_xdg_surface(r.wmBase, r.surface);
    xdg_surface_add_listener(r.xdgSurface, &xdgSurfaceListener, &r);
    r.toplevel = xdg_surface_get_toplevel(r.xdgSurface);
    xdg_toplevel_add_listener(r.toplevel, &toplevelListener, &r);
    xdg_toplevel_set_title(r.toplevel, "textrecorder");
    xdg_toplevel_set_app_id(r.toplevel, "textrecorder");
    wl_surface_commit(r.surface);

    std::string input;
    const int fd = wl_display_get_fd(r.display);
    while (!g_stop) {
        while (wl_display_prepare_read(r.display) != 0)
            wl_display_dispatch_pending(r.display);
        wl_display_flush(r.display);
        pollfd fds[2] = { { fd, POLLIN, 0 }, { 0, POLLIN, 0 } };
        if (poll(fds, 2, 200) < 0) {
            wl_display_cancel_read(r.display);
            continue;
        }
        if (fds[0].revents & POLLIN)
            wl_display_read_events(r.display);
        else
            wl_display_cancel_read(r.display);
        if (wl_display_dispatch_pending(r.display) < 0)
            break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            const ssize_t n = read(0, buffer, sizeof buffer);
            if (n <= 0)
                break;
            input.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = input.find('\n')) != std::string::npos;) {
                command(r, input.substr(0, end));
                input.erase(0, end + 1);
            }
        }
    }
    if (r.textInput)
        zwp_text_input_v3_destroy(r.textInput);
    if (r.keyboard)
        wl_keyboard_destroy(r.keyboard);
    if (r.state)
        xkb_state_unref(r.state);
    if (r.keymap)
        xkb_keymap_unref(r.keymap);
    xkb_context_unref(r.xkb);
    if (r.buffer)
        wl_buffer_destroy(r.buffer);
    xdg_toplevel_destroy(r.toplevel);
    xdg_surface_destroy(r.xdgSurface);
    wl_surface_destroy(r.surface);
    if (r.textInputs)
        zwp_text_input_manager_v3_destroy(r.textInputs);
    xdg_wm_base_destroy(r.wmBase);
    wl_seat_destroy(r.seat);
    wl_shm_destroy(r.shm);
    wl_compositor_destroy(r.compositor);
    wl_registry_destroy(registry);
    wl_display_disconnect(r.display);
    return 0;
}
