// Message queues, one per thread: posted and sent messages, the quit flag, paint and timer
// messages, and the host's pumping in virtual time.
#include "linux/processes/shared_clock.h"
#include "win_internal.h"
#include "win_remote.h"
#include "win_screen.h"
#include "win_shared.h"

#include <simhost.h>
#include <winbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/eventfd.h>
#include <unistd.h>

namespace wm {

namespace {

std::mutex& threadsLock()
{
    static std::mutex m;
    return m;
}

std::map<DWORD, std::weak_ptr<ThreadQueue>>& threads()
{
    static std::map<DWORD, std::weak_ptr<ThreadQueue>> table;
    return table;
}

struct ThreadHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~ThreadHolder()
    {
        if (!queue)
            return;
        std::lock_guard<std::mutex> g(threadsLock());
        threads().erase(queue->id);
    }
};

bool inRange(UINT message, UINT filterMin, UINT filterMax)
{
    if (filterMin == 0 && filterMax == 0)
        return true;
    return message >= filterMin && message <= filterMax;
}

bool isDescendant(Window* w, HWND ancestor)
{
    for (; w; w = w->parent)
        if (w->handle == ancestor)
            return true;
    return false;
}

// Wine's rule: a window filter takes the window and its children; (HWND)-1 takes the
// thread's own messages.
bool matchesWindow(HWND filter, HWND window)
{
    if (!filter)
        return true;
    if (filter == reinterpret_cast<HWND>(-1))
        return window == nullptr;
    if (window == filter)
        return true;
    Guard g(lock());
    return isDescendant(find(window), filter);
}

Window* findPaintable(std::vector<Window*>& list, ThreadQueue* q, HWND filter)
{
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        Window* w = *it;
        if (!(w->style & WS_VISIBLE))
            continue;
        if (w->hasUpdate && w->thread.get() == q && !w->inPaint
            && (!filter || w->handle == filter || isDescendant(w, filter)))
            return w;
        if (Window* c = findPaintable(w->children, q, filter))
            return c;
    }
    return nullptr;
}

void processSent(ThreadQueue& q)
{
    for (;;) {
        std::shared_ptr<SentMessage> sm;
        {
            std::lock_guard<std::mutex> g(q.mutex);
            if (q.sent.empty())
                return;
            sm = q.sent.front();
            q.sent.pop_front();
            q.handlingSent++;
        }
        LRESULT r = callProc(sm->window, sm->message, sm->wParam, sm->lParam);
        {
            std::lock_guard<std::mutex> g(q.mutex);
            q.handlingSent--;
        }
        {
            std::lock_guard<std::mutex> g(sm->sender->mutex);
            sm->result = r;
            sm->done = true;
        }
        sm->sender->wake.notify_all();
    }
}

// Taking a key message of the device's input from the queue moves the thread's key state.
void takeKeyState(ThreadQueue& q, const Posted& p)
{
    if (!p.input || p.wParam == 0 || p.wParam > 255)
        return;
    bool down = p.message == WM_KEYDOWN || p.message == WM_SYSKEYDOWN;
    if (!down && p.message != WM_KEYUP && p.message != WM_SYSKEYUP)
        return;
    bool& key = q.keys[static_cast<size_t>(p.wParam)];
    if (down && !key && p.wParam == VK_CAPITAL)
        q.capsLock = !q.capsLock;
    key = down;
}

bool isInternal(const MSG& m)
{
    return !m.hwnd && m.message >= kInternalStylus && m.message <= kInternalSipDown;
}

void runInternal(const MSG& m)
{
    switch (m.message) {
    case kInternalStylus:
        localStylus(static_cast<UINT>(m.wParam), GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam));
        break;
    case kInternalKey:
        if (m.wParam == WM_CHAR)
            localChar(static_cast<WCHAR>(m.lParam));
        else
            localKey(static_cast<UINT>(m.wParam), static_cast<int>(m.lParam & 0xFF), m.lParam & ~LPARAM(0xFF));
        break;
    case kInternalDeactivate:
        deactivatedBy(reinterpret_cast<HWND>(m.wParam), reinterpret_cast<HWND>(m.lParam));
        break;
    case kInternalForeground:
        SetForegroundWindow(reinterpret_cast<HWND>(m.wParam));
        break;
    case kInternalCaptureLost:
        captureTakenBy(reinterpret_cast<HWND>(m.wParam), reinterpret_cast<HWND>(m.lParam));
        break;
    case kInternalSipDown:
        sipDownSettled(m.wParam);
        break;
    }
}

