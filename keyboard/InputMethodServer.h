#pragma once
// The library's side of the component model: its module, its lock count, the class factory,
// and its registration as an input method. The library's exported entry points lead here.
#include <objbase.h>
#include <windows.h>

// {E2452E3B-2823-4309-90CB-8787C4BA3AF7}
inline constexpr CLSID CLSID_Magnikeys { 0xE2452E3B, 0x2823, 0x4309, { 0x90, 0xCB, 0x87, 0x87, 0xC4, 0xBA, 0x3A, 0xF7 } };
inline constexpr char16_t kMagnikeysClsid[] = u"{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";
inline constexpr char16_t kPlatformKeyboardClsid[] = u"{42429667-ae04-11d0-a4f8-00aa00a749b9}";

namespace InputMethodServer {

void set_module(HINSTANCE module);
HINSTANCE module();

LONG lock_count();
void lock();
void unlock();

HRESULT can_unload_now();
// The library is being unloaded: the keyboard, its data and the application core go, then the
// log, so that nothing of the library outlives its code.
void shutdown();
HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** object);
HRESULT register_server();
HRESULT unregister_server();

}
