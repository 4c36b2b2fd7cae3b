// COM initialisation: a per-thread count, which is all that in-process components need here.
#include <objbase.h>

namespace {
thread_local int t_initCount = 0;
}

HRESULT CoInitializeEx(LPVOID, DWORD)
{
    return t_initCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_initCount > 0)
        --t_initCount;
}
