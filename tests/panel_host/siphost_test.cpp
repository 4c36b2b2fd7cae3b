// The input panel host driving input methods in-process: the order of its calls, switching,
// failures, SetImInfo and the callback's life.
#include "panel_host/Boot.h"
#include "panel_host/SipHost.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

// {D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}
constexpr CLSID kTestClsid { 0xD1A5E0C2, 0x7B3F, 0x4C1E, { 0x9A, 0x2D, 0x5E, 0x6F, 0x7A, 0x8B, 0x9C, 0x0D } };
const char16_t kTestText[] = u"{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}";

struct Panel : DeviceRootTest {
    void SetUp() override
    {
        SimSetGeometry("qvga");
        std::string report;
        ASSERT_TRUE(pocketsim::InstallPlatformFiles(report)) << report;
        ASSERT_TRUE(pocketsim::InstallTree(TESTIM_TREE, report)) << report;
        std::filesystem::remove(device.hostPath(u"\\Temp\\testim.log"));
    }
    void TearDown() override { SimSetGeometry("qvga"); }

    static void setDefault(const char16_t* clsid)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), static_cast<DWORD>((std::char_traits<char16_t>::length(clsid) + 1) * 2));
        RegCloseKey(key);
    }
    // The test method's calls since the last look, one a line.
    std::vector<std::string> calls()
    {
        std::vector<std::string> lines;
        std::istringstream in(device.readFile(u"\\Temp\\testim.log").value_or(""));
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        std::filesystem::remove(device.hostPath(u"\\Temp\\testim.log"));
        return lines;
    }
    static void rotate(DWORD orientation)
    {
        DEVMODE mode {};
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_DISPLAYORIENTATION;
        mode.dmDisplayOrientation = orientation;
        ASSERT_EQ(ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
        SimPumpMessages();
    }
    static IIMCallback* lastCallback()
    {
        auto get = reinterpret_cast<IIMCallback* (*)()>(GetProcAddress(GetModuleHandle(u"testim.dll"), u"TestImLastCallback"));
        return get ? get() : nullptr;
    }
};

using Lines = std::vector<std::string>;

TEST_F(Panel, DrivesTheMethodInThePlatformsOrder)
{
    setDefault(kTestText);
    {
        pocketsim::SipHost host;
        ASSERT_TRUE(host.start(nullptr));
        EXPECT_TRUE(host.current() == kTestClsid);
        EXPECT_EQ(calls(), (Lines { "DllMain attach", "CreateInstance", "RegisterCallback", "GetInfo", "Select" }));

        host.show();
        host.hide();
        EXPECT_EQ(calls(), (Lines { "Showing", "ReceiveSipInfo 240x60 flags=3 visible=0,26,240,234", "Hiding" }));

        rotate(DMDO_90); // hidden: only asked where it goes
        EXPECT_EQ(calls(), (Lines { "GetInfo" }));
        host.show();
        rotate(DMDO_0); // shown: hidden, asked, shown again
        EXPECT_EQ(calls(), (Lines { "Showing", "ReceiveSipInfo 320x60 flags=3 visible=0,26,320,154", "Hiding", "GetInfo",
                               "Showing", "ReceiveSipInfo 240x60 flags=3 visible=0,26,240,234" }));

        // Away to the platform's keyboard: the library goes once it says it can.
        ASSERT_TRUE(host.set_current(CLSID_KeyboardIM));
        EXPECT_EQ(calls(), (Lines { "Hiding", "Deselect", "Release" }));
        SimPumpMessages(); // the library goes from the message loop
        EXPECT_EQ(calls(), (Lines { "DllCanUnloadNow 0", "DllMain detach" }));
        EXPECT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
        EXPECT_TRUE(host.shown());

        ASSERT_TRUE(host.set_current(kTestClsid));
        SimPumpMessages();
        EXPECT_EQ(calls(), (Lines { "DllMain attach", "CreateInstance", "RegisterCallback", "GetInfo", "Select", "Showing",
                               "ReceiveSipInfo 240x60 flags=3 visible=0,26,240,234", "DllCanUnloadNow 1" }));
        EXPECT_TRUE(host.set_current(kTestClsid)); // already current: nothing happens
        EXPECT_TRUE(calls().empty());
    }
    EXPECT_EQ(calls(), (Lines { "Hiding", "Deselect", "Release", "DllCanUnloadNow 0", "DllMain detach" }));
}

