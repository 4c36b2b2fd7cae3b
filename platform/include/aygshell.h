#pragma once
// The shell of the pocket device: a program's menu bar and soft keys, full-screen state, and
// the extra controls (the input panel preference "SIPPREF").
#include "windef.h"
#include "winuser.h"

// ---- menu bar ---------------------------------------------------------------------
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB; // receives the menu bar window
    COLORREF clrBk; // with SHCMBF_COLORBK
};
typedef SHMENUBARINFO* PSHMENUBARINFO;

// Makes the menu bar of hwndParent: a window along the bottom of the screen that stays in
// front of its owner and ends with it. Only empty bars (SHCMBF_EMPTYBAR) are made: FALSE with
// ERROR_RESOURCE_NAME_NOT_FOUND for a bar that needs a menu resource.
BOOL SHCreateMenuBar(SHMENUBARINFO* info);

// Sent to the menu bar: how it handles a soft key (wParam VK_TSOFT1 or VK_TSOFT2). lParam's
// low word says which flags to change, its high word their values. NOTIFY passes the key to
// the owner as ordinary key messages; NODEFAULT drops the bar's own action.
#define SHCMBM_OVERRIDEKEY (WM_USER + 403)
#define SHMBOF_NODEFAULT 0x00000001
#define SHMBOF_NOTIFY 0x00000002
#define VK_TSOFT1 VK_F1
#define VK_TSOFT2 VK_F2

// ---- full screen ------------------------------------------------------------------
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// What the shell shows while hwnd is the foreground window: the taskbar at the top, the
// input panel button, the Start icon.
BOOL SHFullScreen(HWND hwnd, DWORD state);

// ---- extra controls -----------------------------------------------------------------
// Registers the shell's extra window classes, among them "SIPPREF": a hidden child that
// raises the input panel while an edit control of its parent has the focus and lowers it when
// the focus leaves the edits.
BOOL SHInitExtraControls();
#define WC_SIPPREF u"SIPPREF"

// ---- input panel preference ----------------------------------------------------------
typedef enum { SIP_UP = 0, SIP_DOWN, SIP_FORCEDOWN, SIP_UNCHANGED, SIP_INPUTDIALOG } SIPSTATE;
// What a window of a program wants of the input panel as it gains or loses the focus: SIP_UP
// (and SIP_INPUTDIALOG) raises it; SIP_DOWN lowers it once the focus has settled, unless a
// window asked for it up meanwhile (moving between two text windows leaves it up);
// SIP_FORCEDOWN lowers it at once. A Smartphone has no panel: nothing happens. FALSE for a
// handle that is no window of the program, or when the device has no panel.
BOOL SHSipPreference(HWND hwnd, SIPSTATE state);