// Carries out the requests of other processes that wait in the queue.
void runInternalRequests(ThreadQueue& q)
{
    for (;;) {
        MSG m {};
        {
            std::lock_guard<std::mutex> g(q.mutex);
            auto it = std::find_if(q.posted.begin(), q.posted.end(), isInternal);
            if (it == q.posted.end())
                return;
            m = *it;
            q.posted.erase(it);
        }
        runInternal(m);
    }
}

bool hasInternalRequests(ThreadQueue& q)
{
    std::lock_guard<std::mutex> g(q.mutex);
    return std::any_of(q.posted.begin(), q.posted.end(), isInternal);
}

// Nothing left to do: this process's pictures go out to the device, and whoever waits for the
// thread to be idle hears of it.
void becameIdle(ThreadQueue& q)
{
    {
        Guard tree(lock());
        shared::publish();
    }
    std::lock_guard<std::mutex> g(q.mutex);
    if (!q.posted.empty() || !q.sent.empty() || q.leaving)
        return;
    q.idleEpoch++;
    if (q.idleWaiters > 0)
        q.wake.notify_all();
}

bool retrieveOnce(ThreadQueue& q, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove);

// One message by the platform's order of retrieval; false when there is none.
bool retrieve(ThreadQueue& q, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove)
{
    runInternalRequests(q);
    if (retrieveOnce(q, out, filter, filterMin, filterMax, remove))
        return true;
    // A request that came in meanwhile (another program's tap while a sent message was being
    // handled) is carried out before the thread says it has nothing to do.
    if (hasInternalRequests(q)) {
        runInternalRequests(q);
        if (retrieveOnce(q, out, filter, filterMin, filterMax, remove))
            return true;
    }
    becameIdle(q);
    return false;
}

bool retrieveOnce(ThreadQueue& q, MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove)
{
    processSent(q);
    DWORD now = GetTickCount();
    MSG m {};
    m.time = now;
    m.pt = SimLastStylusPoint();
    {
        // Lock order everywhere: the window tree, then a queue.
        Guard tree(lock());
        std::lock_guard<std::mutex> g(q.mutex);
        // Requests of other programs are never handed to the program: one posted since the
        // thread last carried them out waits for the next retrieval.
        auto it = std::find_if(q.posted.begin(), q.posted.end(), [&](const MSG& p) {
            return !isInternal(p) && inRange(p.message, filterMin, filterMax) && matchesWindow(filter, p.hwnd);
        });
        if (it != q.posted.end()) {
            *out = *it;
            if (remove) {
                takeKeyState(q, *it);
                q.posted.erase(it);
            }
            return true;
        }
        // The quit message: after posted messages, unless a filter leaves it out.
        if (q.quit && inRange(WM_QUIT, filterMin, filterMax)) {
            m.message = WM_QUIT;
            m.wParam = static_cast<WPARAM>(q.quitCode);
            if (remove) {
                q.quit = false;
                q.leaving = true;
            }
            *out = m;
            return true;
        }
    }
    if (inRange(WM_PAINT, filterMin, filterMax)) {
        Guard g(lock());
        if (Window* w = findPaintable(topLevel(), &q, filter == reinterpret_cast<HWND>(-1) ? nullptr : filter)) {
            if (filter != reinterpret_cast<HWND>(-1)) {
                m.hwnd = w->handle;
                m.message = WM_PAINT;
                *out = m;
                return true;
            }
        }
    }
    if (inRange(WM_TIMER, filterMin, filterMax)) {
        Guard tree(lock());
        std::lock_guard<std::mutex> g(q.mutex);
        TimerEntry* best = nullptr;
        for (auto& t : q.timers) {
            int32_t left = static_cast<int32_t>(t.due - now);
            if (left > 0 || !matchesWindow(filter, t.window))
                continue;
            if (best) {
                int32_t bestLeft = static_cast<int32_t>(best->due - now);
                if (left > bestLeft || (left == bestLeft && t.order > best->order))
                    continue;
            }
            best = &t;
        }
        if (best) {
            m.hwnd = best->window;
            m.message = WM_TIMER;
            m.wParam = best->id;
            m.lParam = reinterpret_cast<LPARAM>(best->proc);
            if (remove)
                best->due = now + best->period;
            *out = m;
            return true;
        }
    }
    return false;
}

