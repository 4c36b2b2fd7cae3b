#pragma once
// Controls of the device stand-in that only the host side uses: pocketsim, tests and tools.
// Product code never includes this header; a port to the real device drops it.
#include "windef.h"

// ---- clock ----------------------------------------------------------------
// The clock is real until a host switches it to virtual time. Virtual time moves only
// through SimSetTicks/SimAdvanceTicks or a Sleep on the virtual clock.
void SimUseVirtualClock(DWORD startTicks);
void SimUseRealClock();
bool SimClockIsVirtual();
void SimSetTicks(DWORD ticks);
void SimAdvanceTicks(DWORD milliseconds);
// Shares the virtual clock with device programs: those started (ShellExecuteEx) while
// SimStartProgramsOnVirtualClock is on follow it with GetTickCount, Sleep and timers, and
// SimRunFor stops at each moment one of them wakes until it has done its work. Other programs
// keep the real clock. False when the clock is real or the page cannot be made.
bool SimShareVirtualClock();
void SimStartProgramsOnVirtualClock(bool on);


// ---- device root --------------------------------------------------------------
// One host folder plays the device's file system. Default: ~/.local/share/pocketsim/device,
// overridden by the environment variable POCKETSIM_ROOT or by SimSetDeviceRoot (tests).
// Setting the root also switches the registry to that root's hive. The device's standard
// folders are created in a root when it is first used. Host bookkeeping (the registry hive,
// storage-card marks) lives in entries named ".pocketsim..." that the device never sees.
void SimSetDeviceRoot(const char* hostFolder);
const char* SimDeviceRoot();
// Host path of a device path ("\Windows\x.txt" -> "<root>/Windows/x.txt"), matching existing
// names without regard to case. Returns false when the device path is not absolute.
bool SimHostPath(LPCWSTR devicePath, char* hostPath, size_t hostPathSize);
// Device path of a host path inside the device root; false for a host path outside it.
bool SimDevicePath(const char* hostPath, WCHAR* devicePath, size_t devicePathSize);
// Makes (or marks) the folder "\<name>" at the root a storage card: the device reports it
// with FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY. The mark is a file
// ".pocketsim-card" inside the folder, so a card can also be prepared with plain host tools.
bool SimMakeStorageCard(LPCWSTR name);
// Moves a special folder (CSIDL_* id) to another device path, or makes the platform unable to
// tell it (devicePath NULL); SimResetSpecialFolders restores the standard ones.
void SimSetSpecialFolder(int csidl, LPCWSTR devicePath);
void SimResetSpecialFolders();

// The program's own device path (GetModuleFileName(NULL)). Taken, in this order, from
// SimSetModulePath, the environment variable POCKETSIM_MODULE (set by ShellExecuteEx for the
// programs it starts), the host executable when it lies inside the device root, and otherwise
// "\Windows\" + the host executable's file name.
void SimSetModulePath(LPCWSTR devicePath); // NULL returns to the default
// Names the device path of a loaded library so that GetModuleFileName(module) reports it.
void SimRegisterModule(HMODULE module, LPCWSTR devicePath);
void SimUnregisterModule(HMODULE module);
// ShellExecuteEx runs a device program by executing its file in the device root as a host
// program (an ELF binary or a script with "#!"), with POCKETSIM_ROOT and POCKETSIM_MODULE set
// and the parameters, when there are any, as its single argument.


// ---- images -------------------------------------------------------------------
// 16-bit RGB565 pixels to and from PNG: screenshots, frame dumps and golden images.
// pitch is in pixels. Reading converts 8-bit RGB(A) PNGs to RGB565 (alpha ignored).
bool SimWritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitch);
bool SimReadPng565(const char* path, uint16_t** pixels, int* width, int* height); // free with SimFreePng
void SimFreePng(uint16_t* pixels);
// Glyphs FreeType has loaded in this process, for measuring or drawing text.
unsigned long SimGlyphLoadCount();


