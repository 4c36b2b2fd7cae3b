#pragma once
// The device's virtual clock shared with the programs that a host starts: a host running in
// virtual time publishes its tick count on a page that every device process maps, so that a
// program's Sleep and timers follow the script's time, and the host does not run past a moment
// at which one of them wakes until it has done its work (or waits for messages again).
#include <windef.h>

#include <functional>

namespace sim::sharedclock {

// Host: creates the page in the device's host folder and hands it to programs started from
// now on (through the environment). Its ticks follow every change of the virtual clock.
bool share(DWORD ticks);
void unshare();
bool hosting();
void publish(DWORD ticks);

// Program: true when this process follows a host's shared clock (a live host, not itself).
bool attached();
DWORD ticks();
// Blocks until the host's time reaches now + milliseconds; returns false when the host went
// away meanwhile (the caller then sleeps in real time).
bool sleep(DWORD milliseconds);
// A program's thread marks itself idle while it waits for messages, busy again after.
void markIdle(bool idle);

// Host: a program just started counts as busy from the start, before it has even run, so the
// host's time cannot run past its first Sleep.
void adopt(int pid);
// Host: the earliest wake-up of a sleeping program after now and at most until limit.
bool nextWake(DWORD now, DWORD limit, DWORD& wake);
// Host: waits (pumping its own messages with pump) until no program is busy at this moment:
// each sleeps past now, waits for messages, or has ended. Bounded in real time.
void settle(DWORD now, const std::function<void()>& pump);

}
