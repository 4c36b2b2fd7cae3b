#pragma once
// Graphics device interface: device contexts, 16-bit DIB sections, block copies, fonts and text.
// The device's display is 16 bits per pixel (RGB565); so are all surfaces here.
#include "windef.h"

typedef INT* LPINT;

// ---- colours and modes ----------------------------------------------------------
#define CLR_INVALID 0xFFFFFFFF
#define TRANSPARENT 1
#define OPAQUE 2

COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);

// ---- device contexts and objects ----------------------------------------------
// GetDeviceCaps indices.
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define LOGPIXELSX 88
#define LOGPIXELSY 90

#define DT_RASDISPLAY 1
#define RC_BITBLT 1

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

// A memory device context compatible with dc (or with the screen when dc is NULL); it starts
// with a 1x1 placeholder bitmap selected.
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
// Returns the object of the same kind that was selected before, or NULL when obj cannot be
// selected (a bitmap into a window's device context, a bitmap already selected elsewhere).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
// Fails for an object still selected into a device context; stock objects stay.
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int object);
int GetDeviceCaps(HDC dc, int index);

// A brush of one colour, for FillRect and the control-colour messages; DeleteObject frees it.
HBRUSH CreateSolidBrush(COLORREF color);

COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// ---- bitmaps and block copies -----------------------------------------------------
#define BI_RGB 0L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // negative: rows top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
typedef BITMAPINFOHEADER* LPBITMAPINFOHEADER;

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// With BI_BITFIELDS the three colour entries hold the red, green and blue masks as DWORDs.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[3];
};
typedef BITMAPINFO* LPBITMAPINFO;

// Sections in the display's own format only: 16 bits, BI_BITFIELDS with the masks 0xF800,
// 0x07E0, 0x001F. Rows are top-down for a negative biHeight, else bottom-up.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);

#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define NOTSRCCOPY 0x00330008
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop);

// ---- fonts ----------------------------------------------------------------------
#define LF_FACESIZE 32

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define RUSSIAN_CHARSET 204

#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0
#define FF_SWISS 0x20

struct LOGFONTW {
    LONG lfHeight; // < 0: character height in pixels; > 0: cell height; 0: default size
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};
typedef LOGFONTW LOGFONT;
typedef LOGFONTW* LPLOGFONT;

// tmPitchAndFamily bits (set bits mean the feature is present, except TMPF_FIXED_PITCH, which
// is set for variable pitch fonts, as on the device).
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
typedef TEXTMETRICW TEXTMETRIC;
typedef TEXTMETRICW* LPTEXTMETRIC;

HFONT CreateFontIndirect(const LOGFONTW* font);
BOOL GetTextMetrics(HDC dc, TEXTMETRICW* metrics);
// The family name of the face the selected font was matched to (the platform substitutes a
// face it lacks), cut to count characters with its terminator; with a null buffer, the length
// needed. Returns the characters written, terminator included.
int GetTextFace(HDC dc, int count, LPWSTR faceName);

// ---- text -----------------------------------------------------------------------
// Advances are whole pixels and simply add up (no kerning), as on the device.
// count -1 means up to the terminating NUL. fit and dx may be NULL; dx receives the running
// extent after each character.
BOOL GetTextExtentExPoint(HDC dc, LPCWSTR text, int count, int maxExtent, LPINT fit, LPINT dx,
                          LPSIZE size);
BOOL GetTextExtentPoint32(HDC dc, LPCWSTR text, int count, LPSIZE size);

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_EXTERNALLEADING 0x00000200
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_END_ELLIPSIS 0x00008000
#define DT_WORD_ELLIPSIS 0x00040000

// Lines are one font height apart. DT_VCENTER and DT_BOTTOM apply to single-line text only.
// Without DT_NOCLIP nothing is drawn outside rect. Returns the height of the text (with
// DT_VCENTER or DT_BOTTOM: from rect->top to the bottom of the text), 0 for an empty text.
int DrawText(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
