// The window layer as the program's forms see it: keys and the stylus turned into events, tick
// lengths, the command-line hand-over, the client area and the text-field editing state.
#include <sip.h>

#include <gtest/gtest.h>

#include <simhost.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/OrientationObserver.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/TextFile.h"
#include "ui/GameBase.h"
#include "ui/KeyTranslation.h"
#include "skin/drawing/Canvas.h"
#include "skin/elements/FormElement.h"
#include "skin/elements/TextElement.h"
#include "tests/support/DeviceRoot.h"

namespace {

struct Recorder;

struct ListenerPart : ApplicationListener {
    Recorder& r;
    explicit ListenerPart(Recorder& owner)
        : r(owner)
    {
    }
    void command_line_received(const std::u16string& line) override;
    bool close_requested() override;
    void form_opened(SkinForm&) override { }
    void form_closed(SkinForm&) override { }
    void resolution_changed() override;
    void help_requested() override { }
    void deactivated() override { }
    void activated() override { }
    bool key(const KeyEvent& e) override;
};

struct Recorder : GameClient {
    ListenerPart listenerPart{*this};
    std::vector<PointerEvent> presses;
    std::vector<PointerEvent> moves;
    std::vector<KeyEvent> keys;
    std::vector<KeyEvent> listenerKeys;
    std::u16string typed;
    std::vector<double> ticks;
    std::vector<std::u16string> lines;
    int paints = 0;
    bool allowClose = true;
    bool consumeKeys = false;
    bool redrawFlag = false;
    int closeAsked = 0;
    int resolutionChanges = 0;
    bool hasListener = true;

    void tick(double s) override { ticks.push_back(s); }
    void paint(Canvas&) override { ++paints; }
    bool needs_redraw(bool) override { return true; }
    void set_needs_redraw() override { redrawFlag = true; }
    bool has_forms() const override { return true; }
    void take_background(const PixelBuffer&) override { }
    ApplicationListener* listener() const override { return hasListener ? const_cast<ListenerPart*>(&listenerPart) : nullptr; }
    void pointer_moved(const PointerEvent& e) override { moves.push_back(e); }
    void pointer_pressed(const PointerEvent& e) override { presses.push_back(e); }
    void key(const KeyEvent& e) override { keys.push_back(e); }
    void text(std::u16string_view t) override { typed += t; }
};

void ListenerPart::command_line_received(const std::u16string& line) { r.lines.push_back(line); }
bool ListenerPart::close_requested()
{
    ++r.closeAsked;
    return r.allowClose;
}
void ListenerPart::resolution_changed() { ++r.resolutionChanges; }
bool ListenerPart::key(const KeyEvent& e)
{
    r.listenerKeys.push_back(e);
    return r.consumeKeys;
}

struct WindowLayer : ::testing::Test {
    TempDeviceRoot device;
    Recorder client;
    std::unique_ptr<GameBase> game;

    void SetUp() override
    {
        SimUseVirtualClock(1000);
        SimSetGeometry("qvga");
        game = std::make_unique<GameBase>(nullptr, u"LayerTest", client);
        ASSERT_TRUE(game->main_window());
        SimPumpMessages();
    }
    void TearDown() override
    {
        game.reset();
        SimPumpMessages();
        SimUseRealClock();
    }
    POINT origin() const
    {
        RECT r {};
        GetWindowRect(game->main_window(), &r);
        return {r.left, r.top};
    }
};

} // namespace

TEST(KeyTranslation, EveryRowOfTheTableAndNothingElse)
{
    struct Row {
        int vk;
        int code;
    };
    const Row rows[] = {{8, 11}, {27, 11}, {9, 18}, {13, 9}, {16, 1}, {17, 2}, {18, 3}, {32, 10}, {33, 17}, {34, 16},
        {35, 15}, {36, 14}, {37, 4}, {38, 6}, {39, 5}, {40, 7}, {45, 13}, {46, 12}, {48, 46}, {57, 55}, {65, 20},
        {90, 45}, {93, 19}, {112, 61}, {113, 62}, {114, 58}, {115, 59}, {117, 63}, {118, 64}, {119, 56}, {120, 57}};
    for (const Row& r : rows)
        EXPECT_EQ(static_cast<int>(translate_virtual_key(r.vk)), r.code) << "virtual key " << r.vk;
    // Neighbours of the ranges and keys the table leaves out.
    for (int vk : {0, 7, 10, 47, 58, 64, 91, 94, 111, 116, 121, 255, -1, 1000})
        EXPECT_EQ(translate_virtual_key(vk), KeyCode::None) << "virtual key " << vk;
}

