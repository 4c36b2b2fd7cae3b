// mk_select.exe started as the device starts it, against a panel window played by the test:
// the panel records every switch it is asked for and either takes it or keeps its method.
#include "tests/support/DeviceRoot.h"

#include <objbase.h>
#include <shellapi.h>
#include <simhost.h>
#include <sip.h>
#include <winbase.h>
#include <winreg.h>
#include <winuser.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const CLSID kMagnikeys { 0xE2452E3B, 0x2823, 0x4309, { 0x90, 0xCB, 0x87, 0x87, 0xC4, 0xBA, 0x3A, 0xF7 } };
const CLSID kOther { 0x11111111, 0x2222, 0x3333, { 0x44, 0x44, 0x55, 0x55, 0x66, 0x66, 0x77, 0x77 } };
const char16_t kSelector[] = u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe";

bool same(const CLSID& a, const CLSID& b)
{
    return std::memcmp(&a, &b, sizeof(CLSID)) == 0;
}

struct Panel {
    CLSID current {};
    bool accepts = true;
    std::vector<CLSID> requests;
    std::vector<DWORD> requestTicks;
};
Panel* g_panel = nullptr;

void publish()
{
    SIPINFO info {};
    info.cbSize = sizeof info;
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    SimPublishSipState(info, g_panel->current);
}

LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        auto* copy = reinterpret_cast<COPYDATASTRUCT*>(lParam);
        if (copy->dwData == SIM_SIP_SETIM && copy->cbData == sizeof(CLSID)) {
            CLSID wanted;
            std::memcpy(&wanted, copy->lpData, sizeof wanted);
            g_panel->requests.push_back(wanted);
            g_panel->requestTicks.push_back(GetTickCount());
            if (g_panel->accepts) {
                g_panel->current = wanted;
                publish();
            }
            return g_panel->accepts;
        }
    }
    return DefWindowProc(window, message, wParam, lParam);
}

void registerMethod(const CLSID& clsid)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    std::u16string key = std::u16string(u"CLSID\\") + text;
    for (auto [sub, value] : { std::pair { u"\\InprocServer32", u"\\Windows\\im.dll" }, std::pair { u"\\IsSIPInputMethod", u"1" } }) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, (key + sub).c_str(), 0, nullptr, 0, 0, nullptr, &k, nullptr), ERROR_SUCCESS);
        std::u16string v = value;
        RegSetValueEx(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), DWORD((v.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(k);
    }
}

class Selector : public DeviceRootTest {
protected:
    void SetUp() override
    {
        g_panel = &panel;
        std::ifstream in(MK_SELECTOR_BINARY, std::ios::binary);
        device.writeFile(kSelector, std::string(std::istreambuf_iterator<char>(in), {}));
        std::string host = device.hostPath(kSelector);
        ASSERT_EQ(chmod(host.c_str(), 0755), 0);
        registerMethod(CLSID_KeyboardIM);
        registerMethod(kOther);

        WNDCLASS wc {};
        wc.lpfnWndProc = panelProc;
        wc.lpszClassName = SIM_SIP_CLASS;
        RegisterClass(&wc);
        window = CreateWindowEx(0, SIM_SIP_CLASS, u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        SimUseVirtualClock(1000);
        ASSERT_TRUE(SimShareVirtualClock());
        SimStartProgramsOnVirtualClock(true);
    }
    void TearDown() override
    {
        if (process)
            CloseHandle(process);
        SimClearSipState();
        DestroyWindow(window);
        UnregisterClass(SIM_SIP_CLASS, nullptr);
        SimUseRealClock();
        g_panel = nullptr;
    }

    void start(const char16_t* parameters = nullptr)
    {
        publish();
        SHELLEXECUTEINFO info {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = kSelector;
        info.lpParameters = parameters;
        ASSERT_TRUE(ShellExecuteEx(&info));
        process = info.hProcess;
        started = GetTickCount();
    }
    DWORD exitCode()
    {
        // The host stops at the program's wake-up until it ended; the wait is only a guard.
        EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(process, &code);
        return code;
    }

    Panel panel;
    HWND window = nullptr;
    HANDLE process = nullptr;
    DWORD started = 0;
};

TEST_F(Selector, SwitchesToTheKeyboardAfterFiveSecondsAndSucceeds)
{
    registerMethod(kMagnikeys);
    panel.current = CLSID_KeyboardIM;
    start();
    ASSERT_TRUE(SimRunFor(4999));
    EXPECT_TRUE(panel.requests.empty()) << "no switch before 5000 ms";
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SimRunFor(100));
    EXPECT_EQ(exitCode(), 0u);
    ASSERT_EQ(panel.requests.size(), 1u);
    EXPECT_TRUE(same(panel.requests[0], kMagnikeys));
    EXPECT_EQ(panel.requestTicks[0] - started, 5000u) << "the host stops at the moment the program wakes";
    EXPECT_TRUE(same(panel.current, kMagnikeys));
}

TEST_F(Selector, AlreadyCurrentSucceedsWithoutRestoring)
{
    registerMethod(kMagnikeys);
    panel.current = kMagnikeys;
    start();
    ASSERT_TRUE(SimRunFor(5100));
    EXPECT_EQ(exitCode(), 0u);
    ASSERT_EQ(panel.requests.size(), 1u);
    EXPECT_TRUE(same(panel.requests[0], kMagnikeys));
}

TEST_F(Selector, APanelThatKeepsItsMethodGetsItBackAndTheSelectorFails)
{
    registerMethod(kMagnikeys);
    panel.current = kOther;
    panel.accepts = false;
    start();
    ASSERT_TRUE(SimRunFor(5100));
    EXPECT_EQ(exitCode(), 1u);
    ASSERT_EQ(panel.requests.size(), 2u);
    EXPECT_TRUE(same(panel.requests[0], kMagnikeys));
    EXPECT_TRUE(same(panel.requests[1], kOther)) << "the previous method is made current once more";
}

TEST_F(Selector, AnUnregisteredKeyboardLeavesThePreviousMethod)
{
    panel.current = CLSID_KeyboardIM;
    start();
    ASSERT_TRUE(SimRunFor(5100));
    EXPECT_EQ(exitCode(), 1u);
    // The platform refuses the unknown identifier itself; only the restore reaches the panel.
    ASSERT_EQ(panel.requests.size(), 1u);
    EXPECT_TRUE(same(panel.requests[0], CLSID_KeyboardIM));
    EXPECT_TRUE(same(panel.current, CLSID_KeyboardIM));
}

TEST_F(Selector, ArgumentsChangeNothing)
{
    registerMethod(kMagnikeys);
    panel.current = CLSID_KeyboardIM;
    start(u"/now --fast 0");
    ASSERT_TRUE(SimRunFor(4999));
    EXPECT_TRUE(panel.requests.empty());
    ASSERT_TRUE(SimRunFor(100));
    EXPECT_EQ(exitCode(), 0u);
    EXPECT_EQ(panel.requests.size(), 1u);
}

}
