#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/drawing/DibPixelBuffer.h"
#include "skin/drawing/NinePatch.h"
#include "skin/drawing/PixelOps.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

uint16_t apply(const PixelOp& op, uint16_t s, uint16_t d)
{
    op.span(&d, &d + 1, &s);
    return d;
}

TEST(NinePatchPlan, BordersShareALengthShorterThanBoth)
{
    NinePatchAxis a;
    // Borders 10 + 10 at 15: 7, 1, 7, the last part taken from its far end.
    ASSERT_TRUE(plan_nine_patch_axis(0, 15, 0, 10, 20, 30, 0, 15, a));
    EXPECT_EQ(a.first_len, 7);
    EXPECT_EQ(a.middle_len, 1);
    EXPECT_EQ(a.last_len, 7);
    EXPECT_EQ(a.first_src, 0);
    EXPECT_EQ(a.last_src, 23);

    // Borders 2 + 10 at 6: 2, 1, 3.
    ASSERT_TRUE(plan_nine_patch_axis(4, 6, 0, 2, 5, 15, 0, 100, a));
    EXPECT_EQ(a.start, 4);
    EXPECT_EQ(a.first_len, 2);
    EXPECT_EQ(a.middle_len, 1);
    EXPECT_EQ(a.last_len, 3);
    EXPECT_EQ(a.last_src, 12);

    // Room to spare: the borders keep their lengths and the middle tiles.
    ASSERT_TRUE(plan_nine_patch_axis(0, 40, 0, 10, 20, 30, 0, 40, a));
    EXPECT_EQ(a.first_len, 10);
    EXPECT_EQ(a.middle_len, 20);
    EXPECT_EQ(a.last_len, 10);
}

TEST(NinePatchPlan, ClippingKeepsEveryVisiblePixelsSource)
{
    // Whatever the clip, each visible pixel takes the same source as without one.
    NinePatchAxis whole;
    ASSERT_TRUE(plan_nine_patch_axis(3, 50, 2, 6, 9, 14, -100, 100, whole));
    for (int g = 0; g < 56; ++g)
        for (int h = g + 1; h < 56; ++h) {
            NinePatchAxis cut;
            bool visible = plan_nine_patch_axis(3, 50, 2, 6, 9, 14, g, h, cut);
            int from = std::max(g, 3), to = std::min(h, 53);
            ASSERT_EQ(visible, from < to) << g << ".." << h;
            if (!visible)
                continue;
            ASSERT_EQ(cut.start, from);
            ASSERT_EQ(cut.length(), to - from);
            for (int k = 0; k < cut.length(); ++k)
                ASSERT_EQ(cut.source(k), whole.source(from - 3 + k)) << g << ".." << h << " pixel " << k;
        }
}

TEST(NinePatchPlan, AMiddleWithoutTileStaysInsideThePicture)
{
    NinePatchAxis a;
    // Guides 4, 4 with a last border: the middle repeats the last border's first pixel.
    ASSERT_TRUE(plan_nine_patch_axis(0, 20, 0, 4, 4, 8, 0, 20, a));
    EXPECT_EQ(a.middle_len, 12);
    for (int k = 0; k < 20; ++k)
        EXPECT_LT(a.source(k), 8);
    EXPECT_EQ(a.source(10), 4);
    // No last border either: the first border's last pixel, clipped into the middle too.
    ASSERT_TRUE(plan_nine_patch_axis(0, 20, 0, 4, 4, 4, 7, 20, a));
    for (int k = 0; k < a.length(); ++k)
        EXPECT_EQ(a.source(k), 3);
    EXPECT_FALSE(plan_nine_patch_axis(0, 20, 0, 5, 4, 8, 0, 20, a)) << "guides out of order";
    EXPECT_FALSE(plan_nine_patch_axis(0, 20, 3, 3, 3, 3, 0, 20, a)) << "no picture";
}

TEST(PixelOps, ColourKeyLeavesTheDestinationUnderEveryKeyedOperation)
{
    const PixelOp* ops[] = { &key_op(), &opaque_op(), &level_op(1), &level_op(2), &level_op(3) };
    for (const PixelOp* op : ops)
        for (uint16_t d : { 0x0000, 0xFFFF, 0x1234, 0xF81F })
            EXPECT_EQ(apply(*op, 0xF81F, d), d);
    for (int alpha = 0; alpha <= 256; alpha += 64)
        EXPECT_EQ(apply(AlphaLevelOp(alpha), 0xF81F, 0x4321), 0x4321) << alpha;
}

TEST(PixelOps, TranslucentBlackOverWhiteAtEachLevel)
{
    // Black with the opacity bit clear: only the destination's share remains.
    EXPECT_EQ(apply(AlphaLevelOp(0), 0x0000, 0xFFFF), 0x0000);
    EXPECT_EQ(apply(AlphaLevelOp(64), 0x0000, 0xFFFF), 0x39E7);
    EXPECT_EQ(apply(AlphaLevelOp(128), 0x0000, 0xFFFF), 0x7BEF);
    EXPECT_EQ(apply(AlphaLevelOp(192), 0x0000, 0xFFFF), 0xB5D6);
    EXPECT_EQ(apply(AlphaLevelOp(256), 0x0000, 0xFFFF), 0xFFFF);
    // Opaque pixels replace at every level but the last, where they are all that is drawn.
    for (int alpha = 0; alpha <= 256; alpha += 64)
        EXPECT_EQ(apply(AlphaLevelOp(alpha), 0x0020, 0xFFFF), 0x0020);
}

