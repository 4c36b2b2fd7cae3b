#pragma once
// National language support: the user's language as the device reports it.
#include "windef.h"

typedef WORD LANGID;

#define MAKELANGID(primary, sub) ((LANGID)((((WORD)(sub)) << 10) | (WORD)(primary)))
#define PRIMARYLANGID(langid) ((WORD)(langid) & 0x3FF)
#define SUBLANGID(langid) ((WORD)(langid) >> 10)

#define LANG_NEUTRAL 0x00
#define LANG_GERMAN 0x07
#define LANG_ENGLISH 0x09
#define LANG_FRENCH 0x0C
#define LANG_RUSSIAN 0x19
#define SUBLANG_DEFAULT 0x01

// The language the user chose for the device (English, United States, unless set otherwise;
// see SimSetUserLanguage in simhost.h).
LANGID GetUserDefaultLangID();