// How long a blocked thread may sleep before a timer of its own falls due.
std::chrono::milliseconds waitLimit(ThreadQueue& q)
{
    if (SimClockIsVirtual())
        return std::chrono::milliseconds(2); // time moves by other hands: look again soon
    DWORD now = GetTickCount();
    int32_t limit = 500;
    for (auto& t : q.timers)
        limit = std::min(limit, std::max<int32_t>(0, static_cast<int32_t>(t.due - now)));
    return std::chrono::milliseconds(limit);
}

// Sleeps until something is posted or sent to the thread, or it is told to quit, or a timer
// of its own may fall due; never longer than most.
// seen: what was posted when the caller last looked, for a caller whose filter leaves some
// messages in the queue; it sleeps until something new comes instead of spinning over them.
void waitForMessages(ThreadQueue& q, std::chrono::milliseconds most = std::chrono::milliseconds::max(), const uint64_t* seen = nullptr)
{
    std::unique_lock<std::mutex> g(q.mutex);
    const bool nothingNew = seen ? q.postSerial == *seen : q.posted.empty() && !q.quit;
    if (nothingNew && q.sent.empty()) {
        // Waiting for messages again after a quit (a loop that goes on): idle again.
        if (q.leaving) {
            q.leaving = false;
            q.idleEpoch++;
            q.wake.notify_all();
        }
        // Under a host's shared clock, the host's time stops at this thread's next timer.
        bool timed = false;
        DWORD due = 0;
        for (auto& t : q.timers)
            if (!timed || static_cast<int32_t>(t.due - due) < 0) {
                due = t.due;
                timed = true;
            }
        if (timed)
            sim::sharedclock::markWaitingUntil(due);
        else
            sim::sharedclock::markIdle(true);
        q.wake.wait_for(g, std::min(waitLimit(q), most));
        sim::sharedclock::markIdle(false);
    }
}

// The queue of the thread that owns window; null for a handle that is not a window here.
std::shared_ptr<ThreadQueue> queueOf(HWND window)
{
    Guard g(lock());
    Window* w = find(window);
    return w ? w->thread : nullptr;
}

bool postTo(ThreadQueue& q, const MSG& m, bool input = false)
{
    {
        std::lock_guard<std::mutex> g(q.mutex);
        if (q.posted.size() >= 10000)
            return false; // the device's queue limit: a flood must not grow without end
        q.posted.push_back(Posted { m, input });
        ++q.postSerial;
    }
    // Busy from now on for a host that shares its clock, before the thread even wakes: the host
    // must not let time run on past input it has just handed over.
    sim::sharedclock::markIdle(false);
    signalQueue(q);
    return true;
}

}

std::shared_ptr<ThreadQueue> currentThread()
{
    thread_local ThreadHolder holder;
    if (!holder.queue) {
        holder.queue = std::make_shared<ThreadQueue>();
        holder.queue->id = static_cast<DWORD>(gettid());
        std::lock_guard<std::mutex> g(threadsLock());
        threads()[holder.queue->id] = holder.queue;
    }
    return holder.queue;
}

std::shared_ptr<ThreadQueue> threadById(DWORD id)
{
    std::lock_guard<std::mutex> g(threadsLock());
    auto it = threads().find(id);
    return it == threads().end() ? nullptr : it->second.lock();
}

ThreadQueue::~ThreadQueue()
{
    if (eventFd >= 0)
        close(eventFd);
}

void signalQueue(ThreadQueue& q)
{
    q.wake.notify_all();
    if (q.eventFd >= 0) {
        const uint64_t one = 1;
        ssize_t ignored = write(q.eventFd, &one, sizeof one); // full only when nobody reads: it stays readable
        (void)ignored;
    }
}

void wakeThread(ThreadQueue& q)
{
    signalQueue(q);
}

