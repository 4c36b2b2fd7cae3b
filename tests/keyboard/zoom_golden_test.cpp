// Whole device screens of every zoom style, compared pixel for pixel with the goldens: the
// stylus at the left edge, in the middle and on the top row of keys, at QVGA and VGA, and for
// the flat zoom (the only style whose picture grows with the zoom level) mid-animation too.
#include "tests/keyboard/ZoomScene.h"
#include "tests/support/Golden.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Shot {
    ZoomStyle style;
    const char* style_name;
    const char* where; // "left", "centre", "top"
    double level;
    const char* level_name;
};

POINT stylus_for(const ZoomScene& scene, const std::string& where)
{
    if (where == "left")
        return POINT { 1, scene.key_centre(1, 0).y };
    if (where == "top")
        return scene.key_centre(0, 6);
    return scene.key_centre(1, 5);
}

ZoomFrame frame_for(const ZoomScene& scene, const Shot& shot)
{
    ZoomFrame f;
    f.style = shot.style;
    f.level = shot.level;
    f.stylus = stylus_for(scene, shot.where);
    f.window_visible = true;
    // The anchor lies five sixths of the way down the touched key.
    int row = shot.where == std::string("top") ? 0 : 1;
    int key_top = row * (scene.form.y / 4) + scene.scale;
    POINT anchor_offset { 0, key_top + scene.key_height * 5 / 6 - f.stylus.y };
    f.shift = zoom_shift(f.level, f.stylus, anchor_offset, 2.0);
    return f;
}

class ZoomScreens : public testing::TestWithParam<std::tuple<Shot, int>> { };

TEST_P(ZoomScreens, MatchGolden)
{
    auto [shot, scale] = GetParam();
    ZoomScene scene(scale);
    ZoomView view;
    scene.configure(view, shot.style);
    auto screen = scene.compose(view, frame_for(scene, shot));
    PixelBuffer& b = *screen->buffer();
    std::string name = std::string("zoom/") + shot.style_name + "_" + shot.where + "_" + shot.level_name + (scale == 2 ? "_vga" : "_qvga");
    ExpectMatchesGolden(b.pixels(), b.width(), b.height(), b.pitch() / 2, name);
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            ASSERT_NE(b.row(y)[x], 0xF81F) << "transparent pixel on the screen at " << x << "," << y;
}

// Mid-animation: r = 0.5 with the default zoom_power 0.3.
const double kMid = 1.0 + 1.0 * 0.8122523963562356;

const Shot kShots[] = {
    { ZoomStyle::Simple, "simple", "centre", 2.0, "full" },
    { ZoomStyle::Flat, "flat", "left", kMid, "mid" },
    { ZoomStyle::Flat, "flat", "left", 2.0, "full" },
    { ZoomStyle::Flat, "flat", "centre", kMid, "mid" },
    { ZoomStyle::Flat, "flat", "centre", 2.0, "full" },
    { ZoomStyle::Flat, "flat", "top", kMid, "mid" },
    { ZoomStyle::Flat, "flat", "top", 2.0, "full" },
    { ZoomStyle::Glass, "glass", "left", 2.0, "full" },
    { ZoomStyle::Glass, "glass", "centre", 2.0, "full" },
    { ZoomStyle::Glass, "glass", "top", 2.0, "full" },
    { ZoomStyle::IZoom, "izoom", "left", 2.0, "full" },
    { ZoomStyle::IZoom, "izoom", "centre", 2.0, "full" },
    { ZoomStyle::IZoom, "izoom", "top", 2.0, "full" },
};

INSTANTIATE_TEST_SUITE_P(Styles, ZoomScreens, testing::Combine(testing::ValuesIn(kShots), testing::Values(1, 2)),
                         [](const auto& info) {
                             const Shot& s = std::get<0>(info.param);
                             return std::string(s.style_name) + "_" + s.where + "_" + s.level_name
                                 + (std::get<1>(info.param) == 2 ? "_vga" : "_qvga");
                         });

} // namespace
