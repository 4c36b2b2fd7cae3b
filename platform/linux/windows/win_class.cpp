// Window classes: one process-wide table, names compared without regard to case.
#include "win_internal.h"
#include "win_remote.h"

#include <winbase.h>

#include <algorithm>

namespace wm {

namespace {

std::vector<std::shared_ptr<WindowClass>>& classes()
{
    static std::vector<std::shared_ptr<WindowClass>> table;
    return table;
}

bool isAtom(LPCWSTR name)
{
    return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

std::u16string foldAscii(std::u16string_view s)
{
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return out;
}

}

std::shared_ptr<WindowClass> findClass(LPCWSTR name)
{
    if (!name)
        return nullptr;
    auto& table = classes();
    if (isAtom(name)) {
        size_t index = reinterpret_cast<uintptr_t>(name);
        if (index == 0 || index > table.size())
            return nullptr;
        return table[index - 1];
    }
    std::u16string key = foldAscii(name);
    for (auto& c : table)
        if (c && foldAscii(c->name) == key)
            return c;
    // The platform's own classes exist in every process without being registered.
    thread_local bool registering = false;
    if (registering)
        return nullptr;
    registering = true;
    bool made = registerBuiltinClass(key);
    registering = false;
    if (made)
        for (auto& c : table)
            if (c && foldAscii(c->name) == key)
                return c;
    return nullptr;
}

bool registerBuiltinClass(std::u16string_view folded)
{
    if (folded == u"edit")
        return registerEditClass();
    if (folded == u"dialog")
        return registerDialogClass();
    if (folded == u"menu_worker")
        return registerMenuBarClass();
    return false;
}

}

using namespace wm;

ATOM RegisterClass(const WNDCLASS* windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc
        || reinterpret_cast<uintptr_t>(windowClass->lpszClassName) < 0x10000
        || windowClass->cbWndExtra < 0 || windowClass->cbWndExtra > 4096) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Guard g(lock());
    if (findClass(windowClass->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<WindowClass>();
    c->wc = *windowClass;
    c->name = windowClass->lpszClassName;
    if (windowClass->lpszMenuName && reinterpret_cast<uintptr_t>(windowClass->lpszMenuName) >= 0x10000)
        c->menuName = windowClass->lpszMenuName;
    c->wc.lpszClassName = c->name.c_str();
    c->wc.lpszMenuName = c->menuName.empty() ? windowClass->lpszMenuName : c->menuName.c_str();
    auto& table = classes();
    for (size_t i = 0; i < table.size(); ++i) {
        if (!table[i]) {
            table[i] = c;
            return static_cast<ATOM>(i + 1);
        }
    }
    if (table.size() >= 0xBFFF) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    table.push_back(c);
    return static_cast<ATOM>(table.size());
}

BOOL UnregisterClass(LPCWSTR className, HINSTANCE)
{
    Guard g(lock());
    auto c = findClass(className);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->windowCount > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    for (auto& slot : classes())
        if (slot == c)
            slot.reset();
    return TRUE;
}

BOOL GetClassInfo(HINSTANCE, LPCWSTR className, WNDCLASS* windowClass)
{
    Guard g(lock());
    auto c = findClass(className);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (windowClass)
        *windowClass = c->wc;
    return TRUE;
}

int GetClassName(HWND window, LPWSTR className, int maxCount)
{
    std::u16string name;
    {
        Guard g(lock());
        Window* w = find(window);
        RemoteWindow remote;
        if (w) {
            name = w->cls->name;
        } else if (remoteWindow(window, remote)) {
            name = remote.className;
        } else {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    return copyText(name, className, maxCount);
}

namespace wm {

// A library going away takes the classes it registered and left behind: their window
// procedures are about to be unmapped.
void forgetClassesOf(HINSTANCE module)
{
    Guard g(lock());
    for (auto& slot : classes())
        if (slot && module && slot->wc.hInstance == module && slot->windowCount == 0)
            slot.reset();
}

}
