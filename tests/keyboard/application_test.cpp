#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "runtime/Application.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "tests/keyboard/KeyboardData.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <optional>

namespace {

const std::u16string kSymbols = kInstallDir + u"\\layouts\\symbolic_layout.xtr";

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProc(w, m, wp, lp);
}

struct App : DeviceRootTest {
    std::optional<Application> core;
    Properties skin;
    HWND sip = nullptr;

    void SetUp() override
    {
        SimUseVirtualClock(20000);
        SimSetGeometry("qvga");
        InstallKeyboardData(device);
        if (!Application::instance())
            core.emplace(nullptr, u"Magnikeys");
        ASSERT_TRUE(skin.load_skin(ExpandPath(u"%program_files%/Tarn/Magnikeys/skins/bin/default.skin"), DisplayInfo::query()));
        WNDCLASS wc {};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"test_app_sip";
        RegisterClass(&wc);
        sip = CreateWindowEx(0, u"test_app_sip", u"", WS_VISIBLE, 0, 206, 240, 88, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        kbApplication::reset();
        kbData::reset();
        DestroyWindow(sip);
        UnregisterClass(u"test_app_sip", nullptr);
        core.reset();
        SimUseRealClock();
    }
    kbApplication& make()
    {
        if (!kbData::instance())
            kbData::make();
        kbApplication::reset(); // its window classes go before the new one registers them
        kbApplication::reset(std::make_unique<kbApplication>(skin, nullptr, sip));
        return *kbApplication::instance();
    }
    void symbols(const std::string& line1)
    {
        device.writeFile(kSymbols, "line1 " + line1 + "\nline2 \nline3 \n");
    }
    std::u16string logText()
    {
        Log();
        auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt");
        std::u16string text;
        if (bytes)
            for (size_t i = 2; i + 1 < bytes->size(); i += 2)
                text.push_back(char16_t(uint8_t((*bytes)[i]) | uint8_t((*bytes)[i + 1]) << 8));
        return text;
    }
};

TEST_F(App, AFourRowSymbolLayerIsCutToTheThreeRowForm)
{
    device.writeFile(kSymbols, "line1 1234567890-\nline2 abcdefghijk\nline3 lmnopqrstuv\nline4 wxyz+-*/()=\n");
    kbApplication& app = make();
    ASSERT_FALSE(app.form().extended());
    app.actions().process_key(app.form().key_index(u"extra"), u"extra");
    EXPECT_EQ(app.form().layout_text(), u"1234567890-abcdefghijklmnopqrstuv");
    // in the symbol layer the panel is not shown anew for another form
    MSG message;
    EXPECT_FALSE(PeekMessage(&message, app.main_window(), kbApplication::kReshowPanel, kbApplication::kReshowPanel, PM_NOREMOVE));
}

TEST_F(App, DestroyingWithTheZoomWindowShownRemovesBothWindowsAndClasses)
{
    kbApplication& app = make();
    HWND main = app.main_window(), zoom = app.zoom_window();
    ASSERT_TRUE(IsWindow(main));
    ASSERT_TRUE(IsWindow(zoom));
    EXPECT_EQ(GetParent(zoom), nullptr); // a top-level window of its own
    ShowWindow(zoom, SW_SHOW);
    kbApplication::reset();
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(zoom));
    kbApplication& again = make();
    EXPECT_TRUE(IsWindow(again.main_window()));
    EXPECT_TRUE(IsWindow(again.zoom_window()));
}

TEST_F(App, CaptureChangedWithTheZoomHiddenLeavesItHidden)
{
    kbApplication& app = make();
    SendMessage(app.main_window(), WM_CAPTURECHANGED, 0, 0);
    EXPECT_FALSE(IsWindowVisible(app.zoom_window()));
}

TEST_F(App, TheTimerDrivesTheZoomLevelWhileTheStylusIsDown)
{
    kbApplication& app = make();
    POINT origin { 0, 0 };
    ClientToScreen(app.main_window(), &origin);
    SimStylusDown(origin.x + 50, origin.y + 10);
    SimRunFor(300);
    EXPECT_TRUE(app.touch().is_down());
    EXPECT_EQ(app.touch().zoom_level(), 1.0);
    SimRunFor(200); // past 0.325 + 0.125 s of timer paints
    EXPECT_EQ(app.touch().zoom_level(), 2.0);
    EXPECT_FALSE(IsWindowVisible(app.zoom_window())); // the simple style shows no zoom
    SimStylusUp(origin.x + 50, origin.y + 10);
    SimRunFor(40);
    EXPECT_FALSE(app.touch().is_down());
    EXPECT_EQ(app.touch().zoom_level(), 1.0);
}

TEST_F(App, AbsurdGlassSizesAndStylesStillBuildAKeyboard)
{
    kbData::make();
    for (int32_t side : { INT_MAX, INT_MIN, 0, -7 }) {
        for (int32_t style : { 1, 2, 3, 99, -1 }) {
            kbData::instance()->settings().glass_zoom_window_size = kbIntPair { side, side };
            kbData::instance()->settings().board_style = style;
            kbApplication& app = make();
            EXPECT_TRUE(IsWindow(app.main_window()));
            SIZE zoom = app.zoom_window_size();
            EXPECT_GE(zoom.cx, 0);
            EXPECT_LE(zoom.cx, 4096);
            EXPECT_GE(zoom.cy, 0);
            EXPECT_LE(zoom.cy, 4096);
        }
    }
}

TEST_F(App, LogLinesOfConstructionAndDestruction)
{
    const char16_t* tarn = u"HKEY_CURRENT_USER\\Software\\Tarn";
    ASSERT_TRUE(RegWriteNumber(tarn, u"Log", 1));
    make();
    kbApplication::reset();
    RegWriteNumber(tarn, u"Log", 0);
    const std::u16string text = logText();
    EXPECT_NE(text.find(u"create main window\n"), std::u16string::npos) << std::string(text.begin(), text.end());
    EXPECT_NE(text.find(u"kb app set curr layout\nkb app set layout: @qwertyuiop/asdfghjkl'!?zxcvbnm,.\n"), std::u16string::npos);
    EXPECT_NE(text.find(u"kbApplication destructor\nkbApplication destroy optional window\nkbApplication destroy main window\n"),
        std::u16string::npos);
}

}
