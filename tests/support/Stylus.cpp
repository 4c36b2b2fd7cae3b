#include "tests/support/Stylus.h"

#include "tests/support/RecorderLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

long long Stylus::tap(const Key& k) const
{
    move(k.cx(), k.cy());
    button(true);
    std::this_thread::sleep_for(30ms);
    const long long up = nowMicroseconds();
    button(false);
    return up;
}

void Stylus::stroke(const Key& k, int dx, int dy) const
{
    move(k.cx(), k.cy());
    button(true);
    // Few, short pauses: on a loaded machine each one may last many times its length, and a
    // flick that slow is no longer a stroke.
    for (int step = 1; step <= 3; ++step) {
        std::this_thread::sleep_for(5ms);
        move(k.cx() + dx * step / 3, k.cy() + dy * step / 3);
    }
    button(false);
}

long long Stylus::type(const Key& k, const std::string& label, ChildProcess& recorder,
    const std::function<size_t(const ChildProcess::Lines&)>& received) const
{
    const size_t before = received(recorder.lines());
    const long long up = tap(k);
    EXPECT_TRUE(recorder.waitFor([&](const auto& lines) { return received(lines) >= before + 1; }, 15s))
        << "tapping \"" << label << "\" typed nothing\n" << recorder.output();
    return up;
}