std::vector<WPARAM> g_settings; // what WM_SETTINGCHANGE told a listening window

LRESULT CALLBACK listenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE)
        g_settings.push_back(wParam);
    return DefWindowProc(window, message, wParam, lParam);
}

TEST_F(Panel, SetImInfoMovesThePanelAndTheMethodHearsOfItFromTheLoop)
{
    setDefault(kTestText);
    WNDCLASS wc {};
    wc.lpfnWndProc = listenerProc;
    wc.lpszClassName = u"panel_program";
    RegisterClass(&wc);
    HWND program = CreateWindowEx(0, u"panel_program", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    host.show();
    calls();
    SimPumpMessages();
    g_settings.clear();
    IIMCallback* callback = lastCallback();
    ASSERT_NE(callback, nullptr);
    IMINFO info {};
    info.cbSize = sizeof info;
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    info.rcSipRect = RECT { 0, 194, 240, 294 };
    EXPECT_EQ(callback->SetImInfo(&info), S_OK);
    EXPECT_EQ(host.height(), 100);
    RECT placed;
    GetWindowRect(host.window(), &placed);
    EXPECT_EQ(placed.top, 194);
    EXPECT_TRUE(calls().empty()); // not from inside its own call
    SimPumpMessages();
    EXPECT_EQ(calls(), (Lines { "ReceiveSipInfo 240x100 flags=3 visible=0,26,240,194" }));

    SIPINFO state {};
    state.cbSize = sizeof state;
    ASSERT_TRUE(SipGetInfo(&state));
    EXPECT_EQ(state.fdwFlags, static_cast<DWORD>(SIPF_ON | SIPF_DOCKED));
    EXPECT_EQ(state.rcSipRect.top, 194);
    EXPECT_EQ(state.rcVisibleDesktop.bottom, 194);
    // The programs heard of the new place once; the same place said again tells them nothing.
    EXPECT_EQ(g_settings, std::vector<WPARAM> { SPI_SETSIPINFO });
    EXPECT_EQ(callback->SetImInfo(&info), S_OK);
    SimPumpMessages();
    EXPECT_EQ(g_settings, std::vector<WPARAM> { SPI_SETSIPINFO });
    calls();

    info.cbSize = 39;
    EXPECT_EQ(callback->SetImInfo(&info), E_INVALIDARG);
    info.cbSize = sizeof info;
    info.rcSipRect = RECT { 0, 200, 240, 199 };
    EXPECT_EQ(callback->SetImInfo(&info), E_INVALIDARG);
    EXPECT_EQ(callback->SetImInfo(nullptr), E_INVALIDARG);
    EXPECT_EQ(host.height(), 100);
    UINT ch = 'x', shift = KeyStateDownFlag;
    EXPECT_EQ(callback->SendCharEvents('X', KeyStateDownFlag, 1, nullptr, &ch), E_INVALIDARG);
    EXPECT_EQ(callback->SendCharEvents('X', KeyStateDownFlag, 100000, &shift, &ch), E_INVALIDARG);

    // Nothing to show: an empty panel, which leaves the whole screen to the programs.
    info.rcSipRect = RECT { 120, 294, 120, 294 };
    EXPECT_EQ(callback->SetImInfo(&info), S_OK);
    EXPECT_EQ(host.height(), 0);
    GetWindowRect(host.window(), &placed);
    EXPECT_EQ(placed.right - placed.left, 0);
    ASSERT_TRUE(SipGetInfo(&state));
    EXPECT_EQ(state.rcVisibleDesktop.bottom, 294);
    SimPumpMessages();
    EXPECT_EQ(g_settings, (std::vector<WPARAM> { SPI_SETSIPINFO, SPI_SETSIPINFO }));
    DestroyWindow(program);
    UnregisterClass(u"panel_program", nullptr);
}

TEST_F(Panel, ACallbackOfAReleasedMethodRefusesEveryCall)
{
    setDefault(kTestText);
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    IIMCallback* callback = lastCallback();
    ASSERT_NE(callback, nullptr);
    std::vector<std::string> events;
    host.set_event_sink([&](const std::string& line) { events.push_back(line); });
    EXPECT_EQ(callback->SendVirtualKey(VK_SHIFT, KEYEVENTF_SILENT), S_OK);
    EXPECT_EQ(callback->SendVirtualKey(VK_SHIFT, KEYEVENTF_SILENT | KEYEVENTF_KEYUP), S_OK);
    ASSERT_TRUE(host.set_current(CLSID_KeyboardIM));
    SimPumpMessages();
    ASSERT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
    // The method is gone and so is its library; its callback still answers, with a refusal.
    EXPECT_EQ(callback->SendVirtualKey(VK_SHIFT, KEYEVENTF_SILENT), E_FAIL);
    UINT ch = 'a', shift = KeyStateDownFlag;
    EXPECT_EQ(callback->SendCharEvents('A', KeyStateDownFlag, 1, &shift, &ch), E_FAIL);
    IMINFO info {};
    info.cbSize = sizeof info;
    EXPECT_EQ(callback->SetImInfo(&info), E_FAIL);
    EXPECT_EQ(events, (Lines { "SendVirtualKey vk=0x10 flags=0x4", "SendVirtualKey vk=0x10 flags=0x6" }));
}

TEST_F(Panel, MethodsThatFailLeaveAWorkingKeyboard)
{
    // Registered, but its library is not there.
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    const char16_t missing[] = u"\\Program Files\\Gone\\gone.dll";
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing), sizeof missing);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\IsSIPInputMethod", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(u"1"), 4);
    RegCloseKey(key);
    CLSID broken;
    ASSERT_EQ(CLSIDFromString(u"{00000000-1111-2222-3333-444444444444}", &broken), S_OK);

    for (const char16_t* wanted : { u"{00000000-1111-2222-3333-444444444444}", u"not a class", u"{99999999-1111-2222-3333-444444444444}" }) {
        setDefault(wanted);
        pocketsim::SipHost host;
        ASSERT_TRUE(host.start(nullptr));
        EXPECT_TRUE(host.current() == CLSID_KeyboardIM);
    }

    setDefault(kTestText);
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    CLSID unknown = GUID_NULL;
    EXPECT_FALSE(host.set_current(unknown));
    EXPECT_FALSE(host.set_current(broken));
    EXPECT_TRUE(host.current() == kTestClsid);
    // The same through the platform's functions, as a program calls them.
    EXPECT_FALSE(SipSetCurrentIM(&broken));
    CLSID current;
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == kTestClsid);
    CLSID keyboard = CLSID_KeyboardIM;
    EXPECT_TRUE(SipSetCurrentIM(&keyboard));
    ASSERT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_KeyboardIM);
    EXPECT_EQ(SipStatus(), static_cast<DWORD>(SIP_STATUS_AVAILABLE));
}


