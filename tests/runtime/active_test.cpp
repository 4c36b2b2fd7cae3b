#include "runtime/Application.h"
#include "runtime/CActiveScheduler.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/Timer.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

namespace {

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

std::string utf16Bytes(std::u16string_view text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

struct Expiries : TimerObserver {
    std::vector<std::pair<Timer*, DWORD>> seen;
    void timer_expired(Timer& timer) override { seen.push_back({ &timer, GetTickCount() }); }
};

struct Probe : CActive {
    std::vector<int>* order = nullptr;
    int tag = 0;
    std::function<void()> onRun;
    void run() override
    {
        if (order)
            order->push_back(tag);
        if (onRun)
            onRun();
    }
};

struct Core : DeviceRootTest {
    static constexpr DWORD kStart = 5000;
    std::optional<Application> app;

    void SetUp() override
    {
        SimUseVirtualClock(kStart);
        app.emplace(nullptr, u"Magnikeys");
    }
    void TearDown() override
    {
        app.reset();
        SimUseRealClock();
    }
    CActiveScheduler& scheduler() { return app->scheduler(); }
    DWORD elapsed() const { return GetTickCount() - kStart; }

    // The fatal report as the log file holds it after the process ended in a death test.
    std::string snag() const
    {
        auto text = device.readFile(u"\\Temp\\" + AppName() + u".txt");
        return text ? *text : std::string();
    }
    void logOn() { ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1)); }
};

using Timers = Core;

TEST_F(Timers, TheShorterOfTwoRunsFirstAndTheWindowTimerIsRearmedForTheRest)
{
    Expiries observer;
    Timer longer(observer), shorter(observer);
    longer.start(0.2);
    shorter.start(0.1);
    SimRunFor(99);
    EXPECT_TRUE(observer.seen.empty());
    SimRunFor(1);
    ASSERT_EQ(observer.seen.size(), 1u);
    EXPECT_EQ(observer.seen[0].first, &shorter);
    EXPECT_EQ(observer.seen[0].second, kStart + 100);
    SimRunFor(300);
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[1].first, &longer);
    EXPECT_EQ(observer.seen[1].second, kStart + 200);
    EXPECT_FALSE(longer.is_armed());
}

TEST_F(Timers, StartingAnArmedTimerAgainCountsOnlyTheNewTime)
{
    Expiries observer;
    Timer timer(observer);
    timer.start(0.2);
    SimRunFor(150);
    timer.start(0.1);
    SimRunFor(500);
    ASSERT_EQ(observer.seen.size(), 1u);
    EXPECT_EQ(observer.seen[0].second, kStart + 250);

    // Also when it is already due and waits in the ready list: that expiry is dropped.
    timer.start(0);
    timer.start(0.05);
    SimRunFor(100);
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[1].second, kStart + 650 + 50);
}

TEST_F(Timers, ZeroAndSubMillisecondDelaysRoundToWholeMilliseconds)
{
    Expiries observer;
    Timer zero(observer), tiny(observer), small(observer);
    zero.start(0);
    tiny.start(0.0004);
    small.start(0.0006);
    EXPECT_TRUE(observer.seen.empty()) << "due at once, but run from the message loop";
    SimPumpMessages();
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[0].first, &zero);
    EXPECT_EQ(observer.seen[1].first, &tiny);
    EXPECT_EQ(observer.seen[1].second, kStart);
    SimRunFor(1);
    ASSERT_EQ(observer.seen.size(), 3u);
    EXPECT_EQ(observer.seen[2].first, &small);
    EXPECT_EQ(observer.seen[2].second, kStart + 1);
}

TEST_F(Timers, DueTimesAcrossTheTickCountWrapCompareCorrectly)
{
    SimSetTicks(0xFFFFFF00u);
    Expiries observer;
    Timer across(observer), before(observer);
    across.start(0.5); // due at 0x000000F4
    before.start(0.2); // due at 0xFFFFFFC8
    SimRunFor(199);
    EXPECT_TRUE(observer.seen.empty());
    SimRunFor(400);
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[0].first, &before);
    EXPECT_EQ(observer.seen[0].second, 0xFFFFFFC8u);
    EXPECT_EQ(observer.seen[1].first, &across);
    EXPECT_EQ(observer.seen[1].second, 0xF4u);
}

