#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/DibPixelBuffer.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/text/FontRep.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

namespace {

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

std::u16string read_log(const TempDeviceRoot& device)
{
    auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt");
    std::u16string text;
    if (!bytes)
        return text;
    for (size_t i = 2; i + 1 < bytes->size(); i += 2)
        text += static_cast<char16_t>(uint8_t((*bytes)[i]) | uint8_t((*bytes)[i + 1]) << 8);
    return text;
}

struct FontCreation : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
        SimUseVirtualClock(1000);
    }
    void TearDown() override
    {
        SimUseRealClock();
        RegWriteNumber(kTarn, u"Log", 0);
        Log();
    }
    TempDeviceRoot device;
};

TEST_F(FontCreation, SizeTwelveAtScaleTwoIsThirtyTwoPixelsAndLogged)
{
    FontDesc desc;
    desc.scale = 2;
    EXPECT_EQ(desc.logical_height(), -32);
    FontRep font(desc);
    ASSERT_NE(font.handle(), nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font.handle());
    TEXTMETRICW tm {};
    GetTextMetrics(dc, &tm);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 32);
    EXPECT_EQ(font.line_height(), tm.tmHeight);
    EXPECT_EQ(font.descent(), tm.tmDescent);
    EXPECT_EQ(read_log(device), u"dpiy=96 log_font.lfHeight=-32}\nCreating font: {Tahoma} elapsed=0.000\n");
}

TEST_F(FontCreation, FailureIsLoggedAndMeasuresTheFontTextFallsBackTo)
{
    FontDesc desc;
    desc.size = 100000;
    FontRep font(desc);
    EXPECT_EQ(font.handle(), nullptr);
    EXPECT_NE(read_log(device).find(u"ERROR: FontRep::FontRep() Failed to create font\n"), std::u16string::npos);
    // Text made with it is laid out in the screen's own font: its lines must be that tall.
    HDC screen = GetDC(nullptr);
    TEXTMETRICW tm {};
    ASSERT_TRUE(GetTextMetrics(screen, &tm));
    ReleaseDC(nullptr, screen);
    ASSERT_NE(tm.tmHeight, 20);
    EXPECT_EQ(font.line_height(), tm.tmHeight);
    EXPECT_EQ(font.descent(), tm.tmDescent);
    EXPECT_EQ(font.text_size(u"Ag").y, font.line_height());
}

TEST_F(FontCreation, SizeZeroMakesNoFontAtAll)
{
    FontDesc desc;
    desc.size = 0;
    FontRep font(desc);
    EXPECT_EQ(font.handle(), nullptr);
    EXPECT_EQ(font.line_height(), 20);
    EXPECT_EQ(read_log(device), u"");
}

TEST(FontMeasure, AsksThePlatformOncePerDistinctCharacter)
{
    FontDesc desc;
    desc.face = u"DejaVu Sans";
    FontRep font(desc);
    std::u16string text = u"Привет, привет world";
    unsigned long before = SimGlyphLoadCount();
    std::vector<int> running;
    TextMeasure first = font.measure(text, 0, &running);
    unsigned long distinct = std::u16string(u"Привет, пвwold").size();
    EXPECT_EQ(SimGlyphLoadCount() - before, distinct);
    TextMeasure second = font.measure(text, 0);
    EXPECT_EQ(SimGlyphLoadCount() - before, distinct) << "the second measure must come from the cache";
    font.measure(u"wow!", 0);
    EXPECT_EQ(SimGlyphLoadCount() - before, distinct + 1);

    EXPECT_EQ(first.width, second.width);
    EXPECT_EQ(first.height, font.line_height());
    EXPECT_EQ(first.fit, static_cast<int>(text.size()));
    ASSERT_EQ(running.size(), text.size());
    EXPECT_EQ(running.back(), first.width);

    // The sum agrees with the platform's own extent of the whole text.
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font.handle());
    SIZE size {};
    GetTextExtentPoint32(dc, text.data(), static_cast<int>(text.size()), &size);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
    EXPECT_EQ(first.width, size.cx);
}

TEST(FontMeasure, FitCountsCharactersUpToTheFirstThatOverflows)
{
    FontRep font(FontDesc {});
    std::vector<int> running;
    TextMeasure all = font.measure(u"abcdef", 0, &running);
    TextMeasure m = font.measure(u"abcdef", running[2], nullptr);
    EXPECT_EQ(m.fit, 3);
    m = font.measure(u"abcdef", running[2] - 1, nullptr);
    EXPECT_EQ(m.fit, 2);
    m = font.measure(u"abcdef", all.width, nullptr);
    EXPECT_EQ(m.fit, 6);
    m = font.measure(u"abcdef", -1, nullptr);
    EXPECT_EQ(m.fit, 6);
    m = font.measure(u"", 10, &running);
    EXPECT_EQ(m.width, 0);
    EXPECT_EQ(m.height, 0);
    EXPECT_EQ(m.fit, 0);
    EXPECT_EQ(m.descent, font.descent());
    EXPECT_TRUE(running.empty());
}

TEST(FontMeasure, CharactersOutsideTheBasicPlaneMeasureAsWholeCharacters)
{
    FontDesc desc;
    desc.face = u"DejaVu Sans";
    FontRep font(desc);
    // Sans-serif m and i share their high surrogate: a cache per UTF-16 unit mixes them up.
    const std::u16string text = u"a\U0001D5C6b\U0001D5C2\U0001D5C6 \xD835x";
    std::vector<int> running;
    TextMeasure m = font.measure(text, 0, &running);

    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font.handle());
    std::vector<int> extents(text.size());
    SIZE size {};
    GetTextExtentExPoint(dc, text.data(), static_cast<int>(text.size()), 0, nullptr, extents.data(), &size);
    SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteDC(dc);
    EXPECT_EQ(m.width, size.cx);
    EXPECT_EQ(running, extents) << "running widths per unit, as the platform reports them";
    EXPECT_NE(running[2] - running[0], running[5] - running[3]) << "the two characters are told apart";

    // A maximum inside the second character: fit ends before its high surrogate, not between
    // its halves.
    TextMeasure cut = font.measure(text, running[5] - 1, nullptr);
    EXPECT_EQ(cut.fit, 4);
}

