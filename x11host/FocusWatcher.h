#pragma once
// Follows the desktop's keyboard focus through the accessibility bus (AT-SPI): which object has
// it, and whether it takes text. The bus is read on a thread of its own, so that a slow or hung
// program never holds up the keyboard; the host's loop collects the news with poll().
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace x11host {

class FocusWatcher {
public:
    struct News {
        enum class Kind {
            Following,   // the bus answered; focus changes will come
            Unavailable, // no accessibility bus: the focus cannot be followed (why says why)
            Focus,       // the focus moved (editable: to an object that takes text)
        };
        Kind kind = Kind::Focus;
        bool editable = false;
        std::string why;
    };

    FocusWatcher();
    ~FocusWatcher();
    FocusWatcher(const FocusWatcher&) = delete;
    FocusWatcher& operator=(const FocusWatcher&) = delete;

    // What happened since the last call, in order.
    std::vector<News> poll();

private:
    struct Bus;
    void run();
    void report(News news);

    std::mutex m_lock;
    std::vector<News> m_news;
    std::unique_ptr<Bus> m_bus;
    std::thread m_thread;
};

}
