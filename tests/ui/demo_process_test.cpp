// The demonstration program as separate processes of one device: a later start hands its
// command line to the running one and ends with 0, also when both start at nearly once.
#include <gtest/gtest.h>

#include <shellapi.h>
#include <simhost.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "runtime/Registry.h"
#include "tests/demo/DemoApp.h"
#include "tests/support/DeviceRoot.h"

namespace {

constexpr char16_t kProgram[] = u"\\Program Files\\UiDemo\\ui_demo.exe";
constexpr char16_t kClass[] = u"ZazizurClass_UiDemo";

// The demo's main window, in whichever process of the device it lives.
HWND find_demo_window()
{
    struct Found {
        HWND window = nullptr;
    } found;
    EnumWindows(
        [](HWND w, LPARAM param) -> BOOL {
            WCHAR name[64] {};
            GetClassName(w, name, 64);
            if (std::u16string_view(name) != kClass)
                return TRUE;
            reinterpret_cast<Found*>(param)->window = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found.window;
}

struct DemoProcesses : ::testing::Test {
    TempDeviceRoot device;
    std::vector<HANDLE> started;

    void SetUp() override
    {
        namespace fs = std::filesystem;
        std::string program = device.hostPath(kProgram);
        fs::create_directories(fs::path(program).parent_path());
        fs::copy_file(MK_DEMO_PROGRAM, program, fs::copy_options::overwrite_existing);
        fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);
        fs::copy_file(MK_DEMO_DIR "/demo.skin", fs::path(program).parent_path() / "demo.skin",
            fs::copy_options::overwrite_existing);
    }
    void TearDown() override
    {
        for (int i = 0; i < 50; ++i) {
            HWND w = find_demo_window();
            if (!w)
                break;
            PostMessage(w, WM_CLOSE, 0, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (HANDLE p : started) {
            WaitForSingleObject(p, 5000);
            CloseHandle(p);
        }
    }
    HANDLE start(const char16_t* parameters)
    {
        SHELLEXECUTEINFO info {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = kProgram;
        info.lpParameters = parameters;
        info.nShow = SW_SHOW;
        EXPECT_TRUE(ShellExecuteEx(&info));
        if (info.hProcess)
            started.push_back(info.hProcess);
        return info.hProcess;
    }
    static HWND wait_for_window()
    {
        for (int i = 0; i < 200; ++i) {
            if (HWND w = find_demo_window())
                return w;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return nullptr;
    }
    static bool ended_with(HANDLE process, DWORD code)
    {
        if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0)
            return false;
        DWORD exit = 99;
        GetExitCodeProcess(process, &exit);
        return exit == code;
    }
    static std::u16string handed_over(DWORD count)
    {
        DWORD seen = 0;
        std::u16string text;
        for (int i = 0; i < 200; ++i) {
            if (RegReadNumber(DemoApp::kStateKey, u"HandOvers", seen) && seen >= count) {
                RegReadText(DemoApp::kStateKey, u"HandedOver", text);
                return text;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return u"<none>";
    }
};

} // namespace

TEST_F(DemoProcesses, LaterStartsHandTheirCommandLineOver)
{
    HANDLE first = start(u"-windowed");
    ASSERT_TRUE(first);
    ASSERT_TRUE(wait_for_window());

    HANDLE second = start(u"open the details");
    ASSERT_TRUE(second);
    EXPECT_TRUE(ended_with(second, 0));
    EXPECT_EQ(handed_over(1), u"open the details");

    HANDLE third = start(nullptr); // no command line at all
    EXPECT_TRUE(ended_with(third, 0));
    EXPECT_EQ(handed_over(2), u""); // arrives empty, not as the marker

    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT); // still running
    PostMessage(find_demo_window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(ended_with(first, 0));
}

TEST_F(DemoProcesses, TwoStartsAtOnceLeaveOneRunning)
{
    HANDLE a = start(u"alpha");
    HANDLE b = start(u"beta");
    ASSERT_TRUE(a && b);
    // Whichever took the mutex first runs; the other waited for its window and handed over.
    HANDLE ended = nullptr;
    for (int i = 0; i < 200 && !ended; ++i) {
        if (WaitForSingleObject(a, 0) == WAIT_OBJECT_0)
            ended = a;
        else if (WaitForSingleObject(b, 0) == WAIT_OBJECT_0)
            ended = b;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(ended_with(ended, 0));
    HANDLE running = ended == a ? b : a;
    EXPECT_EQ(WaitForSingleObject(running, 200), WAIT_TIMEOUT);
    EXPECT_EQ(handed_over(1), ended == a ? u"alpha" : u"beta");
}