TEST(TickLength, ClampedBetweenOneMillisecondAndATenthOfASecond)
{
    EXPECT_DOUBLE_EQ(GameBase::tick_seconds(2000), 0.1);
    EXPECT_DOUBLE_EQ(GameBase::tick_seconds(0), 0.001);
    EXPECT_DOUBLE_EQ(GameBase::tick_seconds(40), 0.04);
    // The tick count wrapped round: the span is still a short one.
    EXPECT_DOUBLE_EQ(GameBase::tick_seconds(static_cast<DWORD>(5) - static_cast<DWORD>(0xFFFFFFF0u)), 0.021);
}

TEST(SmartphoneReserve, ByScreenWidth)
{
    const int widths[] = {176, 240, 320, 352, 400, 480, 640, 800, 200};
    const int reserves[] = {20, 27, 27, 40, 27, 54, 54, 54, 0};
    for (size_t i = 0; i < std::size(widths); ++i)
        EXPECT_EQ(GameBase::smartphone_bottom_reserve(widths[i]), reserves[i]) << widths[i];
}

TEST_F(WindowLayer, TicksFollowTheClockWithTheClamp)
{
    client.ticks.clear();
    SimAdvanceTicks(2000);
    game->tick(false);
    ASSERT_EQ(client.ticks.size(), 1u);
    EXPECT_DOUBLE_EQ(client.ticks[0], 0.1);
    game->tick(false); // the same millisecond
    EXPECT_DOUBLE_EQ(client.ticks.back(), 0.001);
    game->tick(true); // asked to skip an unchanged clock
    EXPECT_EQ(client.ticks.size(), 2u);
    // Windowed, the 40 ms window timer ticks and repaints.
    client.ticks.clear();
    int paints = client.paints;
    SimRunFor(200);
    ASSERT_GE(client.ticks.size(), 4u);
    EXPECT_DOUBLE_EQ(client.ticks.back(), 0.04);
    EXPECT_GT(client.paints, paints);
}

TEST_F(WindowLayer, StylusReleaseComesWithTheCaptureLoss)
{
    POINT o = origin();
    SimStylusDown(o.x + 10, o.y + 20);
    SimPumpMessages();
    SimStylusMove(o.x + 15, o.y + 25);
    SimPumpMessages();
    SimStylusUp(o.x + 30, o.y + 40);
    SimPumpMessages();
    ASSERT_EQ(client.presses.size(), 2u);
    EXPECT_TRUE(client.presses[0].down);
    EXPECT_EQ(client.presses[0].x, 10);
    EXPECT_EQ(client.presses[0].y, 20);
    // Exactly one release, at the stylus-up point, not cancelled.
    EXPECT_FALSE(client.presses[1].down);
    EXPECT_FALSE(client.presses[1].cancelled);
    EXPECT_EQ(client.presses[1].x, 30);
    EXPECT_EQ(client.presses[1].y, 40);
    ASSERT_EQ(client.moves.size(), 1u);
    EXPECT_EQ(client.moves[0].x, 15);

    // Pressed, then another window takes the stylus: a cancelled release.
    client.presses.clear();
    SimStylusDown(o.x + 50, o.y + 60);
    SimPumpMessages();
    WNDCLASS wc {};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"Thief";
    RegisterClass(&wc);
    HWND thief = CreateWindowEx(0, u"Thief", u"", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr, nullptr);
    SetCapture(thief);
    SimPumpMessages();
    ASSERT_EQ(client.presses.size(), 2u);
    EXPECT_FALSE(client.presses[1].down);
    EXPECT_TRUE(client.presses[1].cancelled);
    ReleaseCapture();
    DestroyWindow(thief);
    UnregisterClass(u"Thief", nullptr);
}

