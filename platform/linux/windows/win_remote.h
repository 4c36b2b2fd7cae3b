#pragma once
// Windows of the other processes of the device: what EnumWindows and the window queries see of
// them, and messages to them.
#include <windef.h>
#include <winuser.h>

#include <sys/types.h>

#include <string>
#include <vector>

namespace wm {

struct RemoteWindow {
    HWND handle = nullptr;
    std::u16string className;
    std::u16string title;
};

// Rewrites this process's list of top-level windows; under the window lock.
void publishTopLevel();
// A handle that belongs to another process.
bool isRemote(HWND window);
// Top-level windows of the other live processes of the device.
std::vector<RemoteWindow> remoteWindows();
bool remoteWindow(HWND window, RemoteWindow& out);
LRESULT remoteSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool remotePost(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Posts to every top-level window of every other process of the device.
void remotePostAll(UINT message, WPARAM wParam, LPARAM lParam);
bool remoteForeground(HWND window);
// Input routed to the process of window: stylus messages with x, y in wParam, lParam; key
// messages with the virtual key; WM_CHAR with the character.
bool remoteInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Tells the process of old that next took the foreground (without waiting for it).
void remoteDeactivate(HWND old, HWND next);
// Tells the process of old that next took the stylus capture (without waiting for it).
void remoteCaptureLost(HWND old, HWND next);
// Waits until the process of window handled its input and drew it. After its windows are gone,
// until its threads that made windows are at rest or the process ended.
bool remoteSync(HWND window, int milliseconds);
// Waits for the process pid as remoteSync does for a window of it that is gone.
bool remoteSyncProcess(pid_t pid, int milliseconds);
// The processes given something since they were last waited for.
std::vector<pid_t> givenProcesses();
// Whether a host must wait for the process pid to be at rest: it was given something (input,
// a posted or sent message, the foreground) since it was last waited for, or never was. Takes
// the mark; syncMarkBack puts it back when the wait did not succeed. forgetSyncMarks keeps
// the marks of the processes listed only.
bool takeSyncMark(pid_t pid);
void syncMarkBack(pid_t pid);
void forgetSyncMarks(const std::vector<pid_t>& running);

}
