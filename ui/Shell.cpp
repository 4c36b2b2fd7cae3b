#include "ui/Shell.h"

#include <aygshell.h>
#include <gx.h>
#include <sip.h>

#include "runtime/DirectDisplay.h"
#include "skin/drawing/PixelBuffer.h"

namespace shell {

bool create_menu_bar(HWND window, HINSTANCE module, UINT resource, HWND& bar)
{
    SHMENUBARINFO info {};
    info.cbSize = sizeof info;
    info.hwndParent = window;
    info.dwFlags = SHCMBF_EMPTYBAR;
    info.nToolBarId = resource;
    info.hInstRes = module;
    bar = nullptr;
    if (!SHCreateMenuBar(&info) || !info.hwndMB)
        return false;
    bar = info.hwndMB;
    // The soft keys are the program's: plain key messages, nothing of the bar's own.
    LPARAM both = MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY);
    SendMessage(bar, SHCMBM_OVERRIDEKEY, VK_TSOFT1, both);
    SendMessage(bar, SHCMBM_OVERRIDEKEY, VK_TSOFT2, both);
    return true;
}

void set_full_screen(HWND window, bool taskbar, bool sip_button)
{
    SHFullScreen(window, (taskbar ? SHFS_SHOWTASKBAR : SHFS_HIDETASKBAR) | (sip_button ? SHFS_SHOWSIPBUTTON : SHFS_HIDESIPBUTTON));
}

bool sip_shown(RECT* visible_desktop)
{
    SIPINFO info {};
    info.cbSize = sizeof info;
    if (!SipGetInfo(&info) || !(info.fdwFlags & SIPF_ON))
        return false;
    if (visible_desktop)
        *visible_desktop = info.rcVisibleDesktop;
    return true;
}

void show_sip(bool up)
{
    SipShowIM(up ? SIPF_ON : SIPF_OFF);
}

void init_extra_controls()
{
    SHInitExtraControls();
}

int platform_major_version()
{
    return 4;
}

void open_raw_key_input(HWND)
{
    GXOpenInput();
}

void close_raw_key_input()
{
    GXCloseInput();
}

namespace {

// The display access layer's display object, handing out each locked frame as a PixelBuffer.
class LayerDisplay final : public DirectDisplay {
public:
    LayerDisplay(std::unique_ptr<::DirectDisplay> display, const ::DirectDisplay::Geometry& geometry)
        : m_display(std::move(display))
        , m_geometry(geometry)
    {
    }
    ~LayerDisplay() override { unlock(); }
    int width() const override { return m_geometry.width; }
    int height() const override { return m_geometry.height; }
    int orientation() const override { return m_geometry.orientation; }
    PixelBuffer* lock() override
    {
        unlock();
        uint16_t* pixels = m_display->lock();
        if (!pixels)
            return nullptr;
        m_frame = std::make_unique<PixelBuffer>(pixels, m_geometry.width, m_geometry.height, m_display->pitch() * 2);
        return m_frame.get();
    }
    void unlock() override
    {
        if (!m_frame)
            return;
        m_frame.reset();
        m_display->unlock();
    }

private:
    std::unique_ptr<::DirectDisplay> m_display;
    ::DirectDisplay::Geometry m_geometry;
    std::unique_ptr<PixelBuffer> m_frame;
};

}

std::unique_ptr<DirectDisplay> DirectDisplay::open(HWND window)
{
    ::DirectDisplay::Geometry geometry;
    std::unique_ptr<::DirectDisplay> display = window ? ::DirectDisplay::open(window, geometry) : nullptr;
    // Only frame buffers at least as wide as a row of pixels can be drawn into as they are.
    if (!display || geometry.width <= 0 || geometry.height <= 0 || display->pitch() < geometry.width)
        return nullptr;
    return std::make_unique<LayerDisplay>(std::move(display), geometry);
}

HBRUSH create_solid_brush(COLORREF colour)
{
    return CreateSolidBrush(colour);
}

void delete_brush(HBRUSH brush)
{
    DeleteObject(reinterpret_cast<HGDIOBJ>(brush));
}

HICON load_icon(HINSTANCE, int)
{
    return nullptr;
}

}