void forgetWindowMessages(HWND window, ThreadQueue& q)
{
    std::lock_guard<std::mutex> g(q.mutex);
    std::erase_if(q.posted, [&](const MSG& m) { return m.hwnd == window; });
    std::erase_if(q.timers, [&](const TimerEntry& t) { return t.window == window; });
}

void answerSentMessages()
{
    processSent(*currentThread());
}

bool postInternal(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadQueue> q = queueOf(window);
    if (!q)
        return false;
    MSG m {};
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return postTo(*q, m);
}

namespace {

// A thread asleep in its host's time counts as idle for those waiting on it, unless input
// waits in its queue: then it wakes to handle it, as it would have on the device meanwhile.
bool idleWhileAsleep()
{
    auto q = currentThread();
    {
        std::lock_guard<std::mutex> g(q->mutex);
        if (q->idleWaiters == 0 || q->leaving)
            return false;
        if (!q->posted.empty() || !q->sent.empty())
            return true;
        q->idleEpoch++;
    }
    q->wake.notify_all();
    return false;
}

struct RegisterSleepHook {
    RegisterSleepHook() { sim::sharedclock::setSleepHook(idleWhileAsleep); }
} g_registerSleepHook;

}

namespace {

bool waitQueueIdle(const std::shared_ptr<ThreadQueue>& q, std::chrono::steady_clock::time_point until)
{
    std::unique_lock<std::mutex> g(q->mutex);
    q->idleWaiters++;
    // Twice idle: once after what was queued before the question, once more after whatever
    // that led to (a frame drawn between polls, a paint).
    bool ok = true;
    for (int round = 0; round < 2 && ok; ++round) {
        uint64_t epoch = q->idleEpoch;
        signalQueue(*q);
        ok = q->wake.wait_until(g, until, [&] { return q->idleEpoch > epoch; });
    }
    q->idleWaiters--;
    return ok;
}

}

bool waitIdle(HWND window, int milliseconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (std::shared_ptr<ThreadQueue> q = queueOf(window))
        return waitQueueIdle(q, until);
    // The window is gone (or the asker names only this process): what the program got may still
    // be at work after its windows went, so every thread that made windows is waited for. One
    // that ended has nothing more to do.
    std::vector<std::shared_ptr<ThreadQueue>> loops;
    {
        std::lock_guard<std::mutex> g(threadsLock());
        for (auto& [id, weak] : threads())
            if (std::shared_ptr<ThreadQueue> q = weak.lock(); q && q->ownedWindows)
                loops.push_back(std::move(q));
    }
    bool ok = true;
    for (const std::shared_ptr<ThreadQueue>& q : loops)
        ok = waitQueueIdle(q, until) && ok;
    return ok;
}

bool postMessageTo(HWND window, const MSG& m)
{
    std::shared_ptr<ThreadQueue> q = queueOf(window);
    return q && postTo(*q, m);
}

bool postInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadQueue> q = queueOf(window);
    if (!q)
        return false;
    MSG m {};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = SimLastStylusPoint();
    return postTo(*q, m, true);
}

// Other programs hear a broadcast posted, without lParam (a pointer means nothing there).
void broadcastToOthers(UINT message, WPARAM wParam)
{
    remotePostAll(message, wParam, 0);
}

bool pumpMessages()
{
    MSG m;
    int handled = 0;
    // Drained before the queue is looked at: what arrives from now on signals it again.
    if (int fd = currentThread()->eventFd; fd >= 0) {
        uint64_t count = 0;
        ssize_t ignored = read(fd, &count, sizeof count);
        (void)ignored;
    }
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam)); // leave it for the host's own loop too
            return false;
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
        if (++handled >= 100000) {
            std::fprintf(stderr, "pocketsim: messages keep coming (a paint never validated?)\n");
            break;
        }
    }
    return true;
}

}

using namespace wm;

DWORD GetCurrentThreadId()
{
    return currentThread()->id;
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return wm::postMessageAt(window, message, wParam, lParam, GetTickCount());
}