TEST_F(Timers, LongTimersFireOnTimeUpToTheDocumentedLimit)
{
    Expiries observer;
    Timer hours(observer), days(observer), beyond(observer), shorter(observer);
    hours.start(3 * 3600.0);
    days.start(12 * 86400.0); // just below the limit of 0x3FFFFFFF ms
    beyond.start(30 * 86400.0); // clamped to the limit, never lost
    shorter.start(9999.0); // below the old sentinel: the window timer must still move on after it
    SimRunFor(9999 * 1000);
    ASSERT_EQ(observer.seen.size(), 1u);
    EXPECT_EQ(observer.seen[0].first, &shorter);
    SimRunFor(3 * 3600 * 1000 - 9999 * 1000 - 1);
    EXPECT_EQ(observer.seen.size(), 1u);
    SimRunFor(1);
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[1].first, &hours);
    EXPECT_EQ(observer.seen[1].second, kStart + 3u * 3600 * 1000);
    SimRunFor(12u * 86400 * 1000 - 3u * 3600 * 1000);
    ASSERT_EQ(observer.seen.size(), 3u);
    EXPECT_EQ(observer.seen[2].first, &days);
    EXPECT_EQ(observer.seen[2].second, kStart + 12u * 86400 * 1000);
    EXPECT_TRUE(beyond.is_armed());
    SimRunFor(0x3FFFFFFFu - 12u * 86400 * 1000);
    ASSERT_EQ(observer.seen.size(), 4u);
    EXPECT_EQ(observer.seen[3].first, &beyond);
    EXPECT_EQ(observer.seen[3].second, kStart + 0x3FFFFFFFu);
}

TEST_F(Timers, DestroyingTimersLeavesTheSchedulerClean)
{
    Expiries observer;
    {
        Timer idle(observer);
    }
    {
        Timer armed(observer);
        armed.start(0.1);
    }
    {
        Timer ready(observer);
        ready.start(0); // notified, waiting for its run
    }
    SimRunFor(200);
    EXPECT_TRUE(observer.seen.empty());
    // Nothing is left active: the core ends without a snag.
    app.reset();
    app.emplace(nullptr, u"Magnikeys");
}

TEST_F(Timers, ATimerMayRestartItselfFromItsExpiry)
{
    struct Ticker : TimerObserver {
        Timer timer { *this };
        std::vector<DWORD> ticks;
        void timer_expired(Timer& t) override
        {
            ticks.push_back(GetTickCount() - kStart);
            if (ticks.size() < 3)
                t.start(0.04);
        }
    } ticker;
    ticker.timer.start(0.04);
    SimRunFor(1000);
    EXPECT_EQ(ticker.ticks, (std::vector<DWORD> { 40, 80, 120 }));
}

using ActiveObjects = Core;

TEST_F(ActiveObjects, ReadyObjectsRunInNotificationOrderIncludingThoseMadeReadyMeanwhile)
{
    std::vector<int> order;
    Probe a, b, c;
    a.order = b.order = c.order = &order;
    a.tag = 1, b.tag = 2, c.tag = 3;
    a.onRun = [&] {
        scheduler().set_active(c);
        scheduler().notify(c);
        if (order.size() == 1) {
            scheduler().set_active(a); // re-armed by its own run
            scheduler().notify(a);
        }
    };
    scheduler().set_active(a);
    scheduler().set_active(b);
    scheduler().notify(a);
    scheduler().notify(b);
    // One posted message runs them all; the later messages find the list empty.
    MSG m;
    ASSERT_TRUE(PeekMessage(&m, scheduler().window(), CActiveScheduler::kReadyMessage,
        CActiveScheduler::kReadyMessage, PM_REMOVE));
    DispatchMessage(&m);
    // c was made ready again by a's second run, still within the same pass.
    EXPECT_EQ(order, (std::vector<int> { 1, 2, 3, 1, 3 }));
    SimPumpMessages();
    EXPECT_EQ(order.size(), 5u);
}

TEST_F(ActiveObjects, CompletionsFromOtherThreadsRunOnTheApplicationThread)
{
    Probe p;
    DWORD ranOn = 0;
    p.onRun = [&] { ranOn = GetCurrentThreadId(); };
    scheduler().set_active(p);
    std::thread worker([&] { scheduler().notify(p); });
    worker.join();
    EXPECT_EQ(ranOn, 0u);
    SimPumpMessages();
    EXPECT_EQ(ranOn, GetCurrentThreadId());
}