// ---- screen and display -------------------------------------------------------
// Device geometry: "qvga" (240x320, 96 dpi), "vga" (480x640, 192 dpi), their sideways
// variants "qvga-landscape" and "vga-landscape" (reported as rotated by 90 degrees), or
// "WIDTHxHEIGHT@DPI". Without a call the environment variable POCKETSIM_GEOMETRY names it, else
// "qvga". Returns false for a name it does not know (the geometry stays).
bool SimSetGeometry(const char* name);
void SimGetGeometry(int* width, int* height, int* dpi, DWORD* orientation);

// Opens the display back end that shows the screen: "sdl" (a window on the host, the mouse as
// the stylus, the host keyboard as the device's keys) or "headless" (the screen stays in
// memory). NULL chooses: POCKETSIM_DISPLAY when set, else SDL when the host has a display, else
// headless. The thread that opens the display presents the screen. With POCKETSIM_SAVE_FRAMES=DIR
// every presented frame is also written to DIR as frame-NNNNNN.png.
bool SimOpenDisplay(const char* backend);
void SimCloseDisplay();
const char* SimDisplayName(); // "none" before SimOpenDisplay
// Composes the screen when windows changed and shows it.
void SimPresent();
// The composed screen (valid until the next call that changes windows); pitch in pixels.
const uint16_t* SimScreenPixels(int* width, int* height, int* pitch);
bool SimSaveScreenshot(const char* pngPath);
// A window's own backing store (what it last drew), for tests.
bool SimWindowPixels(HWND window, const uint16_t** pixels, int* width, int* height);

// Input as the device's drivers deliver it, in screen coordinates: to the capture window, else
// to the window under the point. Moves count only while the stylus is down.
void SimStylusDown(int x, int y);
void SimStylusMove(int x, int y);
void SimStylusUp(int x, int y);
POINT SimLastStylusPoint();
// Hardware keys go to the focus window (else the active window); characters arrive as WM_CHAR.
void SimKeyDown(int virtualKey);
void SimKeyUp(int virtualKey);
void SimTypeChar(WCHAR ch);

// Handles the calling thread's messages until none is left; false once WM_QUIT was retrieved
// (it stays posted for the thread's own loop).
bool SimPumpMessages();
// Runs the calling thread for a while: under the virtual clock it steps time to each of the
// thread's timers that falls due within the span, in due order, handling messages at each step,
// and ends exactly milliseconds later; under the real clock it handles messages and display
// input for that long. False once WM_QUIT was retrieved.
bool SimRunFor(DWORD milliseconds);
// Reads the display's input (mouse, keys, window closed) and delivers it as device input.
// False once the user closed the display window.
bool SimPollDisplay();

// For a host that waits in a poll() loop of its own, on its window system's connection and
// the device's work together, instead of SimRunFor's steps:
//   for (;;) { SimPumpMessages(); SimPollDisplay(); poll(SimDisplayFd, SimThreadEventFd,
//              timeout SimNextTimerDue()); }
// An event descriptor (eventfd) of the calling thread: readable once something was posted or
// sent to the thread, a window of it needs painting, a timer was set, another program's
// picture changed or the thread was told to quit; SimPumpMessages drains it before it looks at
// the queue. -1 when it cannot be made.
int SimThreadEventFd();
// Milliseconds until the calling thread's next timer falls due (0: due now), INFINITE without one.
DWORD SimNextTimerDue();
// The descriptor the open display back end reads its input from (the X connection), -1 when
// it has none to wait on; events it may already have read are taken by SimPollDisplay.
int SimDisplayFd();

// The screen's resolution and dots per inch as GetDeviceCaps reports them (default 240x320 at
// 96 dpi). Values of 0 or less leave that metric as it is.
void SimSetDeviceMetrics(int width, int height, int dpi);

// The user's language that GetUserDefaultLangID reports, for this process and the programs it
// starts from now on (the environment variable POCKETSIM_LANGUAGE, a number such as 0x0407);
// 0 returns to the default, English (United States).
typedef WORD LANGID;
void SimSetUserLanguage(LANGID language);


