#include "x11host/FocusWatcher.h"

#include <atspi/atspi.h>

#include <atomic>

namespace x11host {

// The bus's side, touched only by the watcher's thread (libatspi is not thread-safe).
struct FocusWatcher::Bus {
    std::atomic<bool> stop { false };
    GMainLoop* loop = nullptr;
    AtspiAccessible* focused = nullptr; // the object that has the focus, referenced
};

namespace {

bool takesText(AtspiAccessible* object)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(object);
    if (!states)
        return false;
    // A terminal counts where it says it is editable, as entries and text views do.
    const bool editable = atspi_state_set_contains(states, ATSPI_STATE_EDITABLE)
        && !atspi_state_set_contains(states, ATSPI_STATE_READ_ONLY);
    g_object_unref(states);
    return editable;
}

}

FocusWatcher::FocusWatcher()
    : m_bus(std::make_unique<Bus>())
{
    m_thread = std::thread([this] { run(); });
}

FocusWatcher::~FocusWatcher()
{
    m_bus->stop = true;
    m_thread.join();
}

std::vector<FocusWatcher::News> FocusWatcher::poll()
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<News> news;
    news.swap(m_news);
    return news;
}

void FocusWatcher::report(News news)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_news.push_back(std::move(news));
}

void FocusWatcher::run()
{
    // Nothing else in the process runs GLib: this thread owns its default context.
    const int started = atspi_init();
    if (started > 1 || !atspi_get_a11y_bus()) {
        report({ News::Kind::Unavailable, false, "no accessibility bus (AT-SPI): the keyboard stays up; "
                                                  "install at-spi2-core or run the session with accessibility on" });
        return;
    }
    AtspiEventListener* listener = atspi_event_listener_new(
        [](AtspiEvent* event, void* data) {
            auto* self = static_cast<FocusWatcher*>(data);
            Bus& bus = *self->m_bus;
            if (event->source && event->detail1) {
                if (bus.focused)
                    g_object_unref(bus.focused);
                bus.focused = static_cast<AtspiAccessible*>(g_object_ref(event->source));
                self->report({ News::Kind::Focus, takesText(event->source), {} });
            } else if (event->source && event->source == bus.focused) {
                // Focus left the object without another taking it (its window went to the back).
                g_object_unref(bus.focused);
                bus.focused = nullptr;
                self->report({ News::Kind::Focus, false, {} });
            }
            g_boxed_free(ATSPI_TYPE_EVENT, event);
        },
        this, nullptr);
    GError* error = nullptr;
    if (!atspi_event_listener_register(listener, "object:state-changed:focused", &error)) {
        report({ News::Kind::Unavailable, false, std::string("the accessibility bus refused to report the focus: ")
                    + (error ? error->message : "no reason given") + "; the keyboard stays up" });
        if (error)
            g_error_free(error);
        g_object_unref(listener);
        return;
    }
    report({ News::Kind::Following, false, {} });
    m_bus->loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add(
        50,
        [](void* data) -> gboolean {
            auto* bus = static_cast<Bus*>(data);
            if (bus->stop)
                g_main_loop_quit(bus->loop);
            return bus->stop ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        },
        m_bus.get());
    g_main_loop_run(m_bus->loop);
    atspi_event_listener_deregister(listener, "object:state-changed:focused", nullptr);
    g_object_unref(listener);
    if (m_bus->focused)
        g_object_unref(m_bus->focused);
    g_main_loop_unref(m_bus->loop);
    atspi_exit();
}

}