TEST_F(ActiveObjects, CancelWaitsForTheCompletionAndNeverRunsTheObject)
{
    struct Worker : Probe {
        std::thread completion;
        void do_cancel() override
        {
            completion = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                CActiveScheduler::current().notify(*this);
            });
        }
    } slow;
    std::vector<int> order;
    Probe other;
    other.order = slow.order = &order;
    other.tag = 7, slow.tag = 8;
    scheduler().set_active(other);
    scheduler().notify(other);
    scheduler().set_active(slow);
    scheduler().cancel(slow); // consumes the private message while waiting
    slow.completion.join();
    EXPECT_FALSE(slow.is_active());
    SimPumpMessages();
    EXPECT_EQ(order, (std::vector<int> { 7 })) << "the other object still runs, the cancelled one never";
}

TEST_F(ActiveObjects, ProtocolMisuseEndsTheProcessWithItsSnag)
{
    logOn();
    Probe p;
    std::string id = std::to_string(p.id());

    EXPECT_EXIT(
        {
            scheduler().set_active(p);
            scheduler().set_active(p);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(u"Snag: Object " + std::u16string(id.begin(), id.end())
                  + u" is already active @ CActiveScheduler::set_active()\n")),
        std::string::npos);

    EXPECT_EXIT(scheduler().notify(p), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(u"Snag: Active object " + std::u16string(id.begin(), id.end())
                  + u" is not active @ CActiveScheduler::notify()\n")),
        std::string::npos);

    // A completion notified twice without a new set_active.
    EXPECT_EXIT(
        {
            scheduler().set_active(p);
            scheduler().notify(p);
            scheduler().notify(p);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(u"Snag: Active object " + std::u16string(id.begin(), id.end())
                  + u" is already notified @ CActiveScheduler::notify()\n")),
        std::string::npos);

    EXPECT_EXIT(
        {
            auto* q = new Probe;
            scheduler().set_active(*q);
            delete q;
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(u" is already active @ CActive::~CActive()\n")), std::string::npos);

    EXPECT_EXIT(
        {
            scheduler().set_active(p);
            app.reset();
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(
                  u"Snag: Some active objects still live while scheduler is terminating active_counter=1 @ \n")),
        std::string::npos);
}

using ApplicationCore = Core;

TEST_F(ApplicationCore, NamesTheProcessAndOwnsAHiddenSchedulerWindow)
{
    EXPECT_EQ(Application::instance(), &*app);
    EXPECT_EQ(app->window_class_name(), u"ZazizurClass_Magnikeys");
    EXPECT_EQ(app->application_name(), u"Magnikeys");
    HWND hidden = scheduler().window();
    ASSERT_TRUE(IsWindow(hidden));
    WCHAR name[64];
    GetClassName(hidden, name, 64);
    EXPECT_EQ(std::u16string(name), u"CActiveZazizurClass_Magnikeys");
    GetWindowText(hidden, name, 64);
    EXPECT_EQ(std::u16string(name), u"CActiveZazizurClass_Magnikeys");
    EXPECT_FALSE(IsWindowVisible(hidden));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLong(hidden, GWL_STYLE)), static_cast<DWORD>(WS_POPUP));
}

TEST_F(ApplicationCore, ASecondCoreIsFatalAndANewOneAfterDestructionIsFine)
{
    logOn();
    EXPECT_EXIT(Application(nullptr, u"Magnikeys"), ::testing::ExitedWithCode(1), "");
    EXPECT_NE(snag().find(utf16Bytes(u"Snag: Singleton is already instantiated @ Singleton::Singleton()\n")),
        std::string::npos);

    app.reset();
    EXPECT_EQ(Application::instance(), nullptr);
    app.emplace(nullptr, u"Optarix");
    EXPECT_EQ(Application::instance(), &*app);
    EXPECT_EQ(app->window_class_name(), u"ZazizurClass_Optarix");
    // Its scheduler works as the first one did.
    Expiries observer;
    Timer timer(observer);
    timer.start(0.01);
    SimRunFor(10);
    EXPECT_EQ(observer.seen.size(), 1u);
}

TEST_F(ApplicationCore, ReleasesASingleInstanceMutexStillHeld)
{
    HANDLE mutex = CreateMutex(nullptr, TRUE, u"ZazizurClass_Magnikeys");
    ASSERT_NE(mutex, nullptr);
    Application::set_single_instance_mutex(mutex);
    app.reset();
    EXPECT_EQ(Application::single_instance_mutex(), nullptr);
    std::thread other([] {
        HANDLE again = CreateMutex(nullptr, FALSE, u"zazizurclass_magnikeys");
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "the only handle was closed";
        EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
        ReleaseMutex(again);
        CloseHandle(again);
    });
    other.join();
}

}
