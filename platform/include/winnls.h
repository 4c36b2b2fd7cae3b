#pragma once
// National language support: the user's language as the device reports it, and text
// conversion between UTF-16 and 8-bit code pages.
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

#define CP_ACP 0
#define CP_UTF8 65001

// Converts UTF-16 to the code page (only CP_UTF8 here). A count of -1 means a zero-terminated
// input, terminator included. With an output size of 0 returns the size needed; else the
// characters written, or 0 (ERROR_INSUFFICIENT_BUFFER) when they do not fit. A lone surrogate
// becomes U+FFFD. flags, defaultChar and usedDefault must be 0 for CP_UTF8.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR bytes, int byteCount,
    LPCSTR defaultChar, BOOL* usedDefault);
// Converts text in the code page (only CP_UTF8 here) to UTF-16, with the same counting rules;
// each broken piece of input becomes one U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide, int wideCount);
