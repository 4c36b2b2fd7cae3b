#include "tests/support/DeviceRoot.h"

#include <shellapi.h>
#include <simhost.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Processes : DeviceRootTest {
    void TearDown() override { SimSetModulePath(nullptr); }

    // A device program: a host script that records what it was started with (written aside and
    // moved into place, so a record seen is complete).
    void installProgram(const std::u16string& devicePath, const std::string& body)
    {
        device.writeFile(devicePath, "#!/bin/sh\n" + body);
        std::filesystem::permissions(device.hostPath(devicePath), std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    }

    std::optional<std::string> waitForFile(const std::u16string& devicePath)
    {
        for (int i = 0; i < 500 && !device.exists(devicePath); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return device.readFile(devicePath);
    }
};

TEST_F(Processes, ModuleFileNameIsTheProgramsDevicePath)
{
    SimSetModulePath(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe");
    WCHAR name[64];
    EXPECT_EQ(GetModuleFileName(nullptr, name, 64), 41u);
    EXPECT_EQ(std::u16string(name), u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe");
    // Too small a buffer: cut, terminated, and the full buffer size reported.
    EXPECT_EQ(GetModuleFileName(nullptr, name, 10), 10u);
    EXPECT_EQ(std::u16string(name), u"\\Program ");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

    SimSetModulePath(nullptr);
    ASSERT_GT(GetModuleFileName(nullptr, name, 64), 0u);
    EXPECT_EQ(std::u16string(name), u"\\Windows\\platform_tests") << "a host program outside the device";

    HMODULE library = reinterpret_cast<HMODULE>(0x1234);
    EXPECT_EQ(GetModuleFileName(library, name, 64), 0u);
    SimRegisterModule(library, u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll");
    EXPECT_EQ(GetModuleFileName(library, name, 64), 43u);
    SimUnregisterModule(library);
}

TEST_F(Processes, ShellStartsADeviceProgramWithoutWaiting)
{
    installProgram(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe",
        "sleep 0.2\n"
        "printf '%s|%s|%s' \"$POCKETSIM_MODULE\" \"$1\" \"$#\" > \"$POCKETSIM_ROOT/Temp/started.txt.part\" && mv \"$POCKETSIM_ROOT/Temp/started.txt.part\" \"$POCKETSIM_ROOT/Temp/started.txt\"\n"
        "exit 3\n");
    SHELLEXECUTEINFO info {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = u"open";
    info.lpFile = u"\\program files\\tarn\\magnikeys\\OPTARIX.EXE";
    info.lpParameters = u"-a b";
    info.nShow = SW_SHOWNORMAL;
    DWORD before = GetTickCount();
    ASSERT_TRUE(ShellExecuteEx(&info));
    EXPECT_LT(GetTickCount() - before, 150u) << "the shell must not wait for the program";
    EXPECT_GT(reinterpret_cast<intptr_t>(info.hInstApp), 32);
    ASSERT_NE(info.hProcess, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    CloseHandle(info.hProcess);
    EXPECT_EQ(waitForFile(u"\\Temp\\started.txt"), "\\program files\\tarn\\magnikeys\\OPTARIX.EXE|-a b|1");
}

TEST_F(Processes, OpenProcessTellsARunningProcessFromOneThatEnded)
{
    HANDLE self = OpenProcess(0, FALSE, GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(self, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    CloseHandle(self);

    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    HANDLE other = OpenProcess(0, FALSE, static_cast<DWORD>(child));
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(GetExitCodeProcess(other, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(other, 20), WAIT_TIMEOUT);
    kill(child, SIGKILL);
    // Ended, even before anyone waited for it.
    EXPECT_EQ(WaitForSingleObject(other, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(other, &code));
    EXPECT_NE(code, DWORD(STILL_ACTIVE));
    waitpid(child, nullptr, 0);
    CloseHandle(other);
    EXPECT_EQ(OpenProcess(0, FALSE, static_cast<DWORD>(child)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(OpenProcess(0, FALSE, 0), nullptr);
}

TEST_F(Processes, ShellRefusesWhatItCannotRun)
{
    SHELLEXECUTEINFO info {};
    info.cbSize = sizeof info;
    info.lpFile = u"\\Windows\\missing.exe";
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(reinterpret_cast<intptr_t>(info.hInstApp), SE_ERR_FNF);

    device.writeFile(u"\\My Documents\\notes.txt", "text");
    info.lpFile = u"\\My Documents\\notes.txt";
    EXPECT_FALSE(ShellExecuteEx(&info)) << "not a program";

    installProgram(u"\\Windows\\ok.exe", "exit 0\n");
    info.lpFile = u"\\Windows\\ok.exe";
    info.lpVerb = u"print";
    EXPECT_FALSE(ShellExecuteEx(&info));
    EXPECT_EQ(reinterpret_cast<intptr_t>(info.hInstApp), SE_ERR_NOASSOC);
    info.lpVerb = nullptr;
    EXPECT_TRUE(ShellExecuteEx(&info)) << "no verb means open";
    EXPECT_EQ(info.hProcess, nullptr) << "no handle unless asked for";
}

}
