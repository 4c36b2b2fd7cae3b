#pragma once
// A pointer the test drives (XTest, a virtual pointer) tapping and flicking the keys of a desktop
// keyboard as a finger does.
#include "tests/support/ChildProcess.h"
#include "tests/support/KeyMap.h"

#include <cstddef>
#include <functional>
#include <string>

struct Stylus {
    std::function<void(int x, int y)> move;
    std::function<void(bool down)> button;

    // Taps a key; returns the moment (nowMicroseconds) the stylus went up.
    long long tap(const Key& k) const;
    // A quick flick from a key's centre.
    void stroke(const Key& k, int dx, int dy) const;
    // Taps the key showing label and waits (15 s) for what it types to arrive in the recording
    // program: received counts what arrived over its lines.
    long long type(const Key& k, const std::string& label, ChildProcess& recorder,
        const std::function<size_t(const ChildProcess::Lines&)>& received) const;
};
