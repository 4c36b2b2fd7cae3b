#include "runtime/DirectDisplay.h"

#include <gx.h>

std::unique_ptr<DirectDisplay> DirectDisplay::open(HWND window, Geometry& geometry)
{
    if (!window || !GXOpenDisplay(window, GX_FULLSCREEN))
        return nullptr;
    std::unique_ptr<DirectDisplay> display(new DirectDisplay);
    GXDisplayProperties p = GXGetDisplayProperties();
    display->m_geometry.width = static_cast<int>(p.cxWidth);
    display->m_geometry.height = static_cast<int>(p.cyHeight);
    display->m_pitch = static_cast<int>(p.cbyPitch / 2);
    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    if (ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr) == DISP_CHANGE_SUCCESSFUL) {
        switch (mode.dmDisplayOrientation) {
        case DMDO_90:
            display->m_geometry.orientation = 1;
            break;
        case DMDO_180:
            display->m_geometry.orientation = 2;
            break;
        case DMDO_270:
            display->m_geometry.orientation = 3;
            break;
        default:
            display->m_geometry.orientation = 0;
        }
    }
    geometry = display->m_geometry;
    return display;
}

DirectDisplay::~DirectDisplay()
{
    unlock();
    GXCloseDisplay();
}

uint16_t* DirectDisplay::lock()
{
    if (m_locked)
        return nullptr;
    auto* pixels = static_cast<uint16_t*>(GXBeginDraw());
    m_locked = pixels != nullptr;
    return pixels;
}

void DirectDisplay::unlock()
{
    if (m_locked) {
        m_locked = false;
        GXEndDraw();
    }
}
