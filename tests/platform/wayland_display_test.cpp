// Pieces of the wayland display back end that need no compositor: which finger is the stylus,
// where a point of the output is in a screen copy for each of the output's transforms (the eight
// were checked by eye under sway; these pin them down), and a window's picture in its buffer.
#include "platform/display/event_clock.h"
#include "platform/display/wayland_input.h"
#include "platform/display/wayland_screencopy.h"
#include "platform/display/wayland_surface.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>
#include <utility>

using display::wayland::BufferPoint;
using display::wayland::FirstTouch;

TEST(WaylandTouch, OnlyTheFirstFingerIsTheStylusUntilItLifts)
{
    FirstTouch touch;
    EXPECT_FALSE(touch.motion(0));
    EXPECT_FALSE(touch.up(0));
    EXPECT_TRUE(touch.down(7));
    EXPECT_TRUE(touch.motion(7));
    // A second finger: ignored, down, moving and up.
    EXPECT_FALSE(touch.down(8));
    EXPECT_FALSE(touch.motion(8));
    EXPECT_FALSE(touch.up(8));
    EXPECT_TRUE(touch.active());
    EXPECT_TRUE(touch.up(7));
    EXPECT_FALSE(touch.active());
    EXPECT_FALSE(touch.motion(7));
    // The next finger down is the stylus, whatever its number; a cancel lifts it once.
    EXPECT_TRUE(touch.down(8));
    EXPECT_TRUE(touch.cancel());
    EXPECT_FALSE(touch.cancel());
    EXPECT_FALSE(touch.up(8));
}

TEST(WaylandScreenCopy, EveryTransformMapsTheOutputOntoItsBufferOnce)
{
    const int width = 5, height = 3; // as programs see the output
    struct Corner {
        int32_t transform;
        int x, y; // where the output's top-left pixel is in the buffer
    };
    const Corner corners[] = { { WL_OUTPUT_TRANSFORM_NORMAL, 0, 0 }, { WL_OUTPUT_TRANSFORM_90, 0, width - 1 },
        { WL_OUTPUT_TRANSFORM_180, width - 1, height - 1 }, { WL_OUTPUT_TRANSFORM_270, height - 1, 0 },
        { WL_OUTPUT_TRANSFORM_FLIPPED, width - 1, 0 }, { WL_OUTPUT_TRANSFORM_FLIPPED_90, 0, 0 },
        { WL_OUTPUT_TRANSFORM_FLIPPED_180, 0, height - 1 }, { WL_OUTPUT_TRANSFORM_FLIPPED_270, height - 1, width - 1 } };
    for (const Corner& c : corners) {
        const bool sideways = c.transform & 1;
        const int bufferWidth = sideways ? height : width, bufferHeight = sideways ? width : height;
        std::set<std::pair<int, int>> seen;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                int bx = -1, by = -1;
                BufferPoint(c.transform, width, height, x, y, bx, by);
                ASSERT_TRUE(bx >= 0 && bx < bufferWidth && by >= 0 && by < bufferHeight) << c.transform;
                seen.emplace(bx, by);
            }
        EXPECT_EQ(seen.size(), static_cast<size_t>(width * height)) << c.transform;
        int bx = -1, by = -1;
        BufferPoint(c.transform, width, height, 0, 0, bx, by);
        EXPECT_EQ(std::make_pair(bx, by), std::make_pair(c.x, c.y)) << c.transform;
    }
}

TEST(WaylandSurfacePicture, DevicePixelsGoOneForOneIntoTheBuffer)
{
    using display::wayland::CopyPicture;
    // A 3x2 picture of distinct colours; the buffer is rounded up to whole logical pixels at
    // scale 2 (4x2), and another is smaller than the picture.
    const uint16_t picture[] = { 0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0x8410 };
    std::vector<uint32_t> buffer(4 * 2, 0xDEADBEEF);
    CopyPicture(picture, 3, 2, buffer.data(), 4, 2);
    const std::vector<uint32_t> expected { 0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF, 0xFFFFFF, 0x000000, 0x848284, 0x848284 };
    EXPECT_EQ(buffer, expected);
    // Cut where the buffer ends: nothing written past it, the rows beyond the picture repeat its last.
    std::vector<uint32_t> small(2 * 3 + 1, 0xDEADBEEF);
    CopyPicture(picture, 3, 2, small.data(), 2, 3);
    EXPECT_EQ(small, (std::vector<uint32_t> { 0xFF0000, 0x00FF00, 0xFFFFFF, 0x000000, 0xFFFFFF, 0x000000, 0xDEADBEEF }));
    // Nothing to copy: the buffer stays.
    CopyPicture(nullptr, 3, 2, small.data(), 2, 3);
    CopyPicture(picture, 0, 2, small.data(), 2, 3);
    EXPECT_EQ(small[0], 0xFF0000u);
}

// A window system's event times become the device's ticks with their spacing kept, also across
// the window system's wrap, and none later than when it is read, however late that is.
TEST(EventClock, KeepsTheSpacingOfLateEventsAndNeverRunsAhead)
{
    SimUseVirtualClock(50000);
    display::EventClock clock;
    const uint32_t base = 0xFFFFFFF0u; // wraps between the events
    SimAdvanceTicks(300); // read 300 ms late
    const DWORD down = clock.ticks(base);
    EXPECT_EQ(down, GetTickCount());
    SimAdvanceTicks(400); // the host was busy
    const DWORD move = clock.ticks(base + 10);
    const DWORD up = clock.ticks(base + 25);
    EXPECT_EQ(move - down, 10u);
    EXPECT_EQ(up - down, 25u);
    // An event read sooner than any before moves the shift, never beyond now.
    const DWORD prompt = clock.ticks(base + 30 + 700);
    EXPECT_EQ(prompt, GetTickCount());
    SimUseRealClock();
}
