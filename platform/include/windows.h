#pragma once
// The device platform's API as the programs see it: one header per service.

#include "windef.h"
#include "winbase.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"
#include "wingdi.h"
#include "shellapi.h"
#include "objbase.h"
#include "libloader.h"
#include "winresource.h"
#include "commctrl.h"
#include "sip.h"
