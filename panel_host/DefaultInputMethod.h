#pragma once
// The input method that the panel loads when it starts: the string "DefaultIM" of
// "HKEY_CURRENT_USER\ControlPanel\SIP", a class identifier in its text form.
#include <windows.h>

#include <string>

namespace pocketsim {

// The kept identifier's text, empty when none is kept.
std::u16string DefaultInputMethod();
// Keeps clsid as the default; false when the registry refuses it.
bool KeepDefaultInputMethod(const CLSID& clsid);
// As the control panel does: switches the running panel to clsid and keeps it as the default.
// False, keeping nothing, when the panel refuses it.
bool MakeInputMethodCurrent(const CLSID& clsid);

}