// ---- one screen for every program of the device -----------------------------------
// Every process of a device composes the same screen: its own windows and the other processes'
// pictures (shared memory) in one z-order. The device host names its shell window, which hears
// SIM_WM_SHELL notifications: wParam SIM_SHELL_FOREGROUND (the foreground window changed) or
// SIM_SHELL_FULLSCREEN (a window's SHFullScreen state changed).
#define SIM_WM_SHELL 0xBF00
#define SIM_SHELL_FOREGROUND 1
#define SIM_SHELL_FULLSCREEN 2
void SimSetShellWindow(HWND window);
// The SHFullScreen state (SHFS_* bits) last set for a window of any process of the device.
DWORD SimShellState(HWND window);
// Waits (real time, at most milliseconds) until every other process that shows windows has
// handled the input sent to it and drawn what it changed: those this process gave something
// (input, messages, the foreground) since it last waited for them, and new ones. False when
// one did not in time.
bool SimSyncDevice(DWORD milliseconds);
// A program that this process started after the boot (a keyboard's settings program) shows a
// window and keeps the real clock: a host that runs a script in virtual time gives it real time
// when the script waits, so that the wait is one for that program too.
bool SimStartedProgramOnRealClock();
// Waits (real time) until the process started with ShellExecuteEx (SEE_MASK_NOCLOSEPROCESS)
// shows a window or ends; true when it shows one.
bool SimWaitForProgramWindow(HANDLE process, DWORD milliseconds);
// Waits (real time, at most milliseconds in all) until each program this process started, and
// not waited for here before, shows a window, ends or sleeps in the script's time: a program
// that the device's own programs start (a keyboard's settings key) is then on the screen.
// False when one did not in time.
bool SimWaitForStartedPrograms(DWORD milliseconds);
// Removes what ended processes left on the device (windows, pictures) and gives the foreground
// to the next window when its owner ended. The host calls it as it runs.
void SimReapEndedPrograms();
// The device shuts down: every program it runs is asked to close its windows and, when it has
// not ended within milliseconds, ended; the programs this process started are among them.
void SimEndPrograms(DWORD milliseconds);
// Shared-memory pictures of this device's windows (a stress test looks for leftovers).
int SimSharedPictureCount();
// The device kind as SystemParametersInfo(SPI_GETPLATFORMTYPE) answers it: "pocketpc" (the
// default) or "smartphone"; POCKETSIM_KIND sets it for the programs the host starts.
bool SimSetDeviceKind(const char* kind);
bool SimIsSmartphone();


// ---- input panel ------------------------------------------------------------
// The device's input panel is a window of class SIM_SIP_CLASS that the host makes (pocketsim's
// panel host). The platform's Sip* functions of every process of the device reach it by
// messages, and read the state it publishes.
#define SIM_SIP_CLASS u"SipWndClass"
// Posted to the panel window: wParam SIPF_ON or SIPF_OFF.
#define SIM_WM_SIPSHOW (WM_APP + 0x5A0)
// WM_COPYDATA tags sent to the panel window: a CLSID to make current (the result is TRUE when
// it became current), a SIPINFO to apply.
#define SIM_SIP_SETIM 0x53495031u
#define SIM_SIP_SETINFO 0x53495032u

struct SIPINFO;
// Written by the panel host whenever its state changes; SipGetInfo and SipGetCurrentIM of
// every process read it. SimClearSipState when the panel goes away.
void SimPublishSipState(const SIPINFO& info, const CLSID& current);
void SimClearSipState();

// Icons: the size of an icon, and the icon of a registered "file,index" text (the value of a
// class's DefaultIcon), large or small; NULL when the file or the icon is not there.
bool SimIconSize(HICON icon, int* width, int* height);
HICON SimIconFromLocation(LPCWSTR location, bool small);

// The input panel callback's delivery to the focused window, as the platform does it: a virtual
// key is one WM_KEYDOWN or (with KEYEVENTF_KEYUP) WM_KEYUP; SendCharEvents is a WM_KEYDOWN (for
// a non-zero key) followed by a WM_CHAR for each character whose shift word lacks
// KeyShiftNoCharacterFlag when keyFlags has KeyStateDownFlag, else a WM_KEYUP. Key state
// (GetKeyState) follows the transitions.
void SimSendVirtualKey(BYTE virtualKey, DWORD flags);
void SimSendCharEvents(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters);
