#pragma once
// Software input panel (SIP): the interface an input method implements (IInputMethod), the one
// the panel hands it to send input back (IIMCallback), their records, and the functions that
// programs call to show, hide and switch the panel.
#include "windef.h"
#include "objbase.h"
#include "commctrl.h"

// ---- records ----------------------------------------------------------------------
// Panel state flags (IMINFO::fdwFlags, SIPINFO::fdwFlags, SipShowIM).
#define SIPF_OFF 0x00000000
#define SIPF_ON 0x00000001
#define SIPF_DOCKED 0x00000002
#define SIPF_LOCKED 0x00000004
#define SIPF_DISABLECOMPLETION 0x00000008

// What an input method tells the panel: its images for the menu bar's panel button (the narrow
// and the wide one, each an image list and an index) and where the panel sits on the screen.
// 40 bytes, as on the device.
struct IMINFO {
    DWORD cbSize;
    HIMAGELIST hImageNarrow;
    HIMAGELIST hImageWide;
    int iNarrow;
    int iWide;
    DWORD fdwFlags;
    RECT rcSipRect;
};
typedef IMINFO* LPIMINFO;
static_assert(sizeof(IMINFO) == 40, "IMINFO keeps the device's layout");

// What the panel tells: its state, the part of the screen that applications may use while it
// is up (rcVisibleDesktop) and its own rectangle. cbSize must be set to sizeof(SIPINFO) (48, the
// size it has on the device, is accepted too).
struct SIPINFO {
    DWORD cbSize;
    DWORD fdwFlags;
    RECT rcVisibleDesktop;
    RECT rcSipRect;
    DWORD dwImDataSize;
    void* pvImData;
};
typedef SIPINFO* LPSIPINFO;

// ---- input from an input method -------------------------------------------------------
// SendVirtualKey flags.
#define KEYEVENTF_KEYUP 0x0002
#define KEYEVENTF_SILENT 0x0004

// SendCharEvents key-state flags (uKeyFlags): a press carries KeyStateDownFlag, a release
// KeyStatePrevDownFlag without it.
#define KeyStateToggledFlag 0x0001
#define KeyStateGetAsyncDownFlag 0x0002
#define KeyStatePrevDownFlag 0x0040
#define KeyStateDownFlag 0x0080
// Shift-state words (one per character, puShift): the key state in the low byte plus these.
// A character whose word has KeyShiftNoCharacterFlag produces no character message.
#define KeyShiftNoCharacterFlag 0x00010000
#define KeyShiftDeadFlag 0x00020000
#define KeyShiftUseVKNullFlag 0x01000000
#define KeyShiftCapitalFlag 0x02000000
#define KeyShiftAnyShiftFlag 0x04000000
#define KeyShiftAnyAltFlag 0x08000000
#define KeyShiftAnyCtrlFlag 0x40000000
typedef UINT KEY_STATE_FLAGS;
typedef WCHAR* BSTR;

// {42429666-AE04-11D0-A4F8-00AA00A749B9}
inline constexpr IID IID_IInputMethod { 0x42429666, 0xAE04, 0x11D0, { 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9 } };
// {42429668-AE04-11D0-A4F8-00AA00A749B9}
inline constexpr IID IID_IIMCallback { 0x42429668, 0xAE04, 0x11D0, { 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9 } };
// The platform's own keyboard, {42429667-ae04-11d0-a4f8-00aa00a749b9}, registered on every device.
inline constexpr CLSID CLSID_KeyboardIM { 0x42429667, 0xAE04, 0x11D0, { 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9 } };

