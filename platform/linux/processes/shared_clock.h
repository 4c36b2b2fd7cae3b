#pragma once
// The device's virtual clock shared with the programs that a host starts: a host running in
// virtual time publishes its tick count on a page that every device process maps, so that a
// program's Sleep and timers follow the script's time, and the host does not run past a moment
// at which one of them wakes until it has done its work (or waits for messages again).
#include <windef.h>

#include <functional>

namespace sim::sharedclock {

// Host: creates the page in the device's host folder; its ticks follow every change of the
// virtual clock. Programs started while startProgramsOnIt is on get it (through the environment).
bool share(DWORD ticks);
// Host: whether the programs started from now on follow the shared clock.
void startProgramsOnIt(bool on);
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
// Waiting for messages with a timer of its own due at a moment: the host stops there too.
void markWaitingUntil(DWORD due);
// Called again and again while a program's thread sleeps on the shared clock. A thread asleep
// in the host's time is at rest for anyone waiting for it to go idle; but when the host waits
// for it while input is queued for it, the host's time stands still, so the hook returns true
// and the thread wakes to handle that input.
void setSleepHook(bool (*hook)());

// Host: a program just started counts as busy from the start, before it has even run, so the
// host's time cannot run past its first Sleep.
void adopt(int pid);
// Host: the earliest wake-up of a sleeping program after now and at most until limit.
bool nextWake(DWORD now, DWORD limit, DWORD& wake);
// Host: true when the program with this pid sleeps on the shared clock or waits for messages.
bool atRest(int pid);
// Host: true when the program with this pid follows the shared clock.
bool follows(int pid);
// Host: waits (pumping its own messages with pump) until no program is busy at this moment:
// each sleeps past now, waits for messages, or has ended. Bounded in real time.
void settle(DWORD now, const std::function<void()>& pump);

}
