#include <simhost.h>
#include <wingdi.h>

#include "platform/linux/drawing/gdi_surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

BITMAPINFO info565(int width, int height)
{
    BITMAPINFO bi {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 16;
    bi.bmiHeader.biCompression = BI_BITFIELDS;
    DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(bi.bmiColors, masks, sizeof masks);
    return bi;
}

// A memory DC drawing into a fresh top-down 16-bit section.
struct Section {
    Section(int w, int h, uint16_t fill = 0)
        : width(w)
        , height(h)
    {
        BITMAPINFO bi = info565(w, -h);
        bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &raw, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
        pitch = ((w * 2 + 3) & ~3) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                at(x, y) = fill;
    }
    ~Section()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint16_t& at(int x, int y) { return static_cast<uint16_t*>(raw)[y * pitch + x]; }
    int width, height, pitch;
    void* raw = nullptr;
    HBITMAP bitmap;
    HDC dc;
    HGDIOBJ old;
};

HFONT makeFont(const char16_t* face, int height, bool bold = false, bool underline = false)
{
    LOGFONTW lf {};
    lf.lfHeight = height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline;
    lf.lfQuality = CLEARTYPE_QUALITY;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i)
        lf.lfFaceName[i] = face[i];
    return CreateFontIndirect(&lf);
}

TEST(DibSection, LayoutFollowsHeightSignAndRejectsOtherFormats)
{
    void* bits = nullptr;
    BITMAPINFO bi = info565(3, -2);
    HBITMAP top = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(top, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, top);
    // Rows of 3 pixels take 8 bytes; the top row comes first.
    SetPixel(dc, 2, 1, RGB(255, 0, 0));
    EXPECT_EQ(static_cast<uint16_t*>(bits)[4 + 2], 0xF800);

    BITMAPINFO up = info565(3, 2);
    void* upBits = nullptr;
    HBITMAP bottom = CreateDIBSection(nullptr, &up, DIB_RGB_COLORS, &upBits, nullptr, 0);
    SelectObject(dc, bottom);
    SetPixel(dc, 0, 0, RGB(0, 0, 255));
    EXPECT_EQ(static_cast<uint16_t*>(upBits)[4], 0x001F); // first row in memory is the bottom one
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 3, 0), CLR_INVALID);

    BITMAPINFO rgb555 = info565(4, 4);
    rgb555.bmiHeader.biCompression = BI_RGB;
    EXPECT_EQ(CreateDIBSection(nullptr, &rgb555, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
    BITMAPINFO huge = info565(1 << 20, -(1 << 20));
    EXPECT_EQ(CreateDIBSection(nullptr, &huge, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);

    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(top));
    EXPECT_TRUE(DeleteObject(bottom));
    EXPECT_FALSE(DeleteObject(bottom)); // stale handle
}

TEST(DeviceContext, ABitmapDrawsThroughOneDCAndIsNotFreedWhileSelected)
{
    Section s(4, 4);
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, s.bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(s.bitmap));
    HGDIOBJ stock = SelectObject(s.dc, s.old);
    EXPECT_EQ(stock, s.bitmap);
    EXPECT_NE(SelectObject(other, s.bitmap), nullptr);
    SelectObject(other, s.old);
    SelectObject(s.dc, s.bitmap);
    DeleteDC(other);
    EXPECT_FALSE(DeleteDC(other));
}

TEST(DeviceContext, CapsFollowTheDevice)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SimSetDeviceMetrics(480, 640, 192);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 480);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 640);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 192);
    EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
    SimSetDeviceMetrics(240, 320, 96);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
    DeleteDC(dc);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 0);
}