namespace wm {

BOOL postMessageAt(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD time)
{
    MSG m {};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = time;
    m.pt = SimLastStylusPoint();
    if (!window)
        return postTo(*currentThread(), m);
    if (window == HWND_BROADCAST) {
        for (HWND h : topLevelHandles()) {
            m.hwnd = h;
            postMessageTo(h, m);
        }
        broadcastToOthers(message, wParam);
        return TRUE;
    }
    if (!postMessageTo(window, m)) {
        if (isRemote(window) && remotePost(window, message, wParam, lParam))
            return TRUE;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}

BOOL PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto q = threadById(threadId);
    if (!q) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MSG m {};
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return postTo(*q, m);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window == HWND_BROADCAST) {
        for (HWND h : topLevelHandles())
            SendMessage(h, message, wParam, lParam);
        broadcastToOthers(message, wParam);
        return 0;
    }
    std::shared_ptr<ThreadQueue> target = queueOf(window);
    if (!target) {
        if (isRemote(window))
            return remoteSend(window, message, wParam, lParam);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto me = currentThread();
    if (target == me)
        return callProc(window, message, wParam, lParam);

    auto sm = std::make_shared<SentMessage>();
    sm->window = window;
    sm->message = message;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->sender = me;
    {
        std::lock_guard<std::mutex> g(target->mutex);
        target->sent.push_back(sm);
    }
    sim::sharedclock::markIdle(false); // as for posted messages
    signalQueue(*target);
    // While waiting, answer what others send to this thread, so that two threads sending to
    // each other do not block for ever.
    std::unique_lock<std::mutex> g(me->mutex);
    while (!sm->done) {
        if (!me->sent.empty()) {
            g.unlock();
            processSent(*me);
            g.lock();
            continue;
        }
        me->wake.wait_for(g, std::chrono::milliseconds(50));
        if (!sm->done && target.use_count() <= 2 && !threadById(target->id)) {
            g.unlock();
            // The receiving thread has ended: nobody will answer.
            std::lock_guard<std::mutex> tg(target->mutex);
            if (std::erase(target->sent, sm))
                return 0;
            g.lock();
        }
    }
    return sm->result;
}

BOOL InSendMessage()
{
    auto q = currentThread();
    std::lock_guard<std::mutex> g(q->mutex);
    return q->handlingSent > 0;
}

void PostQuitMessage(int exitCode)
{
    auto q = currentThread();
    {
        std::lock_guard<std::mutex> g(q->mutex);
        q->quit = true;
        q->quitCode = exitCode;
        ++q->postSerial;
    }
    signalQueue(*q);
}

BOOL PeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    auto q = currentThread();
    MSG m {};
    // A program that polls (a game loop) is at rest for its host whenever its queue is empty.
    bool found = retrieve(*q, &m, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
    sim::sharedclock::markIdle(!found);
    if (!found)
        return FALSE;
    if (msg)
        *msg = m;
    q->last = m;
    return TRUE;
}

BOOL GetMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax)
{
    auto q = currentThread();
    MSG m {};
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> g(q->mutex);
            seen = q->postSerial;
        }
        if (retrieve(*q, &m, window, filterMin, filterMax, true))
            break;
        presentIfChanged();
        waitForMessages(*q, std::chrono::milliseconds::max(), &seen);
    }
    if (msg)
        *msg = m;
    q->last = m;
    return m.message == WM_QUIT ? FALSE : TRUE;
}

BOOL WaitMessage()
{
    auto q = currentThread();
    MSG m;
    for (;;) {
        if (retrieve(*q, &m, nullptr, 0, 0, false))
            return TRUE;
        presentIfChanged();
        waitForMessages(*q);
    }
}

DWORD GetMessagePos()
{
    auto q = currentThread();
    return static_cast<DWORD>(MAKELONG(q->last.pt.x, q->last.pt.y));
}

