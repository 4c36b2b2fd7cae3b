// The single-instance rule: a later start of the program hands its command line to the running
// instance's main window (or brings that instance's message box forward) and ends.
#include "ui/GameBase.h"

#include <cstdio>

#include "runtime/Log.h"

namespace {

struct Search {
    std::u16string command_line;
    std::u16string title; // the application name: the main window's and message boxes' title
    std::u16string window_class;
    bool found = false;
};

Search g_search;

std::u16string handle_text(HWND window)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<void*>(window));
    std::u16string out;
    for (const char* p = text; *p; ++p)
        out.push_back(static_cast<unsigned char>(*p));
    return out;
}

BOOL CALLBACK EnumProc(HWND window, LPARAM)
{
    WCHAR name[40] {};
    GetClassName(window, name, 40);
    if (GetParent(window))
        return TRUE;
    std::u16string class_name(name);
    if (class_name == g_search.window_class) {
        Log().append(u"Application::EnumProc window found hwnd=").append(handle_text(window)).append(u" 1\n");
        g_search.found = true;
        // An empty line would arrive as no data at all: a marker stands for it.
        std::u16string_view data = g_search.command_line.empty() ? std::u16string_view(u"%CommandLineEmpty%") : std::u16string_view(g_search.command_line);
        COPYDATASTRUCT cds {};
        cds.dwData = 0;
        cds.cbData = static_cast<DWORD>(data.size() * 2);
        cds.lpData = const_cast<char16_t*>(data.data());
        SendMessage(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
        Log().append(u"Application::EnumProc window found 2\n");
        return FALSE;
    }
    if (class_name == u"Dialog") {
        WCHAR title[261] {};
        GetWindowText(window, title, 261);
        if (g_search.title == title) {
            Log().append(u"Application::EnumProc window found 2\n");
            g_search.found = true;
            SetForegroundWindow(window);
            return FALSE;
        }
    }
    return TRUE;
}

}

bool GameBase::show_running_instance(std::u16string_view command_line, std::u16string_view application_name)
{
    Log().append(u"Application::show_running_instance_open_bracket cmd_line=").append(command_line).append(u"\n");
    g_search.command_line = command_line;
    g_search.title = application_name;
    g_search.window_class = u"ZazizurClass_" + std::u16string(application_name);
    g_search.found = false;
    HANDLE mutex = CreateMutex(nullptr, FALSE, g_search.window_class.c_str());
    if (!mutex) {
        Log().append(u"Application::show_running_instance_open_bracket mutex==0\n");
        return false;
    }
    // A first instance still starting holds the mutex until its main window exists.
    WaitForSingleObject(mutex, INFINITE);
    set_single_instance_mutex(mutex);
    EnumWindows(EnumProc, 0);
    if (g_search.found) {
        // This start ends here; the mutex is no longer needed to wait for a window.
        set_single_instance_mutex(nullptr);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return g_search.found;
}
