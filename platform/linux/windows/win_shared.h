#pragma once
// What the processes of one device share: one z-order, the foreground and capture windows, the
// device host's shell window, and the picture of every top-level window in shared memory.
#include "win_internal.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace wm::shared {

// Flags of a published window.
enum : uint32_t {
    kVisible = 1,
    kTopmost = 2,
    kActivatable = 4,
};

// Stamps for the z-order: a new front stamp is above every window of the device, a new back
// stamp below every one.
int64_t frontStamp();
int64_t backStamp();

HWND foreground();
void setForeground(HWND window);
HWND capture();
void setCapture(HWND window);
// Clears the capture when window holds it.
void releaseCapture(HWND window);
// The device host's window that hears shell notifications; null without a host.
HWND shellWindow();
void setShellWindow(HWND window);
// Counts the pictures published on the device; the screen is composed again when it moves.
uint64_t generation();

pid_t processOf(HWND window);
// A running process (not a zombie).
bool processAlive(pid_t pid);

// Owner side, under the window lock. markDirty notes that this process's windows changed;
// publish writes every top-level window's picture when they did.
void markDirty();
void publish();
void forget(HWND window);

struct RemotePicture {
    HWND handle;
    RECT rect;
    uint32_t flags;
    uint32_t shellState;
    int64_t z;
    int width;
    int height;
    const uint16_t* pixels; // valid until the next call of remotePictures
};
// The other processes' top-level windows, as they last published them; under the lock.
std::vector<RemotePicture> remotePictures();
// Removes what processes that ended left behind: their pictures, window lists and sockets.
// Returns the ended processes.
std::vector<pid_t> reapEnded();
// Names of the shared-memory pictures this device holds (tests look for leftovers).
std::vector<std::string> pictureNames();

}
