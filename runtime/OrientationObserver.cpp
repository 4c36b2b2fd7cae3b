#include "runtime/OrientationObserver.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Fonts may be made on any thread that draws; the list is shared by all of them.
struct Observers {
    std::mutex lock;
    std::vector<OrientationObserver*> list;
    ~Observers() { gone = true; }
    static inline bool gone = false;
};

// Destroyed with the program or the library that carries this code (an unloaded library must
// not leave it behind); a static font destroyed after it no longer looks for it.
Observers& observers()
{
    static Observers o;
    return o;
}

void join(OrientationObserver* o)
{
    Observers& all = observers();
    std::lock_guard<std::mutex> g(all.lock);
    all.list.push_back(o);
}

bool listed(OrientationObserver* o)
{
    Observers& all = observers();
    std::lock_guard<std::mutex> g(all.lock);
    return std::find(all.list.begin(), all.list.end(), o) != all.list.end();
}

}

OrientationObserver::OrientationObserver()
{
    join(this);
}

OrientationObserver::OrientationObserver(const OrientationObserver&)
{
    join(this);
}

OrientationObserver::~OrientationObserver()
{
    if (Observers::gone)
        return;
    Observers& all = observers();
    std::lock_guard<std::mutex> g(all.lock);
    std::erase(all.list, this);
}

namespace OrientationObservers {

void notify()
{
    std::vector<OrientationObserver*> snapshot;
    {
        Observers& all = observers();
        std::lock_guard<std::mutex> g(all.lock);
        snapshot = all.list;
    }
    // An observer may destroy others while it is told.
    for (OrientationObserver* o : snapshot)
        if (listed(o))
            o->orientation_changed();
}

std::size_t count()
{
    Observers& all = observers();
    std::lock_guard<std::mutex> g(all.lock);
    return all.list.size();
}

}
