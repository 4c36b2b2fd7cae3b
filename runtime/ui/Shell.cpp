#include "runtime/ui/Shell.h"

#include <aygshell.h>
#include <gx.h>

#include "skin/PixelBuffer.h"

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

// The platform offers programs no query or switch of the input panel: the "SIPPREF" control
// raises it while an edit window has the focus and lowers it afterwards.
bool sip_shown(RECT*)
{
    return false;
}

void show_sip(bool) { }

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

class GxDisplay final : public DirectDisplay {
public:
    GxDisplay(const GXDisplayProperties& p)
        : m_width(static_cast<int>(p.cxWidth))
        , m_height(static_cast<int>(p.cyHeight))
        , m_pitch(static_cast<int>(p.cbyPitch))
        , m_orientation((p.ffFormat & kfLandscape) ? 1 : 0)
    {
    }
    ~GxDisplay() override
    {
        unlock();
        GXCloseDisplay();
    }
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    int orientation() const override { return m_orientation; }
    PixelBuffer* lock() override
    {
        unlock();
        auto* pixels = static_cast<uint16_t*>(GXBeginDraw());
        if (!pixels)
            return nullptr;
        m_frame = std::make_unique<PixelBuffer>(pixels, m_width, m_height, m_pitch);
        return m_frame.get();
    }
    void unlock() override
    {
        if (!m_frame)
            return;
        m_frame.reset();
        GXEndDraw();
    }

private:
    int m_width;
    int m_height;
    int m_pitch;
    int m_orientation;
    std::unique_ptr<PixelBuffer> m_frame;
};

}

std::unique_ptr<DirectDisplay> DirectDisplay::open(HWND window)
{
    if (!window || !GXOpenDisplay(window, GX_FULLSCREEN))
        return nullptr;
    GXDisplayProperties p = GXGetDisplayProperties();
    // Only frame buffers laid out in plain 16-bit rows can be drawn into as they are.
    if (p.cBPP != 16 || p.cbxPitch != 2 || p.cbyPitch < static_cast<long>(p.cxWidth) * 2 || p.cxWidth == 0 || p.cyHeight == 0) {
        GXCloseDisplay();
        return nullptr;
    }
    return std::make_unique<GxDisplay>(p);
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
