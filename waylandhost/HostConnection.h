#pragma once
// The host's own connection to the compositor, beside the display back end's: the seat that the
// keyboard types on, the output it is sized for, the input method and the virtual keyboard.
#include "waylandhost/OutputScreen.h"
#include "waylandhost/WaylandKeyboard.h"

#include <wayland-client.h>

#include <functional>
#include <memory>
#include <string>

struct zwp_input_method_manager_v2;
struct zwp_input_method_v2;
struct zwp_input_method_v2_listener;
struct zwp_virtual_keyboard_manager_v1;
struct zwp_virtual_keyboard_v1;

namespace waylandhost {

// The input method of the seat: which text field, if any, has activated it, and its text.
class InputMethod final : public TextSink {
public:
    InputMethod(wl_display* display, zwp_input_method_manager_v2* manager, wl_seat* seat);
    ~InputMethod() override;
    InputMethod(const InputMethod&) = delete;
    InputMethod& operator=(const InputMethod&) = delete;

    bool active() const override { return m_active; }
    void commit(const std::string& utf8) override;
    // Another input method has the seat: this one is never activated.
    bool unavailable() const { return m_unavailable; }
    // A text field activated (true) or deactivated (false) the input method.
    std::function<void(bool)> activeChanged;

private:
    static const ::zwp_input_method_v2_listener s_listener;
    wl_display* m_display;
    zwp_input_method_v2* m_method = nullptr;
    bool m_pendingActive = false;
    bool m_active = false;
    bool m_unavailable = false;
    uint32_t m_done = 0; // done events received: the serial of a commit
};

// The virtual keyboard of the seat. What the input method and the virtual keyboard send leaves at
// once, not with the loop's next turn: the program gets it while the keyboard still draws.
class VirtualKeyboard final : public KeySink {
public:
    VirtualKeyboard(wl_display* display, zwp_virtual_keyboard_manager_v1* manager, wl_seat* seat);
    ~VirtualKeyboard() override;
    VirtualKeyboard(const VirtualKeyboard&) = delete;
    VirtualKeyboard& operator=(const VirtualKeyboard&) = delete;

    void keymap(const std::string& text) override;
    void key(uint32_t code, bool down) override;
    void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) override;

private:
    wl_display* m_display;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
};

class HostConnection {
public:
    // Null (with the reason) when no compositor answers.
    static std::unique_ptr<HostConnection> open(std::string& why);
    ~HostConnection();
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    int descriptor() const;
    // The first output's size once the compositor told it (after open, or a change).
    const OutputSize& output() const { return m_output; }
    bool hasOutput() const { return m_outputReady; }
    // The output changed its size or turned.
    std::function<void()> outputChanged;

    // Made from the seat when the compositor offers them; null otherwise.
    std::unique_ptr<InputMethod> inputMethod();
    std::unique_ptr<VirtualKeyboard> virtualKeyboard();

    // The loop's steps around poll(): before it, everything is sent and the connection is ready
    // to read; after it, what arrived (readable says whether the descriptor had data) is handled.
    // False once the connection is lost.
    bool beforePoll();
    bool afterPoll(bool readable);
    bool flush();
    bool roundtrip();

private:
    HostConnection() = default;
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
    static void globalRemove(void* data, wl_registry* registry, uint32_t name);
    void outputDone();

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    wl_seat* m_seat = nullptr;
    wl_output* m_wlOutput = nullptr;
    uint32_t m_outputName = 0;
    zwp_input_method_manager_v2* m_inputMethods = nullptr;
    zwp_virtual_keyboard_manager_v1* m_virtualKeyboards = nullptr;
    // The output's announcements, applied at its done event.
    int m_modeWidth = 0, m_modeHeight = 0, m_transform = 0, m_scale = 1, m_widthMm = 0, m_heightMm = 0;
    OutputSize m_output;
    bool m_outputReady = false;
    bool m_reading = false;
};

}