TEST_F(Panel, ShowAndHideRequestsWaitForTheMessageLoop)
{
    WNDCLASS wc {};
    wc.lpfnWndProc = listenerProc;
    wc.lpszClassName = u"panel_listener";
    RegisterClass(&wc);
    HWND listener = CreateWindowEx(0, u"panel_listener", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    g_settings.clear();
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    EXPECT_TRUE(SipShowIM(SIPF_ON));
    EXPECT_FALSE(host.shown());
    SimPumpMessages();
    EXPECT_TRUE(host.shown());
    EXPECT_TRUE(IsWindowVisible(host.window()));
    EXPECT_TRUE(SipShowIM(SIPF_OFF));
    SimPumpMessages();
    EXPECT_FALSE(host.shown());
    SIPINFO info {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(info.fdwFlags, static_cast<DWORD>(SIPF_DOCKED));
    EXPECT_EQ(info.rcVisibleDesktop.bottom, 294);
    // Top-level windows hear of each change.
    EXPECT_EQ(g_settings, (std::vector<WPARAM> { SPI_SETCURRENTIM, SPI_SETSIPINFO, SPI_SETSIPINFO }));

    // A program may place and raise the panel itself.
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    info.rcSipRect = RECT { 0, 150, 240, 294 };
    EXPECT_TRUE(SipSetInfo(&info));
    EXPECT_TRUE(host.shown());
    EXPECT_EQ(host.height(), 144);
    info.cbSize = 0;
    EXPECT_FALSE(SipSetInfo(&info));
    DestroyWindow(listener);
    UnregisterClass(u"panel_listener", nullptr);
}

}

namespace {

TEST_F(Panel, BootInstallsOnlyWhatIsMissingOrChanged)
{
    std::string report;
    ASSERT_TRUE(pocketsim::InstallTree(TESTIM_TREE, report, true));
    EXPECT_EQ(report, ""); // installed by SetUp already: nothing to do, nothing registered again
    EXPECT_TRUE(calls().empty());
    device.writeFile(u"\\Program Files\\Tests\\TestIM\\testim.dll", "damaged");
    ASSERT_TRUE(pocketsim::InstallTree(TESTIM_TREE, report, true));
    EXPECT_NE(report.find("copied \\Program Files\\Tests\\TestIM\\testim.dll"), std::string::npos) << report;
    EXPECT_NE(report.find("DllRegisterServer"), std::string::npos) << report;
}

}

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs the panel client as a process of the device and keeps this thread's messages flowing
// (the panel answers from its message loop) until it ends; returns what it printed.
std::string runClient(const TempDeviceRoot& device, const char* clsid)
{
    std::string out = device.hostRoot() + "/client.out";
    pid_t child = fork();
    if (child == 0) {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        setenv("POCKETSIM_ROOT", device.hostRoot().c_str(), 1);
        execl(SIPCLIENT, SIPCLIENT, clsid, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
        SimPumpMessages();
        usleep(10000);
    }
    SimPumpMessages();
    return device.readFile(u"\\client.out").value_or("");
}

TEST_F(Panel, ProgramsOfOtherProcessesSwitchAndShowThePanel)
{
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    EXPECT_EQ(runClient(device, "{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}"),
        "set=1 current={D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D} show=1 status=1\n");
    EXPECT_TRUE(host.current() == kTestClsid);
    EXPECT_TRUE(host.shown());
    // An identifier of no input method is refused; the current one stays.
    EXPECT_EQ(runClient(device, "{00000000-0000-0000-0000-00000000ABCD}"),
        "set=0 current={D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D} show=1 status=1\n");
}

}

namespace {

void makeTestImFail(const char16_t* call)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegSetValueEx(key, u"Fail", 0, REG_SZ, reinterpret_cast<const BYTE*>(call), static_cast<DWORD>((std::char_traits<char16_t>::length(call) + 1) * 2));
    RegCloseKey(key);
}

TEST_F(Panel, AMethodWhoseCallsFailDoesNotTakeTheDeviceDown)
{
    setDefault(kTestText);
    // It cannot be made, or refuses to be selected: the platform's keyboard, and its library goes.
    for (const char16_t* call : { u"CreateInstance", u"Select" }) {
        makeTestImFail(call);
        pocketsim::SipHost host;
        ASSERT_TRUE(host.start(nullptr));
        EXPECT_TRUE(host.current() == CLSID_KeyboardIM);
        SimPumpMessages();
        EXPECT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
        calls();
        EXPECT_FALSE(host.set_current(kTestClsid)); // and a switch to it is refused
        EXPECT_TRUE(host.current() == CLSID_KeyboardIM);
        SimPumpMessages();
        Lines seen = calls();
        EXPECT_EQ(std::count(seen.begin(), seen.end(), "Hiding"), 0); // never shown, never hidden
    }
    // No panel information: a panel of the usual place; a failing Showing: it shows all the same.
    makeTestImFail(u"GetInfo");
    {
        pocketsim::SipHost host;
        ASSERT_TRUE(host.start(nullptr));
        EXPECT_TRUE(host.current() == kTestClsid);
        EXPECT_EQ(host.height(), 80);
    }
    makeTestImFail(u"Showing");
    pocketsim::SipHost host;
    ASSERT_TRUE(host.start(nullptr));
    host.show();
    EXPECT_TRUE(host.shown());
    EXPECT_TRUE(IsWindowVisible(host.window()));
}

}