TEST_F(WindowLayer, KeysRepeatsHotKeysAndCharacters)
{
    HWND w = game->main_window();
    SendMessage(w, WM_KEYDOWN, 'Q', 1);
    SendMessage(w, WM_KEYDOWN, 'Q', 1 | (1L << 30)); // repeated by the keyboard
    SendMessage(w, WM_KEYUP, 'Q', 1 | (1L << 30) | (1L << 31));
    ASSERT_EQ(client.keys.size(), 3u);
    EXPECT_EQ(client.keys[0].key, KeyCode(36));
    EXPECT_TRUE(client.keys[0].down);
    EXPECT_TRUE(client.keys[0].first_press);
    EXPECT_FALSE(client.keys[1].first_press);
    EXPECT_FALSE(client.keys[2].down);
    EXPECT_TRUE(client.keys[2].first_press);
    // The listener saw them first; a key it consumes goes no further.
    EXPECT_EQ(client.listenerKeys.size(), 3u);
    client.consumeKeys = true;
    SendMessage(w, WM_KEYDOWN, VK_LEFT, 1);
    EXPECT_EQ(client.keys.size(), 3u);

    // Hot keys skip the listener; the key-up modifier makes a release.
    client.listenerKeys.clear();
    SendMessage(w, WM_HOTKEY, 7, MAKELPARAM(0, VK_F1));
    SendMessage(w, WM_HOTKEY, 7, MAKELPARAM(0x1000, VK_F1));
    ASSERT_EQ(client.keys.size(), 5u);
    EXPECT_EQ(client.keys[3].key, KeyCode::SOFT_LEFT);
    EXPECT_TRUE(client.keys[3].down);
    EXPECT_FALSE(client.keys[4].down);
    EXPECT_TRUE(client.listenerKeys.empty());

    // Printable characters only.
    SendMessage(w, WM_CHAR, u'a', 1);
    SendMessage(w, WM_CHAR, 8, 1);
    SendMessage(w, WM_CHAR, 0x0416, 1);
    EXPECT_EQ(client.typed, u"a\u0416");
}

