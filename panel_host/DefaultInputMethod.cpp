#include "panel_host/DefaultInputMethod.h"

#include "runtime/Registry.h"

#include <sip.h>

namespace pocketsim {

namespace {

constexpr char16_t kSipKey[] = u"ControlPanel\\SIP";
constexpr char16_t kSipKeyPath[] = u"HKEY_CURRENT_USER\\ControlPanel\\SIP";
constexpr char16_t kDefault[] = u"DefaultIM";

}

std::u16string DefaultInputMethod()
{
    std::u16string text;
    RegReadString(HKEY_CURRENT_USER, kSipKey, kDefault, text, MAX_PATH + 1);
    return text;
}

bool KeepDefaultInputMethod(const CLSID& clsid)
{
    WCHAR text[40];
    StringFromGUID2(clsid, text, 40);
    return RegWriteText(kSipKeyPath, kDefault, text);
}

bool MakeInputMethodCurrent(const CLSID& clsid)
{
    CLSID wanted = clsid;
    if (!SipSetCurrentIM(&wanted))
        return false;
    KeepDefaultInputMethod(clsid);
    return true;
}

}
