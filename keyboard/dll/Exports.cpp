// The entry points of magnikeys.dll: the component model's four and the key map for hosts.
#include "keyboard/InputMethodServer.h"
#include "keyboard/KeyMap.h"
#include "keyboard/kbApplication.h"

#include <libloader.h>
#include <objbase.h>

// The library is built with hidden visibility; only these entry points are seen from outside.
#define MK_EXPORT __attribute__((visibility("default")))

extern "C" MK_EXPORT BOOL WINAPI DllMain(HANDLE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        InputMethodServer::set_module(static_cast<HINSTANCE>(instance));
    if (reason == DLL_PROCESS_DETACH)
        InputMethodServer::shutdown();
    return TRUE;
}

STDAPI MK_EXPORT DllCanUnloadNow()
{
    return InputMethodServer::can_unload_now();
}

STDAPI MK_EXPORT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object)
{
    return InputMethodServer::get_class_object(clsid, iid, object);
}

STDAPI MK_EXPORT DllRegisterServer()
{
    return InputMethodServer::register_server();
}

STDAPI MK_EXPORT DllUnregisterServer()
{
    return InputMethodServer::unregister_server();
}

// The keys of the running keyboard in keyboard-window coordinates (its window handle in
// *window): fills up to capacity items and returns the number of keys, 0 without a keyboard.
extern "C" MK_EXPORT size_t MagnikeysKeyMap(KeyMapItem* items, size_t capacity, HWND* window)
{
    kbApplication* app = kbApplication::instance();
    if (window)
        *window = app ? app->main_window() : nullptr;
    if (!app)
        return 0;
    return CopyKeyMap(app->form(), items, capacity);
}
