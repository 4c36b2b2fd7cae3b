#include "keyboard/ScreenScale.h"

#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"

ScreenScale ScreenScale::of(const Properties& skin, const DisplayInfo& display)
{
    ScreenScale s;
    if (skin.drawn_for_screen()) {
        s.zoom = skin.pixel_scale();
        s.gestures = skin.pixel_scale();
        s.bottom_offset = skin.pixels(26);
        return s;
    }
    s.zoom = display.dpi != 96 ? 2 : 1;
    s.bottom_offset = display.dpi == 96 ? 26 : 52;
    return s;
}
