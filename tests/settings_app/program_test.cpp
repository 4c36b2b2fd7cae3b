// optarix.exe itself, started from the installed tree as the device starts it: its end when
// the skin or the languages are missing, one running instance, and a normal end that applies
// the default-keyboard switch.
#include <gtest/gtest.h>

#include <shellapi.h>
#include <windows.h>

#include <thread>

#include "runtime/Registry.h"
#include "tests/settings_app/SettingsRun.h"

namespace {

const std::u16string kProgram = u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe";

struct Program : DeviceRootTest {
    void SetUp() override
    {
        SimUseRealClock();
        InstallSettingsData(device);
        // The log tells what the program did.
        RegWriteNumber(u"HKEY_CURRENT_USER\\Software\\Tarn", u"Log", 1);
    }
    HANDLE start(const char16_t* parameters = nullptr)
    {
        SHELLEXECUTEINFO info {};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = kProgram.c_str();
        info.lpParameters = parameters;
        EXPECT_TRUE(ShellExecuteEx(&info));
        return info.hProcess;
    }
    DWORD finish(HANDLE process, DWORD ms = 20000)
    {
        DWORD code = STILL_ACTIVE;
        EXPECT_EQ(WaitForSingleObject(process, ms), WAIT_OBJECT_0);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        return code;
    }
    // The main window of the program's process (another process: found by enumeration).
    static BOOL CALLBACK find_main_window(HWND window, LPARAM param)
    {
        WCHAR name[40] = {};
        GetClassName(window, name, 40);
        if (std::u16string(name) != u"ZazizurClass_Magnikeys")
            return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    HWND wait_for_window()
    {
        for (int i = 0; i < 1000; ++i) {
            HWND found = nullptr;
            EnumWindows(find_main_window, reinterpret_cast<LPARAM>(&found));
            if (found)
                return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return nullptr;
    }
    std::u16string log_text()
    {
        auto bytes = device.readFile(u"\\Temp\\optarix.exe.txt");
        if (!bytes || bytes->size() < 2)
            return u"";
        return std::u16string(reinterpret_cast<const char16_t*>(bytes->data() + 2), (bytes->size() - 2) / 2);
    }
};

TEST_F(Program, WithoutTheSkinItEndsWithMinusOne)
{
    std::filesystem::remove_all(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\skins"));
    DWORD code = finish(start());
    EXPECT_EQ(code, 255u); // -1 as the host keeps it
    EXPECT_NE(log_text().find(u"optarix: no skin"), std::u16string::npos) << Utf8FromUtf16(log_text());
}

TEST_F(Program, WithoutLanguagesItEndsWithZeroAndShowsNoMenu)
{
    for (const char16_t* name : { u"english.lng", u"german.lng", u"russian.lng" })
        ASSERT_TRUE(DeleteFile((u"\\Program Files\\Tarn\\Magnikeys\\" + std::u16string(name)).c_str()));
    EXPECT_EQ(finish(start()), 0u);
    EXPECT_EQ(log_text().find(u"MainForm() = "), std::u16string::npos);
}

TEST_F(Program, OneInstanceRunsAndAnEndThroughItsWindowAppliesTheSwitch)
{
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe", "selector");
    device.writeFile(u"\\Windows\\StartUp\\mk_select.exe", "selector");
    HANDLE first = start();
    HWND window = wait_for_window();
    ASSERT_NE(window, nullptr);
    // The menu is up (a later start writes the log afresh).
    for (int i = 0; i < 1000 && log_text().find(u"MainForm::OnMenu MainMenu") == std::u16string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::u16string log = log_text();
    EXPECT_NE(log.find(u"MainForm() = "), std::u16string::npos) << Utf8FromUtf16(log);
    EXPECT_NE(log.find(u"MainForm::OnMenu MainMenu"), std::u16string::npos);

    EXPECT_EQ(finish(start(u"again"), 10000), 0u); // hands over and ends

    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(first, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    EXPECT_TRUE(PostMessage(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(finish(first), 0u);
    // Nothing was changed: the startup copy stays.
    EXPECT_TRUE(device.exists(u"\\Windows\\StartUp\\mk_select.exe"));
}

}
