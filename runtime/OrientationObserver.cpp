#include "runtime/OrientationObserver.h"

#include <algorithm>
#include <vector>

namespace {

// All on the thread that owns the windows, as every other user-interface object.
std::vector<OrientationObserver*>& observers()
{
    static std::vector<OrientationObserver*> list;
    return list;
}

}

OrientationObserver::OrientationObserver()
{
    observers().push_back(this);
}

OrientationObserver::OrientationObserver(const OrientationObserver&)
{
    observers().push_back(this);
}

OrientationObserver::~OrientationObserver()
{
    std::erase(observers(), this);
}

namespace OrientationObservers {

void notify()
{
    std::vector<OrientationObserver*> snapshot = observers();
    for (OrientationObserver* o : snapshot)
        if (std::find(observers().begin(), observers().end(), o) != observers().end())
            o->orientation_changed();
}

size_t count()
{
    return observers().size();
}

}
