#include "panel_host/Surface.h"

#include <algorithm>
#include <cstring>

namespace pocketsim {

Surface::~Surface()
{
    if (m_dc) {
        SelectObject(m_dc, m_previous);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
}

bool Surface::resize(int width, int height)
{
    if (m_dc && width == m_width && height == m_height)
        return true;
    if (width <= 0 || height <= 0)
        return false;
    if (!m_dc)
        m_dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(bi.bmiColors, masks, sizeof masks);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(m_dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return false;
    HGDIOBJ old = SelectObject(m_dc, bitmap);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    else
        m_previous = old;
    m_bitmap = bitmap;
    m_bits = static_cast<uint16_t*>(bits);
    m_width = width;
    m_height = height;
    return true;
}

void Surface::fill(RECT r, COLORREF color)
{
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, m_width);
    r.bottom = std::min<LONG>(r.bottom, m_height);
    if (!m_bits || r.right <= r.left || r.bottom <= r.top)
        return;
    auto pixel = static_cast<uint16_t>((GetRValue(color) >> 3) << 11 | (GetGValue(color) >> 2) << 5 | GetBValue(color) >> 3);
    for (LONG y = r.top; y < r.bottom; ++y)
        std::fill_n(m_bits + static_cast<size_t>(y) * m_width + r.left, r.right - r.left, pixel);
}

void Surface::text(int x, int y, std::u16string_view text, HFONT font, COLORREF color)
{
    if (!m_dc || text.empty())
        return;
    HGDIOBJ old = SelectObject(m_dc, font);
    SetTextColor(m_dc, color);
    SetBkMode(m_dc, TRANSPARENT);
    RECT r { x, y, m_width, m_height };
    DrawText(m_dc, text.data(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(m_dc, old);
}

void Surface::copyTo(HDC target) const
{
    if (m_dc)
        BitBlt(target, 0, 0, m_width, m_height, m_dc, 0, 0, SRCCOPY);
}

HFONT UiFont(int pointSize, bool bold)
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW lf {};
    lf.lfHeight = -(pointSize * dpi / 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfQuality = ANTIALIASED_QUALITY;
    std::u16string_view face = u"Tahoma";
    face.copy(lf.lfFaceName, face.size());
    return CreateFontIndirect(&lf);
}

}
