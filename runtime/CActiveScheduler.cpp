#include "runtime/CActiveScheduler.h"
#include "runtime/Application.h"
#include "runtime/Log.h"
#include "runtime/Text.h"
#include "runtime/Timer.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

constexpr UINT_PTR kCheckTimer = 1;
constexpr size_t kListLimit = 0x3FFFFFFF;

std::u16string number(long long n)
{
    return Utf16FromUtf8(std::to_string(n));
}

template <typename T>
void append(std::list<T*>& list, T* item)
{
    if (list.size() >= kListLimit)
        throw std::length_error("list<T> too long");
    list.push_back(item);
}

LRESULT CALLBACK schedulerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}

struct CActiveScheduler::Impl {
    CActiveScheduler& owner;
    CRITICAL_SECTION lock;
    std::atomic<int32_t> activeCounter { 0 };
    std::list<CActive*> ready;
    std::list<TimerActive*> timers;
    HWND window = nullptr;
    std::u16string className;
    HINSTANCE module = nullptr;

    explicit Impl(CActiveScheduler& o)
        : owner(o)
    {
        InitializeCriticalSection(&lock);
    }
    ~Impl() { DeleteCriticalSection(&lock); }
};

namespace {

LRESULT CALLBACK schedulerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* scheduler = reinterpret_cast<CActiveScheduler*>(GetWindowLongPtr(window, GWL_USERDATA));
    if (scheduler) {
        if (message == CActiveScheduler::kReadyMessage)
            scheduler->process_actives();
        else if (message == WM_TIMER)
            scheduler->timer_check();
    }
    return DefWindowProc(window, message, wParam, lParam);
}

}

CActiveScheduler::CActiveScheduler(HINSTANCE module, std::u16string_view windowClassName)
    : m_impl(std::make_unique<Impl>(*this))
{
    m_impl->className = u"CActive" + std::u16string(windowClassName);
    m_impl->module = module;
    WNDCLASS wc {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; // 11
    wc.lpfnWndProc = schedulerWindowProc;
    wc.hInstance = module;
    wc.lpszClassName = m_impl->className.c_str();
    RegisterClass(&wc);
    m_impl->window = CreateWindowEx(0, m_impl->className.c_str(), m_impl->className.c_str(), WS_POPUP,
        CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
    if (!m_impl->window) {
        Log().append(u"CActiveScheduler: cannot create its window\n");
        return;
    }
    SetWindowLongPtr(m_impl->window, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CActiveScheduler::~CActiveScheduler()
{
    int32_t live = m_impl->activeCounter.load();
    if (live != 0)
        Fatal(u"Some active objects still live while scheduler is terminating active_counter=" + number(live), u"");
    if (m_impl->window) {
        SetWindowLongPtr(m_impl->window, GWL_USERDATA, 0);
        DestroyWindow(m_impl->window);
    }
    // The class goes too: its procedure may live in a library that is unloaded after this.
    UnregisterClass(m_impl->className.c_str(), m_impl->module);
}

CActiveScheduler& CActiveScheduler::current()
{
    Application* core = Application::instance();
    if (!core)
        Fatal(u"Application is not instantiated", u"CActiveScheduler::current()");
    return core->scheduler();
}

HWND CActiveScheduler::window() const
{
    return m_impl->window;
}

void CActiveScheduler::set_active(CActive& object)
{
    if (object.m_active)
        Fatal(u"Object " + number(object.id()) + u" is already active", u"CActiveScheduler::set_active()");
    object.m_active = true;
    m_impl->activeCounter.fetch_add(1);
}

void CActiveScheduler::notify(CActive& object)
{
    if (!object.m_active)
        Fatal(u"Active object " + number(object.id()) + u" is not active", u"CActiveScheduler::notify()");
    EnterCriticalSection(&m_impl->lock);
    if (object.m_ready) {
        // Notified twice for one request: a second entry would outlive the object.
        LeaveCriticalSection(&m_impl->lock);
        Fatal(u"Active object " + number(object.id()) + u" is already notified", u"CActiveScheduler::notify()");
    }
    object.m_ready = true;
    append(m_impl->ready, &object);
    PostMessage(m_impl->window, kReadyMessage, 0, 0);
    LeaveCriticalSection(&m_impl->lock);
}

void CActiveScheduler::process_actives()
{
    for (;;) {
        EnterCriticalSection(&m_impl->lock);
        if (m_impl->ready.empty()) {
            LeaveCriticalSection(&m_impl->lock);
            return;
        }
        CActive* object = m_impl->ready.front();
        m_impl->ready.pop_front();
        object->m_ready = false;
        LeaveCriticalSection(&m_impl->lock);
        if (!object->m_active)
            Fatal(u"Active object " + number(object->id()) + u" is not marked active",
                u"CActiveScheduler::process_actives()");
        object->m_active = false;
        m_impl->activeCounter.fetch_sub(1);
        object->run();
    }
}

void CActiveScheduler::cancel(CActive& object)
{
    if (!object.m_active)
        return; // nothing outstanding: waiting for its completion would never end
    object.do_cancel();
    int consumed = 0;
    for (;;) {
        EnterCriticalSection(&m_impl->lock);
        auto it = std::find(m_impl->ready.begin(), m_impl->ready.end(), &object);
        if (it != m_impl->ready.end()) {
            m_impl->ready.erase(it);
            object.m_ready = false;
            object.m_active = false;
            m_impl->activeCounter.fetch_sub(1);
            LeaveCriticalSection(&m_impl->lock);
            break;
        }
        LeaveCriticalSection(&m_impl->lock);
        // Only the private message of the hidden window: whatever else is queued stays.
        MSG msg;
        if (GetMessage(&msg, m_impl->window, kReadyMessage, kReadyMessage) <= 0)
            break;
        ++consumed;
    }
    if (consumed)
        PostMessage(m_impl->window, kReadyMessage, 0, 0);
}

void CActiveScheduler::cancel_if_active(CActive& object)
{
    if (object.is_active())
        cancel(object);
}

void CActiveScheduler::add_timer(TimerActive& timer)
{
    append(m_impl->timers, &timer);
}

void CActiveScheduler::timer_check()
{
    KillTimer(m_impl->window, kCheckTimer);
    DWORD now = GetTickCount();
    // Whether a timer is left is its own flag: a sentinel wait would swallow any timer
    // that is due later than the sentinel (Timer::start allows about 12 days).
    std::optional<int32_t> wait;
    for (auto it = m_impl->timers.begin(); it != m_impl->timers.end();) {
        int32_t remaining = static_cast<int32_t>((*it)->due - now);
        if (remaining < 1) {
            TimerActive* due = *it;
            it = m_impl->timers.erase(it);
            notify(*due);
        } else {
            wait = wait ? std::min(*wait, remaining) : remaining;
            ++it;
        }
    }
    if (wait)
        SetTimer(m_impl->window, kCheckTimer, static_cast<UINT>(*wait), nullptr);
}
