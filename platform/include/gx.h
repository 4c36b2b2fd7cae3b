#pragma once
// The display access layer and raw key input (the platform's game library): a program draws
// straight into the frame buffer of a full-screen window, and takes the hardware keys itself.
#include "windef.h"

// GXDisplayProperties.ffFormat bits.
#define kfLandscape 0x8
#define kfPalette 0x10
#define kfDirect 0x20
#define kfDirect555 0x40
#define kfDirect565 0x80
#define kfDirect888 0x100
#define kfDirect444 0x200
#define kfDirectInverted 0x400

#define GX_FULLSCREEN 0x01
#define GX_NORMALKEYS 0x02
#define GX_LANDSCAPEKEYS 0x03

struct GXDisplayProperties {
    DWORD cxWidth; // pixels across the frame buffer
    DWORD cyHeight;
    long cbxPitch; // bytes from one pixel to the next on a row
    long cbyPitch; // bytes from one row to the next
    long cBPP;
    DWORD ffFormat;
};

struct GXKeyList {
    short vkUp;
    POINT ptUp;
    short vkDown;
    POINT ptDown;
    short vkLeft;
    POINT ptLeft;
    short vkRight;
    POINT ptRight;
    short vkA;
    POINT ptA;
    short vkB;
    POINT ptB;
    short vkC;
    POINT ptC;
    short vkStart;
    POINT ptStart;
};

// Opens the frame buffer for window (GX_FULLSCREEN): one per process; 0 on failure. What is
// drawn between GXBeginDraw and GXEndDraw shows on the screen as that window's content.
int GXOpenDisplay(HWND window, DWORD flags);
int GXCloseDisplay();
// The frame buffer's first pixel (RGB565, top-left of the screen); null when not open.
void* GXBeginDraw();
int GXEndDraw();
GXDisplayProperties GXGetDisplayProperties();
// While open, every hardware key (the soft keys too) goes to the program as key messages.
int GXOpenInput();
int GXCloseInput();
GXKeyList GXGetDefaultKeys(int options);
int GXSuspend();
int GXResume();