TEST(BitBlt, ClipsToBothSurfacesAndSurvivesOverlap)
{
    Section src(4, 4), dst(6, 6, 0x1111);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            src.at(x, y) = static_cast<uint16_t>(y * 4 + x + 1);
    // Asks for more than the source has and starts off the destination's left edge.
    ASSERT_TRUE(BitBlt(dst.dc, -1, 3, 10, 10, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.at(0, 3), 2);
    EXPECT_EQ(dst.at(2, 5), 4 * 2 + 4);
    EXPECT_EQ(dst.at(3, 3), 0x1111); // past the source's right edge
    EXPECT_EQ(dst.at(0, 2), 0x1111);

    // Scroll down by one within the same surface.
    ASSERT_TRUE(BitBlt(src.dc, 0, 1, 4, 3, src.dc, 0, 0, SRCCOPY));
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(src.at(x, 0), x + 1);
        EXPECT_EQ(src.at(x, 1), x + 1);
        EXPECT_EQ(src.at(x, 3), 8 + x + 1);
    }
    // And right by one.
    ASSERT_TRUE(BitBlt(src.dc, 1, 0, 3, 1, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(src.at(1, 0), 1);
    EXPECT_EQ(src.at(3, 0), 3);

    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 6, 6, nullptr, 0, 0, WHITENESS));
    EXPECT_EQ(dst.at(5, 5), 0xFFFF);
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 6, 6, nullptr, 0, 0, SRCCOPY));
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 6, 6, src.dc, 0, 0, 0x00123456));
}

TEST(SurfaceDC, DrawsOnlyInsideItsClipAtItsOrigin)
{
    std::vector<uint16_t> screen(10 * 8, 0);
    GdiSurface surface { screen.data(), 10, 8, 10 };
    HDC dc = GdiCreateSurfaceDC(surface, 2, 3, RECT { 2, 3, 7, 12 });
    ASSERT_NE(dc, nullptr);
    Section src(20, 20, 0xABCD);
    EXPECT_EQ(SelectObject(dc, src.bitmap), nullptr); // window DCs draw where they are
    BitBlt(dc, -5, -5, 30, 30, src.dc, 0, 0, SRCCOPY);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(screen[y * 10 + x], (x >= 2 && x < 7 && y >= 3) ? 0xABCD : 0) << x << "," << y;
    SetPixel(dc, 0, 0, RGB(255, 255, 255));
    EXPECT_EQ(screen[3 * 10 + 2], 0xFFFF);
    GdiDeleteSurfaceDC(dc);
}