LONG GetMessageTime()
{
    return static_cast<LONG>(currentThread()->last.time);
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) || (msg->lParam & kCharsSupplied))
        return FALSE;
    // Printable text reaches the device as characters of its own (the input panel, the host's
    // text input); keys translate only to the control characters they stand for.
    WCHAR ch = 0;
    switch (msg->wParam) {
    case VK_BACK:
        ch = 8;
        break;
    case VK_TAB:
        ch = 9;
        break;
    case VK_SPACE: // the space bar types its blank, as the device's keyboard driver does
        ch = ' ';
        break;
    case VK_RETURN:
        ch = 13;
        break;
    case VK_ESCAPE:
        ch = 27;
        break;
    default:
        if (msg->wParam >= 'A' && msg->wParam <= 'Z' && (GetKeyState(VK_CONTROL) & 0x8000))
            ch = static_cast<WCHAR>(msg->wParam - 'A' + 1);
    }
    if (!ch)
        return FALSE;
    PostMessage(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CallWindowProc(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(window, message, wParam, lParam) : 0;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    std::shared_ptr<ThreadQueue> q = window ? queueOf(window) : currentThread();
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    UINT period = elapse < 1 ? 1 : elapse;
    DWORD due = GetTickCount() + period;
    {
        std::lock_guard<std::mutex> g(q->mutex);
        if (!window) {
            // A thread timer: with the id of an existing one it is reset, else it gets a new id.
            auto it = std::find_if(q->timers.begin(), q->timers.end(),
                [&](const TimerEntry& t) { return !t.window && t.id == id; });
            if (id == 0 || it == q->timers.end()) {
                do
                    id = q->nextThreadTimerId++;
                while (std::any_of(q->timers.begin(), q->timers.end(),
                    [&](const TimerEntry& t) { return !t.window && t.id == id; }));
            }
        }
        std::erase_if(q->timers, [&](const TimerEntry& t) { return t.window == window && t.id == id; });
        q->timers.push_back(TimerEntry { window, id, period, due, proc, q->timerOrder++ });
    }
    signalQueue(*q);
    return window ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    std::shared_ptr<ThreadQueue> q = window ? queueOf(window) : currentThread();
    if (!q) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> g(q->mutex);
    size_t removed = std::erase_if(q->timers, [&](const TimerEntry& t) { return t.window == window && t.id == id; });
    // A timer message already taken out of the queue is not delivered again.
    return removed ? TRUE : FALSE;
}

bool SimPumpMessages()
{
    bool alive = wm::pumpMessages();
    presentIfChanged();
    return alive;
}

int SimThreadEventFd()
{
    auto q = currentThread();
    int fd;
    {
        std::lock_guard<std::mutex> g(q->mutex);
        if (q->eventFd < 0)
            q->eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        fd = q->eventFd;
    }
    // The thread that shows the screen also hears of other programs' new pictures.
    if (fd >= 0 && ScreenIsHere())
        watchOtherPictures(q);
    return fd;
}

DWORD SimNextTimerDue()
{
    auto q = currentThread();
    std::lock_guard<std::mutex> g(q->mutex);
    if (q->timers.empty())
        return INFINITE;
    const DWORD now = GetTickCount();
    int32_t soonest = INT32_MAX;
    for (auto& t : q->timers)
        soonest = std::min(soonest, std::max<int32_t>(0, static_cast<int32_t>(t.due - now)));
    return static_cast<DWORD>(soonest);
}

bool SimRunFor(DWORD milliseconds)
{
    auto q = currentThread();
    if (!SimClockIsVirtual()) {
        DWORD start = GetTickCount();
        for (;;) {
            if (!SimPumpMessages())
                return false;
            int32_t left = static_cast<int32_t>(milliseconds - (GetTickCount() - start));
            if (left <= 0)
                return true;
            SimPollDisplay();
            waitForMessages(*q, std::chrono::milliseconds(std::min(left, 10)));
        }
    }
    DWORD target = GetTickCount() + milliseconds;
    for (;;) {
        if (!SimPumpMessages())
            return false;
        DWORD now = GetTickCount();
        // Device programs busy at this moment finish their work before time moves on.
        sim::sharedclock::settle(now, [] { SimPumpMessages(); });
        int32_t left = static_cast<int32_t>(target - now);
        if (left <= 0)
            return true;
        // Step to the next timer of this thread that falls due, or to the next moment a device
        // program wakes, or to the end.
        int32_t step = left;
        {
            std::lock_guard<std::mutex> g(q->mutex);
            for (auto& t : q->timers)
                step = std::min(step, std::max<int32_t>(1, static_cast<int32_t>(t.due - now)));
        }
        DWORD wake = 0;
        if (sim::sharedclock::nextWake(now, now + static_cast<DWORD>(step), wake))
            step = static_cast<int32_t>(wake - now);
        SimSetTicks(now + static_cast<DWORD>(step));
    }
}
