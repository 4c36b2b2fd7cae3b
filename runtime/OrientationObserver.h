#pragma once
// Objects that must know when the screen turns (fonts, text boxes) join one process-wide list
// while they live; the window layer tells them all when it sees the orientation change.
#include <cstddef>

class OrientationObserver {
public:
    virtual void orientation_changed() = 0;

protected:
    OrientationObserver();
    ~OrientationObserver();
    OrientationObserver(const OrientationObserver&);
    OrientationObserver& operator=(const OrientationObserver&) { return *this; }
};

namespace OrientationObservers {

// Calls every observer once, also when an observer joins or leaves the list meanwhile.
void notify();
std::size_t count();

}
