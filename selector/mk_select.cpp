// The startup selector: at boot, once the shell and the input panel have settled, makes the
// Magnikeys keyboard the current input method, and gives the previous one back when the switch
// does not take, so the user is never left without a keyboard.
#include <sip.h>
#include <windows.h>

#include <cstring>

namespace {

// The class identifier that magnikeys.dll registers; the selector carries its own copy so that
// it needs nothing but the platform.
const CLSID kMagnikeys { 0xE2452E3B, 0x2823, 0x4309, { 0x90, 0xCB, 0x87, 0x87, 0xC4, 0xBA, 0x3A, 0xF7 } };

}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    Sleep(5000);
    CLSID previous {};
    CLSID result {};
    CLSID wanted = kMagnikeys;
    // Only the identifier read back decides; what the calls return is not trusted.
    SipGetCurrentIM(&previous);
    SipSetCurrentIM(&wanted);
    SipGetCurrentIM(&result);
    if (std::memcmp(&wanted, &result, sizeof(CLSID)) == 0)
        return 0;
    SipSetCurrentIM(&previous);
    return 1;
}