// Handed to the input method by RegisterCallback; valid until the method is released. Every
// call reaches the focused window in call order.
struct IIMCallback : IUnknown {
    // New panel rectangle and images: the panel moves its window (and tells the method again
    // through ReceiveSipInfo). E_INVALIDARG for a null record or a cbSize other than 40.
    STDMETHOD(SetImInfo)(IMINFO* info) PURE;
    // One key transition: WM_KEYDOWN, or WM_KEYUP with KEYEVENTF_KEYUP.
    STDMETHOD(SendVirtualKey)(BYTE virtualKey, DWORD flags) PURE;
    // A press (KeyStateDownFlag in keyFlags) gives WM_KEYDOWN for virtualKey (when not 0), then
    // one WM_CHAR for each character whose shift word lacks KeyShiftNoCharacterFlag; a release
    // gives WM_KEYUP. E_INVALIDARG when count > 0 and an array is null.
    STDMETHOD(SendCharEvents)(UINT virtualKey, UINT keyFlags, UINT count, UINT* shiftStates, UINT* characters) PURE;
    // The characters as WM_CHAR messages.
    STDMETHOD(SendString)(BSTR text, DWORD count) PURE;
};
typedef IIMCallback* LPIMCALLBACK;

// Implemented by an input method; the panel calls it on its own thread.
struct IInputMethod : IUnknown {
    STDMETHOD(Select)(HWND sipWindow) PURE;
    STDMETHOD(Deselect)() PURE;
    STDMETHOD(Showing)() PURE;
    STDMETHOD(Hiding)() PURE;
    STDMETHOD(GetInfo)(IMINFO* info) PURE;
    STDMETHOD(ReceiveSipInfo)(SIPINFO* info) PURE;
    STDMETHOD(RegisterCallback)(IIMCallback* callback) PURE;
    STDMETHOD(GetImData)(DWORD size, LPVOID data) PURE;
    STDMETHOD(SetImData)(DWORD size, LPVOID data) PURE;
    STDMETHOD(UserOptionsDlg)(HWND parent) PURE;
};
typedef IInputMethod* LPINPUTMETHOD;

// ---- panel functions ----------------------------------------------------------------------
// Registry: an input method is a class "HKEY_CLASSES_ROOT\CLSID\{...}" with "InprocServer32"
// (its library), "IsSIPInputMethod" = "1" and "DefaultIcon" ("file,index"). The panel starts
// with the method named by the string "DefaultIM" of "HKEY_CURRENT_USER\ControlPanel\SIP".

// WM_SETTINGCHANGE parameters sent to top-level windows when the panel shows, hides or moves
// (SPI_SETSIPINFO) and when the current input method changes (SPI_SETCURRENTIM).
#define SPI_SETSIPINFO 224
#define SPI_GETSIPINFO 225
#define SPI_SETCURRENTIM 226
#define SPI_GETCURRENTIM 227

#define SIP_STATUS_UNAVAILABLE 0
#define SIP_STATUS_AVAILABLE 1
// SIP_STATUS_AVAILABLE while the device runs an input panel.
DWORD SipStatus();
// SIPF_ON shows the panel, SIPF_OFF hides it. The panel acts on it from its own message loop,
// after the caller's current message (an input method may call it from its window procedure).
// FALSE (ERROR_INVALID_WINDOW_HANDLE) when the device has no panel.
BOOL SipShowIM(DWORD flags);
// Fills info (cbSize sizeof(SIPINFO) or 48; ERROR_INVALID_PARAMETER otherwise):
// flags, the visible desktop and the panel rectangle. Without a panel: off, the whole work area.
BOOL SipGetInfo(SIPINFO* info);
// Moves the panel to info->rcSipRect and shows or hides it by info->fdwFlags.
BOOL SipSetInfo(SIPINFO* info);
// The class identifier of the current input method (without a running panel: "DefaultIM",
// else the platform's keyboard).
BOOL SipGetCurrentIM(CLSID* clsid);
// Makes the input method of clsid current: the panel deselects and releases the current one,
// then creates and selects the new one. FALSE (ERROR_INVALID_PARAMETER) for an identifier
// that names no registered input method, or for one that fails to load; the current method
// then stays. Without a running panel it only checks the registration.
BOOL SipSetCurrentIM(CLSID* clsid);

// The registered input methods, each with its name (the class key's default value).
struct IMENUMINFO {
    WCHAR szName[MAX_PATH];
    CLSID clsid;
};
typedef IMENUMINFO* PIMENUMINFO;
// The callback returns 0 to stop. Returns the number of methods enumerated.
typedef int (*IMENUMPROC)(IMENUMINFO* info);
int SipEnumIM(IMENUMPROC callback);