TEST_F(WindowLayer, CommandLinesQueuedAndDeliveredInOrder)
{
    HWND w = game->main_window();
    auto send = [&](std::u16string_view text, ULONG_PTR tag = 0) {
        COPYDATASTRUCT cds {tag, static_cast<DWORD>(text.size() * 2), const_cast<char16_t*>(text.data())};
        SendMessage(w, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    };
    send(u"first");
    send(u"%CommandLineEmpty%");
    send(u"ignored", 5); // another tag is not a command line
    EXPECT_TRUE(client.lines.empty()); // handed on later, not while the sender waits
    SimPumpMessages();
    ASSERT_EQ(client.lines.size(), 2u);
    EXPECT_EQ(client.lines[0], u"first");
    EXPECT_EQ(client.lines[1], u"");
    // Without a listener the lines are dropped, not kept for later.
    client.hasListener = false;
    send(u"lost");
    SimPumpMessages();
    client.hasListener = true;
    SendMessage(w, GameBase::kCommandLineMessage, 0, 0);
    EXPECT_EQ(client.lines.size(), 2u);
}

TEST_F(WindowLayer, SecondStartHandsItsCommandLineOver)
{
    EXPECT_TRUE(GameBase::show_running_instance(u"open this", u"LayerTest"));
    EXPECT_TRUE(GameBase::show_running_instance(u"", u"LayerTest"));
    EXPECT_FALSE(Application::single_instance_mutex());
    SimPumpMessages();
    ASSERT_EQ(client.lines.size(), 2u);
    EXPECT_EQ(client.lines[0], u"open this");
    EXPECT_EQ(client.lines[1], u""); // the marker never reaches the listener
}

TEST_F(WindowLayer, CloseAsksTheListener)
{
    HWND w = game->main_window();
    client.allowClose = false;
    SendMessage(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(w));
    client.allowClose = true;
    SendMessage(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(client.closeAsked, 2);
    // Destroying the window ends the loop with code 0.
    EXPECT_EQ(game->Run(), 0);
}

TEST_F(WindowLayer, ClientAreaBelowTheTaskbarAndAboveTheMenuBar)
{
    ScreenRecord area = game->ClientArea();
    EXPECT_EQ(area.width, 240);
    EXPECT_EQ(area.height, 320);
    EXPECT_EQ(area.client_y, 26);
    EXPECT_EQ(area.client_height, 320 - 26 - 26);
    game->SetWindowed(false);
    area = game->ClientArea();
    EXPECT_EQ(area.client_y, 0);
    EXPECT_EQ(area.client_height, 320 - 26);
    RECT r {};
    GetWindowRect(game->main_window(), &r);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 320 - 26);
}

TEST_F(WindowLayer, EditingStateSurvivesMovingBetweenFields)
{
    FormElement form;
    auto* first = new EditElement(&form);
    auto* second = new EditElement(&form);
    first->set_text(u"one");
    second->set_text(u"two");
    EXPECT_TRUE(game->windowed());
    game->SetDirectDisplay(0);
    EXPECT_TRUE(game->direct_display_open());
    bool windowed = game->windowed();

    client.redrawFlag = false;
    game->FocusEdit(first, true);
    EXPECT_EQ(game->focused_edit(), first);
    EXPECT_TRUE(client.redrawFlag);
    HWND edit = game->edit_window();
    ASSERT_NE(edit, nullptr);
    EXPECT_FALSE(game->direct_display_open()); // the window system draws the edit window
    WCHAR shown[16] {};
    GetWindowText(edit, shown, 16);
    EXPECT_EQ(std::u16string(shown), u"one");
    game->FocusEdit(second, true);
    GetWindowText(edit, shown, 16);
    EXPECT_EQ(std::u16string(shown), u"two"); // the new field's text, not the old one's
    EXPECT_EQ(game->focused_edit(), second);
    EXPECT_EQ(game->edit_window(), edit);
    EXPECT_EQ(game->windowed(), windowed);

    // Typing in the edit window reaches the field that has the focus now.
    SetWindowText(edit, u"two!");
    SendMessage(game->main_window(), WM_COMMAND, MAKEWPARAM(0, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(second->text(), u"two!");
    EXPECT_EQ(first->text(), u"one");

    game->FocusEdit(nullptr, true);
    EXPECT_EQ(game->focused_edit(), nullptr);
    EXPECT_EQ(game->edit_window(), nullptr);
    EXPECT_EQ(game->sip_preference_window(), nullptr);
    EXPECT_TRUE(game->direct_display_open()); // back to the frame buffer
    DWORD stored = 7;
    ASSERT_TRUE(RegReadNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"SIPPreference", stored));
    EXPECT_EQ(stored, 0u); // the panel was down when the field was left
}

namespace {

std::vector<WPARAM> g_panelRequests;

LRESULT CALLBACK fakePanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SIM_WM_SIPSHOW)
        g_panelRequests.push_back(wParam);
    return DefWindowProc(window, message, wParam, lParam);
}

// The device's input panel, played here: docked and up, recording what programs ask of it;
// gone again, with the state it published, at the end of the test.
struct FakePanel {
    HWND window = nullptr;
    SIPINFO info {};

    FakePanel()
    {
        WNDCLASS wc {};
        wc.lpfnWndProc = fakePanelProc;
        wc.lpszClassName = SIM_SIP_CLASS;
        RegisterClass(&wc);
        window = CreateWindowEx(0, SIM_SIP_CLASS, u"", 0, 0, 214, 240, 80, nullptr, nullptr, nullptr, nullptr);
        info.cbSize = sizeof info;
        info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    }
    ~FakePanel()
    {
        SimClearSipState();
        DestroyWindow(window);
        UnregisterClass(SIM_SIP_CLASS, nullptr);
        g_panelRequests.clear();
    }
    void publish() { SimPublishSipState(info, CLSID_KeyboardIM); }
};

}
TEST_F(WindowLayer, APanelWhoseDesktopReachesBelowTheScreenReservesNothing)
{
    // A desktop host's programs have a screen of their own above its panel: the panel's visible
    // desktop, in the host's pixels, ends below this screen.
    FakePanel panel;
    ASSERT_NE(panel.window, nullptr);
    panel.info.rcVisibleDesktop = RECT { 0, 0, 1920, 815 };
    panel.info.rcSipRect = RECT { 586, 815, 1334, 1080 };
    panel.publish();
    const ScreenRecord area = game->ClientArea();
    EXPECT_EQ(area.client_y, 26);
    EXPECT_EQ(area.client_height, 320 - 26);
    // On the device the panel's top is the bottom reserve.
    panel.info.rcVisibleDesktop = RECT { 0, 26, 240, 214 };
    panel.publish();
    EXPECT_EQ(game->ClientArea().client_height, 214 - 26);
}

TEST_F(WindowLayer, APanelUpWhenAFieldIsLeftComesBackForTheNextField)
{
    FakePanel panel;
    ASSERT_NE(panel.window, nullptr);
    panel.info.rcVisibleDesktop = RECT { 0, 26, 240, 214 };
    panel.info.rcSipRect = RECT { 0, 214, 240, 294 };
    panel.publish();
    auto pump = [] {
        MSG m;
        while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessage(&m);
    };

    FormElement form;
    auto* first = new EditElement(&form);
    auto* second = new EditElement(&form);
    game->FocusEdit(first, true);
    game->FocusEdit(nullptr, true);
    pump();
    DWORD stored = 7;
    ASSERT_TRUE(RegReadNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"SIPPreference", stored));
    EXPECT_EQ(stored, 1u) << "the panel was up when the field was left";
    ASSERT_FALSE(g_panelRequests.empty());
    EXPECT_EQ(g_panelRequests.back(), WPARAM(SIPF_OFF)) << "leaving the field lowers the panel";

    g_panelRequests.clear();
    game->FocusEdit(second, true);
    pump();
    EXPECT_NE(std::find(g_panelRequests.begin(), g_panelRequests.end(), WPARAM(SIPF_ON)), g_panelRequests.end())
        << "the next field raises the panel again";
    game->FocusEdit(nullptr, true);
}

