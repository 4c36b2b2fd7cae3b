#include "x11host/DesktopSession.h"
#include "x11host/FocusWatcher.h"
#include "x11host/InputSources.h"
#include "x11host/SingleInstance.h"

#include "panel_host/HostFiles.h"
#include "panel_host/HostSetup.h"
#include "panel_host/InputPanel.h"

#include <simhost.h>

#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace x11host {

namespace {

constexpr char kHost[] = "magnikeys-x11";

unsigned nowMs()
{
    using namespace std::chrono;
    return static_cast<unsigned>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string ownProgram()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(kHost) : self.string();
}

std::string autostartTemplate()
{
    return pocketsim::OwnHostFiles().autostart + "/" + kHost + ".desktop";
}

AutostartPlaces places()
{
    return AutostartPlaces::ForEntry(std::string(kHost) + ".desktop");
}

// Whether the accessibility bus can be found without starting a session bus: with none to go
// to, the D-Bus library would launch one of its own, forking this threaded program (and a bus
// of its own holds no programs' accessibility anyway). The bus is named by the environment, the
// user's bus socket or the root window's AT_SPI_BUS.
bool accessibilityBusReachable(Display* display)
{
    for (const char* name : { "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS" })
        if (const char* value = std::getenv(name); value && *value)
            return true;
    std::error_code ec;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime
        && std::filesystem::exists(std::string(runtime) + "/bus", ec))
        return true;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, rest = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, "AT_SPI_BUS", False), 0, 1024,
                           False, AnyPropertyType, &type, &format, &items, &rest, &data)
            == Success
        && data && items > 0;
    if (data)
        XFree(data);
    return found;
}

}

std::optional<int> HandOverOrTake(SingleInstance& instance, PanelCommand command)
{
    // A keyboard that ends just now leaves the display free for this one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (instance.take())
            return std::nullopt;
        if (instance.hand_over(command))
            return 0;
    }
    std::fprintf(stderr, "%s: another keyboard has this display and does not answer\n", kHost);
    return 1;
}

int AutostartCommand(bool on, const std::string& root)
{
    std::string why;
    const AutostartPlaces where = places();
    if (!SetAutostart(where, on, autostartTemplate(), ownProgram(), why)) {
        std::fprintf(stderr, "%s: %s\n", kHost, why.c_str());
        return 1;
    }
    // The settings program shows the same choice, where the keyboard has its device already.
    std::error_code ec;
    if (std::filesystem::is_directory(root, ec)) {
        pocketsim::HostSetup(kHost).use_device_root(root);
        SetStartupSwitch(on);
    }
    std::printf("%s: %s\n", kHost,
        on ? ("starts with the session (" + where.user + ")").c_str() : "does not start with the session");
    return 0;
}

DesktopSession::DesktopSession(const DesktopOptions& options, SingleInstance& instance, Display* display)
    : m_instance(instance)
    , m_display(display)
    , m_auto(options.always, options.command)
    , m_always(options.always)
    , m_session(places(), autostartTemplate(), ownProgram())
{
    if (!m_always) {
        if (accessibilityBusReachable(display))
            m_focus = std::make_unique<FocusWatcher>();
        else {
            std::fprintf(stderr, "%s: no session bus to find the accessibility bus (AT-SPI) on: the keyboard stays up\n", kHost);
            m_auto.focus_unavailable();
        }
        m_inputs = std::make_unique<InputSources>();
        std::string why;
        if (!m_inputs->ready(why))
            std::fprintf(stderr, "%s: %s\n", kHost, why.c_str());
    }
}

DesktopSession::~DesktopSession() = default;

void DesktopSession::start(pocketsim::InputPanel& panel)
{
    m_session.start();
    m_applied = panel.shown();
    apply(panel);
}

void DesktopSession::idle(pocketsim::InputPanel& panel)
{
    const unsigned now = nowMs();
    // A program of the device showed or hid the panel itself (SipShowIM): that is the state the
    // rules go on from.
    if (panel.shown() != m_applied) {
        m_applied = panel.shown();
        m_auto.command(m_applied ? PanelCommand::Show : PanelCommand::Hide);
    }
    if (m_focus)
        for (const FocusWatcher::News& news : m_focus->poll()) {
            if (news.kind == FocusWatcher::News::Kind::Unavailable) {
                std::fprintf(stderr, "%s: %s\n", kHost, news.why.c_str());
                m_auto.focus_unavailable();
            } else if (news.kind == FocusWatcher::News::Kind::Focus) {
                m_auto.focus(news.editable, now);
            }
        }
    if (m_inputs)
        for (InputSources::Event e; (e = m_inputs->next()) != InputSources::Event::Nothing;)
            e == InputSources::Event::HardwareKey ? m_auto.hardware_key() : m_auto.touch();
    for (PanelCommand c; (c = m_instance.next()) != PanelCommand::Unset;)
        m_auto.command(c);
    if (m_auto.hide_due(now))
        m_auto.tick(now, ownWindowFocused());
    apply(panel);
    m_session.idle(now);
}

void DesktopSession::apply(pocketsim::InputPanel& panel)
{
    if (m_auto.shown() == m_applied)
        return;
    m_applied = m_auto.shown();
    m_applied ? panel.show() : panel.hide();
    SimPumpMessages();
    SimPresent();
}

// The keyboard's own windows (its settings program) taking the focus from a text field keep it up.
bool DesktopSession::ownWindowFocused() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    for (Window w = focus; w && w != PointerRoot;) {
        XClassHint hint {};
        if (XGetClassHint(m_display, w, &hint)) {
            const bool ours = hint.res_name && std::strcmp(hint.res_name, kHost) == 0;
            XFree(hint.res_name);
            XFree(hint.res_class);
            if (ours)
                return true;
        }
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, w, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        if (parent == root)
            break;
        w = parent;
    }
    return false;
}

}
