#pragma once
// Internal state of the window manager, shared by the win_*.cpp files. One lock guards the
// window tree, the classes and the screen; each thread's queue has its own lock. Window
// procedures are always called with no lock held.
#include <winuser.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace wm {

struct WindowClass {
    WNDCLASS wc {};
    std::u16string name;
    std::u16string menuName;
    int windowCount = 0;
};

struct ThreadQueue;

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    Window* parent = nullptr;
    std::vector<Window*> children; // front to back
    RECT rect {}; // in the parent's client coordinates, or on the screen when top-level
    std::u16string title;
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    std::vector<uint8_t> extra;
    std::shared_ptr<ThreadQueue> thread;
    bool destroying = false;

    // Pending paint: the bounding box of every invalidation since the last validation.
    bool hasUpdate = false;
    bool updateErase = false;
    RECT update {};
    bool inPaint = false;

    // Backing store: what the window last drew; the screen is composed from these.
    std::vector<uint16_t> pixels;
    int pixelWidth = 0;
    int pixelHeight = 0;
    int openDCs = 0;
    std::vector<std::vector<uint16_t>> retired; // replaced stores still drawn on by open DCs

    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }
};

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct TimerEntry {
    HWND window;
    UINT_PTR id;
    UINT period;
    DWORD due;
    TIMERPROC proc;
    uint64_t order;
};

struct ThreadQueue {
    DWORD id = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<TimerEntry> timers;
    uint64_t timerOrder = 0;
    UINT_PTR nextThreadTimerId = 1;
    int handlingSent = 0;
    MSG last {};
};

// The global lock of the window tree.
std::recursive_mutex& lock();
using Guard = std::lock_guard<std::recursive_mutex>;

// Window lookup under the lock; null for a handle that is not (or no longer) a window.
Window* find(HWND handle);
std::shared_ptr<ThreadQueue> currentThread();
std::shared_ptr<ThreadQueue> threadById(DWORD id);

// Top-level windows, front to back (topmost band first).
std::vector<Window*>& topLevel();
// Their handles, taken under the lock, for calls that reach each of them without it.
std::vector<HWND> topLevelHandles();
// The sibling list a window lives in.
std::vector<Window*>& siblings(Window* w);
// Puts w in its sibling list: at the front of its band (front = true) or at the back.
void placeInZOrder(Window* w, bool front);
void removeFromZOrder(Window* w);

// Visible on screen: itself and every ancestor visible.
bool reallyVisible(const Window* w);
// Screen position of the window's client origin.
POINT screenOrigin(const Window* w);
// Deepest visible window at a screen point (null: the desktop).
Window* windowAt(POINT screen);

// Invalidation, under the lock. rect is in client coordinates (null: all).
void invalidate(Window* w, const RECT* rect, bool erase);
void validate(Window* w, const RECT* rect);
// Resizes the backing store, keeping what fits.
void resizeBacking(Window* w);
void ensureBacking(Window* w);

// Marks the screen as changed; wakes the display thread.
void screenChanged();
// Wakes a thread that waits for messages.
void wakeThread(ThreadQueue& q);

// Messages and timers that belong to a window leave with it.
void forgetWindowMessages(HWND window, ThreadQueue& q);

// Capture, focus and activation bookkeeping when a window leaves.
void inputWindowGone(HWND window);

// Activation on show; focus moves to the activated window.
void activateOnShow(HWND window);

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A key-down whose characters travel with it (an input method's SendCharEvents) carries this
// lParam bit; TranslateMessage makes no character of it.
constexpr LPARAM kCharsSupplied = LPARAM(1) << 25;
// Unregisters the window classes a library registered, when it unloads.
void forgetClassesOf(HINSTANCE module);
// A hardware key transition to the focus window (else the active one), with extra lParam bits.
void keyTransition(int virtualKey, bool down, LPARAM extra);

// Copies text into a caller's buffer of maxCount characters, cut and zero-terminated; returns
// the characters copied.
int copyText(std::u16string_view text, LPWSTR buffer, int maxCount);

}