TEST_F(WindowLayer, SecondStartBringsTheRunningInstancesMessageBoxForward)
{
    // A running instance of "BoxTest" that shows a message box: a top-level "Dialog" titled
    // with the application name (registered here only where the platform has no such class).
    WNDCLASS wc {};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"Dialog";
    bool registered = RegisterClass(&wc) != 0;
    HWND other = CreateWindowEx(0, u"Dialog", u"Something else", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    HWND box = CreateWindowEx(0, u"Dialog", u"BoxTest", WS_POPUP | WS_VISIBLE, 0, 0, 100, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(box);
    SetForegroundWindow(game->main_window());
    EXPECT_TRUE(GameBase::show_running_instance(u"x", u"BoxTest"));
    EXPECT_EQ(GetForegroundWindow(), box);
    EXPECT_TRUE(client.lines.empty());
    // Nobody of that name: this start runs, holding the mutex until its window exists.
    EXPECT_FALSE(GameBase::show_running_instance(u"x", u"Nobody"));
    EXPECT_TRUE(Application::single_instance_mutex());
    ReleaseMutex(Application::single_instance_mutex());
    CloseHandle(Application::single_instance_mutex());
    Application::set_single_instance_mutex(nullptr);
    DestroyWindow(box);
    DestroyWindow(other);
    if (registered)
        UnregisterClass(u"Dialog", nullptr);
}

namespace {

struct TurnCounter : OrientationObserver {
    int turns = 0;
    void orientation_changed() override { ++turns; }
};

}

TEST_F(WindowLayer, TurningTheScreenTellsTheObserversAndTheListener)
{
    TurnCounter counter;
    {
        TurnCounter gone; // joined and left again: never told
    }
    int before = client.resolutionChanges;
    DEVMODE dm {};
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_DISPLAYORIENTATION;
    dm.dmDisplayOrientation = DMDO_90;
    ASSERT_EQ(ChangeDisplaySettingsEx(nullptr, &dm, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    SimPumpMessages();
    EXPECT_EQ(counter.turns, 1);
    EXPECT_EQ(client.resolutionChanges, before + 1);
    EXPECT_EQ(game->screen().width, 320);
    EXPECT_EQ(game->screen().orientation, 1);
    // The window follows the new screen.
    RECT r {};
    GetWindowRect(game->main_window(), &r);
    EXPECT_EQ(r.right - r.left, 320);
    // A setting change that moves nothing changes nothing.
    SendMessage(game->main_window(), WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
    EXPECT_EQ(client.resolutionChanges, before + 1);
    dm.dmDisplayOrientation = DMDO_0;
    ChangeDisplaySettingsEx(nullptr, &dm, nullptr, 0, nullptr);
    SimPumpMessages();
    EXPECT_EQ(counter.turns, 2);
}

TEST(WindowLayerLog, StartKeysAndCharactersAreLoggedWhileLoggingIsOn)
{
    TempDeviceRoot device;
    SimUseVirtualClock(5000);
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1));
    Recorder client;
    {
        GameBase game(nullptr, u"LogTest", client);
        SendMessage(game.main_window(), WM_KEYDOWN, 'Q', 1);
        SendMessage(game.main_window(), WM_CHAR, u'q', 1);
        SendMessage(game.main_window(), WM_HOTKEY, 3, MAKELPARAM(0x1000, VK_F2));
    }
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 0));
    std::optional<std::u16string> log = ReadTextFile(u"/Temp/" + ExpandPath(u"%app_name%.txt"));
    ASSERT_TRUE(log);
    for (int step = 0; step <= 5; ++step)
        EXPECT_NE(log->find(u"5000 GameBase " + std::u16string(1, static_cast<char16_t>(u'0' + step)) + u"\n"), std::u16string::npos) << step;
    EXPECT_NE(log->find(u"WM_KEYDOWN = 81(Q) lParam=1 ticks=5000\n"), std::u16string::npos);
    EXPECT_NE(log->find(u"WM_CHAR=q lParam=1 ticks=5000\n"), std::u16string::npos);
    EXPECT_NE(log->find(u"WM_HOTKEY = 3(SOFT_RIGHT) lParam=" + std::u16string(u"7409664") + u" ticks=5000\n"), std::u16string::npos);
    SimUseRealClock();
}
