#pragma once
// Internal state of the window manager, shared by the win_*.cpp files. One lock guards the
// window tree, the classes and the screen; each thread's queue has its own lock. Window
// procedures are always called with no lock held.
#include <winuser.h>
#include <simhost.h>

#include <array>
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
    HWND owner = nullptr; // a top-level window that stays in front of its owner and ends with it
    int64_t z = 0; // place in the device's one z-order (top-level windows; larger is nearer the front)
    uint32_t shellState = 0; // SHFullScreen's SHFS_* requests for this window

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

// A posted message; input marks the device's own key transitions, which move the key state of
// the thread that takes them from its queue.
struct Posted : MSG {
    bool input = false;
};

struct ThreadQueue {
    DWORD id = 0;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Posted> posted;
    // Counts what was posted (the quit included): a filtered wait sleeps until it moves.
    uint64_t postSerial = 0;
    // The keys as of the last key message the thread took from its queue (GetKeyState).
    std::array<bool, 256> keys {};
    bool capsLock = false;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<TimerEntry> timers;
    uint64_t timerOrder = 0;
    UINT_PTR nextThreadTimerId = 1;
    int handlingSent = 0;
    MSG last {};
    // Counts the times the thread found nothing to do; another process waits on it to see
    // that its input was handled and drawn.
    uint64_t idleEpoch = 0;
    int idleWaiters = 0;
    // The thread took its quit message and has not waited for messages since: it is on its
    // way out (its windows still on the screen), not idle.
    bool leaving = false;
    // The thread made a window: it runs a loop that can be waited on after its windows are gone.
    bool ownedWindows = false;
    // A host that waits in a poll loop of its own hears of new work here (SimThreadEventFd).
    int eventFd = -1;
    ~ThreadQueue();
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
// While set (by a display whose windows are separate on the host's screen), the stylus goes to
// this top-level window of the device, wherever other windows lie on the device's screen.
HWND& stylusLayer();

// Invalidation, under the lock. rect is in client coordinates (null: all).
void invalidate(Window* w, const RECT* rect, bool erase);
void validate(Window* w, const RECT* rect);
// Resizes the backing store, keeping what fits.
void resizeBacking(Window* w);
void ensureBacking(Window* w);

// Marks the screen as changed; wakes the display thread.
void screenChanged();
// Wakes a thread that waits for messages, or for its event descriptor.
void signalQueue(ThreadQueue& q);
// Wakes a thread that waits for messages.
void wakeThread(ThreadQueue& q);

// Messages and timers that belong to a window leave with it.
void forgetWindowMessages(HWND window, ThreadQueue& q);

// Capture, focus and activation bookkeeping when a window leaves.
void inputWindowGone(HWND window);

// Activation on show; focus moves to the activated window.
void activateOnShow(HWND window);

LRESULT callProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws w and its children, as the screen shows them, into out (outWidth pixels a row) with
// w's parent's client origin at origin, never outside clip.
void composeTree(uint16_t* out, int outWidth, const Window* w, POINT origin, RECT clip);

// One entry of the device's z-order: a window of this process or of another one.
struct ScreenLayer {
    Window* local = nullptr;
    HWND handle = nullptr;
    RECT rect {};
    uint32_t flags = 0; // wm::shared flags
    int64_t z = 0;
    int width = 0; // remote pictures
    int height = 0;
    const uint16_t* pixels = nullptr;
};
// Every top-level window of the device, front to back; under the lock. Remote pictures stay
// valid until the next call.
std::vector<ScreenLayer> screenLayers();
// The front-most visible top-level window of the device at a screen point.
bool layerAt(POINT p, ScreenLayer& out);

// Input that another process routed here: delivered to this process's own windows. time: the
// message's time, 0 for now.
void localStylus(UINT message, int x, int y, DWORD time = 0);
// The stylus going down, moving or up at a screen point, at a time (0: now), as the display
// reports it.
void stylusEvent(UINT message, int x, int y, DWORD time);
// PostMessage with the message's time given.
BOOL postMessageAt(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD time);
void localKey(UINT message, int virtualKey, LPARAM extra);
void localChar(WCHAR ch);
// Another process's window became the foreground window.
void deactivatedBy(HWND old, HWND next);
// A window of another process took the stylus capture from old.
void captureTakenBy(HWND old, HWND next);
// Thread messages that carry another process's requests to the thread that owns a window;
// the message retrieval carries them out on that thread and never returns them.
constexpr UINT kInternalStylus = 0xBF01; // wParam: the stylus message; lParam: screen x, y
constexpr UINT kInternalKey = 0xBF02; // wParam: WM_KEYDOWN, WM_KEYUP or WM_CHAR; lParam: the character, or the key with extra lParam bits above its low byte
constexpr UINT kInternalDeactivate = 0xBF03; // wParam: the window that lost; lParam: the one that won
constexpr UINT kInternalForeground = 0xBF04; // wParam: the window to bring to the foreground
constexpr UINT kInternalCaptureLost = 0xBF05; // wParam: the window that lost the capture; lParam: the one that took it
constexpr UINT kInternalSipDown = 0xBF06; // wParam: the count of panel-up requests when SIP_DOWN was asked
// Queues one for the thread of window; false when window is not one of ours.
bool postInternal(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Handles what other threads sent to the calling thread (while it waits for something).
void answerSentMessages();
// Waits until the thread that owns window has handled what it was sent and drawn it.
bool waitIdle(HWND window, int milliseconds);
// The shell's part in key delivery (soft keys of a menu bar); true when it took the key.
bool shellTakesKey(HWND target, UINT message, int virtualKey);
// The shell's menu bar height for this screen and device kind.
int menuBarHeight();
// The platform's own window classes ("Edit", "Dialog", the menu bar's), registered the first
// time a program names one.
bool registerBuiltinClass(std::u16string_view name);
bool registerMenuBarClass();
bool registerEditClass();
bool registerDialogClass();
// An edit control gained or lost the focus: its parent's "SIPPREF" controls look again.
void editFocusChanged(HWND edit);
// A SIP_DOWN once the focus settled: the panel goes down unless a window asked for it up since.
void sipDownSettled(WPARAM upRequestsThen);
// Raw key input (GXOpenInput) is open in this process: keys bypass the shell.
bool rawKeyInputOpen();
// Tells the shell's window (the device host) that something it shows changed.
void notifyShell(WPARAM what, LPARAM detail);
// A key-down whose characters travel with it (an input method's SendCharEvents) carries this
// lParam bit; TranslateMessage makes no character of it.
constexpr LPARAM kCharsSupplied = LPARAM(1) << 25;
// Unregisters the window classes a library registered, when it unloads.
void forgetClassesOf(HINSTANCE module);
// A hardware key transition to the focus window (else the active one), with extra lParam bits.
void keyTransition(int virtualKey, bool down, LPARAM extra);
// Posts a key message of the device's input: the key state moves when the window's thread
// takes it. False when window is not one of ours.
bool postInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Copies text into a caller's buffer of maxCount characters, cut and zero-terminated; returns
// the characters copied.
int copyText(std::u16string_view text, LPWSTR buffer, int maxCount);

}