TEST(PixelOps, AlphaSelectsLevelsInSteps)
{
    EXPECT_EQ(AlphaLevelOp::index_for(63), 0);
    EXPECT_EQ(AlphaLevelOp::index_for(64), 1);
    EXPECT_EQ(AlphaLevelOp::index_for(191), 2);
    EXPECT_EQ(AlphaLevelOp::index_for(255), 3);
    EXPECT_EQ(AlphaLevelOp::index_for(256), 4);
    EXPECT_EQ(AlphaLevelOp::index_for(1000), 4);
    EXPECT_EQ(AlphaLevelOp::index_for(-5), 0);
    EXPECT_EQ(AlphaLevelOp::index_for(-1000), 0);
    auto copy = AlphaLevelOp(200).clone();
    EXPECT_EQ(apply(*copy, 0x0000, 0xFFFF), 0xB5D6);
}

TEST(PixelOps, TextReturnMarksWhatChanged)
{
    EXPECT_EQ(apply(text_return_op(), 0x1234, 0x1234), 0x1234);
    EXPECT_EQ(apply(text_return_op(), 0x1200, 0x1234), 0x1220);
}

TEST(PixelOps, ModulationNeverCarriesIntoTheNextChannel)
{
    EXPECT_EQ(apply(ModulateOp({ 256, 256, 256 }), 0xFFFF, 0), 0xFFFF);
    EXPECT_EQ(apply(ModulateOp({ 128, 128, 128 }), 0xFFFF, 0), 0x7BEF);
    EXPECT_EQ(apply(ModulateOp({ 256, 0, 0 }), 0xFFFF, 0), 0xF800);
    // Factors above 256 act as 256: no spill from blue into the opacity bit, none from green.
    EXPECT_EQ(apply(ModulateOp({ 512, 1000, 300 }), 0xFFFF, 0), 0xFFFF);
    EXPECT_EQ(apply(ModulateOp({ 512, 512, 512 }), 0x001F, 0), 0x001F);
    EXPECT_EQ(apply(ModulateOp({ -5, 256, 256 }), 0xF800, 0), 0x0000);
    EXPECT_EQ(apply(ModulateOverOp({ 0, 0, 256 }), 0x001F, 0x0800), 0x081F);
}

TEST(Brightness, ScalesEveryChannelByAboutLevelSixteenths)
{
    auto buffer = PixelBuffer::create(256, 256);
    for (int k = 0; k <= 16; ++k) {
        for (int i = 0; i < 65536; ++i)
            buffer->row(i >> 8)[i & 255] = static_cast<uint16_t>(i);
        Canvas canvas(buffer.get());
        scale_brightness(canvas, POINT { 0, 0 }, POINT { 256, 256 }, k * 16 + (k < 16 ? 15 : 0));
        for (int i = 0; i < 65536; ++i) {
            uint16_t p = buffer->row(i >> 8)[i & 255];
            int got[3] = { p >> 11, (p >> 5) & 63, p & 31 };
            int was[3] = { i >> 11, (i >> 5) & 63, i & 31 };
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_NEAR(got[ch] * 16, was[ch] * k, 2 * 16) << "level " << k << " pixel " << i << " channel " << ch;
        }
    }
    // Levels out of range act as the nearest end.
    auto one = PixelBuffer::create(1, 1);
    Canvas canvas(one.get());
    one->row(0)[0] = 0xFFFF;
    scale_brightness(canvas, POINT { 0, 0 }, POINT { 1, 1 }, 9999);
    EXPECT_EQ(one->row(0)[0], 0xFFFF);
    scale_brightness(canvas, POINT { 0, 0 }, POINT { 1, 1 }, -3);
    EXPECT_EQ(one->row(0)[0], 0x0000);
}

TEST(ClipGuard, NarrowsNestsAndRestores)
{
    auto buffer = PixelBuffer::create(20, 10);
    Canvas canvas(buffer.get());
    {
        ClipGuard outer(canvas, POINT { 2, 3 }, POINT { 10, 100 });
        EXPECT_EQ(canvas.clip_depth(), 1);
        EXPECT_EQ(canvas.clip().x0, 2);
        EXPECT_EQ(canvas.clip().y1, 10);
        {
            ClipGuard inner(canvas, POINT { 15, 0 }, POINT { 5, 5 });
            EXPECT_EQ(canvas.clip_depth(), 2);
            // Nothing left in x: collapsed onto the top-left.
            EXPECT_EQ(canvas.clip().x0, 15);
            EXPECT_EQ(canvas.clip().x1, 15);
            EXPECT_EQ(canvas.clip().y1, 3);
            fill(canvas, POINT { 0, 0 }, POINT { 20, 10 }, SkinColor { 255, 255, 255, 255 });
        }
        EXPECT_EQ(canvas.clip().x1, 12);
    }
    EXPECT_EQ(canvas.clip_depth(), 0);
    EXPECT_EQ(canvas.clip().x1, 20);
}