TEST(Fonts, MetricsAndExtentsAgree)
{
    HFONT font = makeFont(u"Tahoma", -13);
    ASSERT_NE(font, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm {};
    ASSERT_TRUE(GetTextMetrics(dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GE(tm.tmHeight, 13);
    EXPECT_LE(tm.tmHeight, 18);

    const char16_t* text = u"Wij \u0416\u0438\u0437\u043d\u044c";
    int n = static_cast<int>(std::char_traits<char16_t>::length(text));
    std::vector<int> dx(n);
    int fit = -1;
    SIZE size {};
    ASSERT_TRUE(GetTextExtentExPoint(dc, text, n, 20, &fit, dx.data(), &size));
    EXPECT_EQ(size.cx, dx[n - 1]);
    EXPECT_EQ(size.cy, tm.tmHeight);
    for (int i = 0; i < n; ++i) {
        int w = dx[i] - (i ? dx[i - 1] : 0);
        EXPECT_GT(w, 0) << "character " << i;
        EXPECT_LE(w, tm.tmMaxCharWidth);
    }
    ASSERT_GT(fit, 0);
    EXPECT_LE(dx[fit - 1], 20);
    EXPECT_GT(dx[fit], 20);

    HFONT bold = makeFont(u"Tahoma", -13, true);
    SelectObject(dc, bold);
    SIZE boldSize {};
    GetTextExtentPoint32(dc, text, n, &boldSize);
    EXPECT_GT(boldSize.cx, size.cx);

    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(DeleteObject(bold));
    DeleteDC(dc);
}

TEST(Fonts, HeightSignSelectsCharacterOrCellHeight)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT character = makeFont(u"Tahoma", -32);
    HFONT cell = makeFont(u"Tahoma", 32);
    TEXTMETRICW a {}, b {};
    SelectObject(dc, character);
    GetTextMetrics(dc, &a);
    SelectObject(dc, cell);
    GetTextMetrics(dc, &b);
    EXPECT_EQ(a.tmHeight - a.tmInternalLeading, 32);
    EXPECT_EQ(b.tmHeight, 32);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(character);
    DeleteObject(cell);
    DeleteDC(dc);
}

TEST(DrawText, CalculatesRectanglesForLinesWrapsAndEllipses)
{
    HFONT font = makeFont(u"Tahoma", -12);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    TEXTMETRICW tm {};
    GetTextMetrics(dc, &tm);
    SIZE one {};
    GetTextExtentPoint32(dc, u"alpha beta", -1, &one);

    RECT r { 0, 0, 1, 1 };
    EXPECT_EQ(DrawText(dc, u"alpha beta\nx", -1, &r, DT_CALCRECT | DT_NOPREFIX | DT_VCENTER), 2 * tm.tmHeight);
    EXPECT_EQ(r.right, one.cx);
    EXPECT_EQ(r.bottom, 2 * tm.tmHeight);

    r = RECT { 5, 5, 5 + one.cx - 1, 100 };
    EXPECT_EQ(DrawText(dc, u"alpha beta", -1, &r, DT_CALCRECT | DT_WORDBREAK), 2 * tm.tmHeight);
    EXPECT_LT(r.right - 5, one.cx);

    r = RECT { 0, 0, one.cx / 2, 100 };
    DrawText(dc, u"alpha beta", -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(r.right, one.cx / 2);
    EXPECT_GT(r.right, 0);

    // "&&" is one ampersand unless prefixes are off.
    SIZE amp {};
    GetTextExtentPoint32(dc, u"a&b", -1, &amp);
    r = RECT { 0, 0, 1, 1 };
    DrawText(dc, u"a&&b", -1, &r, DT_CALCRECT);
    EXPECT_EQ(r.right, amp.cx);

    r = RECT { 0, 0, 1, 1 };
    EXPECT_EQ(DrawText(dc, u"", 0, &r, DT_CALCRECT), 0);
    EXPECT_EQ(r.right, 1);

    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);
}

TEST(DrawText, ChangesOnlyCoveredPixelsInsideTheRectangle)
{
    Section s(80, 40, 0x1234);
    HFONT font = makeFont(u"Tahoma", -16, true);
    SelectObject(s.dc, font);
    SetTextColor(s.dc, RGB(255, 255, 255));
    SetBkMode(s.dc, TRANSPARENT);
    RECT r { 10, 10, 50, 30 };
    DrawText(s.dc, u"MMMMMMMMMM", -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    int changed = 0, white = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x) {
            bool inside = x >= 10 && x < 50 && y >= 10 && y < 30;
            if (!inside) {
                EXPECT_EQ(s.at(x, y), 0x1234) << x << "," << y;
            }
            changed += s.at(x, y) != 0x1234;
            white += s.at(x, y) == 0xFFFF;
        }
    EXPECT_GT(white, 20);
    EXPECT_LT(changed, 40 * 20); // the gaps between strokes keep the background

    // Opaque mode paints the text cell with the background colour.
    Section o(40, 20, 0x1234);
    SelectObject(o.dc, font);
    SetBkColor(o.dc, RGB(0, 0, 0));
    RECT all { 0, 0, 40, 20 };
    DrawText(o.dc, u"i", -1, &all, DT_SINGLELINE);
    EXPECT_EQ(o.at(0, 0), 0x0000);
    EXPECT_EQ(o.at(39, 0), 0x1234);

    SelectObject(s.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(o.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(Fonts, MeasuringLoadsEachCharacterFromFreeType)
{
    HFONT font = makeFont(u"Tahoma", -11);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    unsigned long before = SimGlyphLoadCount();
    SIZE size {};
    GetTextExtentPoint32(dc, u"abcab", 5, &size);
    EXPECT_EQ(SimGlyphLoadCount() - before, 5u);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
    DeleteDC(dc);
}

}