TEST(FontMeasure, TextSizeCountsLinesButDoesNotWrap)
{
    FontRep font(FontDesc {});
    EXPECT_EQ(font.text_size(u"").x, 0);
    EXPECT_EQ(font.text_size(u"").y, 0);
    POINT one = font.text_size(u"one two");
    EXPECT_EQ(one.x, font.measure(u"one two", 0).width);
    EXPECT_EQ(one.y, font.line_height());
    POINT two = font.text_size(u"one two\nthree");
    EXPECT_EQ(two.y, 2 * font.line_height());
    EXPECT_EQ(two.x, std::max(one.x, font.measure(u"three", 0).width));
}

TEST(FontDraw, ChangesOnlyTheClipAndMarksChangedPixelsOpaque)
{
    RenderSurface surface;
    surface.recreate(POINT { 60, 30 });
    Canvas& canvas = surface.canvas();
    const uint16_t background = 0x1000; // translucent: the opacity bit is clear
    fill(canvas, POINT { 0, 0 }, POINT { 60, 30 }, SkinColor { 16, 0, 0, 255 });
    ASSERT_EQ(surface.buffer()->row(0)[0], background);
    FontDesc desc;
    desc.bold = true;
    FontRep font(desc);
    {
        // The canvas's clip plays no part: text draw takes its clip as arguments.
        ClipGuard guard(canvas, POINT { 0, 0 }, POINT { 1, 1 });
        font.draw_text(canvas, SkinColor { 255, 255, 255, 255 }, u"WWWWWWWW", POINT { -10, 5 }, POINT { 60, 20 },
                       HAlign::LEFT, VAlign::TOP, false, POINT { 0, 8 }, POINT { 30, 10 });
    }
    int changed = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            uint16_t p = surface.buffer()->row(y)[x];
            bool inside = x < 30 && y >= 8 && y < 18;
            if (!inside) {
                ASSERT_EQ(p, background) << x << "," << y;
            }
            if (p != background) {
                ++changed;
                ASSERT_TRUE(p & 0x0020) << "changed pixel without the opacity bit at " << x << "," << y;
            }
        }
    EXPECT_GT(changed, 30);
}


// A label is copied to the scratch and back only where its glyphs can fall: whatever the
// alignment, overhangs (italic, tails, accents) and a box nearly as small as the text, every
// pixel the platform draws for the whole box arrives.
TEST(FontDraw, ALabelDrawnInPartOfItsBoxLosesNoPixel)
{
    const uint16_t background = 0x4208;
    const HAlign across[] = { HAlign::LEFT, HAlign::CENTER, HAlign::RIGHT };
    const VAlign down[] = { VAlign::TOP, VAlign::VCENTER, VAlign::BOTTOM };
    const UINT acrossFlags[] = { DT_LEFT, DT_CENTER, DT_RIGHT };
    const UINT downFlags[] = { DT_TOP, DT_VCENTER, DT_BOTTOM };
    const POINT boxes[] = { { 90, 60 }, { 33, 41 }, { 24, 22 } };
    for (bool italic : { false, true }) {
        FontDesc desc;
        desc.italic = italic;
        desc.size = 14;
        FontRep font(desc);
        for (std::u16string text : { u"fj", u"W", u"\u00c5g", u"Shift" })
            for (POINT box : boxes)
                for (int a = 0; a < 3; ++a)
                    for (int d = 0; d < 3; ++d) {
                        // What the platform draws into the whole box.
                        auto expected = DibPixelBuffer::create(box.x, box.y);
                        ASSERT_TRUE(expected);
                        for (int y = 0; y < box.y; ++y)
                            std::fill_n(expected->row(y), box.x, background);
                        SelectObject(expected->dc(), font.handle());
                        SetTextColor(expected->dc(), RGB(255, 255, 255));
                        SetBkMode(expected->dc(), TRANSPARENT);
                        RECT rect { 0, 0, box.x, box.y };
                        DrawText(expected->dc(), text.data(), static_cast<int>(text.size()), &rect,
                            acrossFlags[a] | downFlags[d] | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);

                        RenderSurface surface;
                        surface.recreate(POINT { box.x + 10, box.y + 10 });
                        for (int y = 0; y < box.y + 10; ++y)
                            std::fill_n(surface.buffer()->row(y), box.x + 10, background);
                        font.draw_text(surface.canvas(), SkinColor { 255, 255, 255, 255 }, text, POINT { 5, 5 }, box,
                            across[a], down[d], false);
                        int drawn = 0;
                        for (int y = 0; y < box.y; ++y)
                            for (int x = 0; x < box.x; ++x) {
                                const uint16_t want = expected->row(y)[x];
                                const uint16_t got = surface.buffer()->row(y + 5)[x + 5];
                                drawn += want != background;
                                ASSERT_EQ(got & ~0x0020, want & ~0x0020)
                                    << "italic " << italic << " box " << box.x << "x" << box.y << " align " << a << d << " at " << x
                                    << "," << y;
                            }
                        EXPECT_GT(drawn, 0);
                    }
    }
}

}