TEST(RenderSurface, RecreateKeepsPixelsAtTheSameSizeAndCountsPixels)
{
    long long before = RenderSurface::pixel_count();
    {
        RenderSurface surface;
        EXPECT_FALSE(surface.recreate(POINT { 0, 0 }));
        ASSERT_TRUE(surface.recreate(POINT { 30, 20 }));
        EXPECT_EQ(RenderSurface::pixel_count() - before, 600);
        fill(surface.canvas(), POINT { 0, 0 }, POINT { 30, 20 }, SkinColor { 0, 255, 0, 255 });
        EXPECT_FALSE(surface.recreate(POINT { 30, 20 }));
        EXPECT_EQ(surface.buffer()->row(19)[29], 0x07E0);

        RenderSurface other;
        other.recreate(POINT { 10, 10 });
        EXPECT_EQ(RenderSurface::pixel_count() - before, 700);
        EXPECT_TRUE(surface.recreate(POINT { 5, 4 }));
        EXPECT_EQ(surface.canvas().clip().x1, 5);
        EXPECT_EQ(surface.canvas().clip().y1, 4);
        EXPECT_EQ(RenderSurface::pixel_count() - before, 120);

        EXPECT_TRUE(surface.recreate(POINT { 0, 0 }));
        EXPECT_EQ(surface.buffer(), nullptr);
        EXPECT_EQ(surface.size().x, 0);
        EXPECT_EQ(RenderSurface::pixel_count() - before, 100);

        // A size that cannot be had leaves an empty surface that draws nothing.
        EXPECT_FALSE(surface.recreate(POINT { 1 << 20, 1 << 20 }));
        EXPECT_EQ(surface.size().y, 0);
        surface.draw(other.canvas(), POINT { 0, 0 }, copy_op());
        fill(surface.canvas(), POINT { 0, 0 }, POINT { 5, 5 }, SkinColor {});
    }
    EXPECT_EQ(RenderSurface::pixel_count(), before);
}

TEST(RenderSurface, DrawsWholeAndScaled)
{
    RenderSurface small, big;
    small.recreate(POINT { 2, 2 });
    big.recreate(POINT { 6, 6 });
    small.buffer()->row(0)[0] = 1;
    small.buffer()->row(0)[1] = 2;
    small.buffer()->row(1)[0] = 3;
    small.buffer()->row(1)[1] = 4;
    fill(big.canvas(), POINT { 0, 0 }, POINT { 6, 6 }, SkinColor {});
    small.draw(big.canvas(), POINT { 5, 5 }, copy_op());
    EXPECT_EQ(big.buffer()->row(5)[5], 1);
    small.draw_scaled(big.canvas(), POINT { 0, 0 }, POINT { 4, 4 }, copy_op());
    std::vector<uint16_t> row3(big.buffer()->row(3), big.buffer()->row(3) + 6);
    EXPECT_EQ(row3, (std::vector<uint16_t> { 3, 3, 4, 4, 0, 0 }));
}

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

TEST(RenderSurface, ResizingUnderAClipIsFatal)
{
    TempDeviceRoot device;
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    RenderSurface surface;
    surface.recreate(POINT { 8, 8 });
    EXPECT_EXIT(
        {
            ClipGuard guard(surface.canvas(), POINT { 0, 0 }, POINT { 4, 4 });
            surface.recreate(POINT { 9, 9 });
        },
        ::testing::ExitedWithCode(1), "");
    auto log = device.readFile(u"\\Temp\\" + AppName() + u".txt");
    ASSERT_TRUE(log.has_value());
    std::u16string text;
    for (size_t i = 2; i + 1 < log->size(); i += 2)
        text += static_cast<char16_t>(uint8_t((*log)[i]) | uint8_t((*log)[i + 1]) << 8);
    EXPECT_NE(text.find(u"Snag: Clip is in effect, cannot resize @ RenderSurface::recreate\n"), std::u16string::npos);
    // Without a guard, and after one, resizing is fine.
    {
        ClipGuard guard(surface.canvas(), POINT { 0, 0 }, POINT { 4, 4 });
        EXPECT_FALSE(surface.recreate(POINT { 8, 8 })) << "the same size is no resize";
    }
    EXPECT_TRUE(surface.recreate(POINT { 9, 9 }));
    RegWriteNumber(kTarn, u"Log", 0);
    Log();
}

TEST(DibPixelBuffer, IsAPixelBufferThePlatformDrawsInto)
{
    auto dib = DibPixelBuffer::create(7, 3);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(dib->pitch(), 16);
    EXPECT_FALSE(dib->owns_pixels());
    SetPixel(dib->dc(), 6, 2, RGB(0, 0, 255));
    EXPECT_EQ(dib->row(2)[6], 0x001F);
    EXPECT_EQ(DibPixelBuffer::create(0, 3), nullptr);
}

}
