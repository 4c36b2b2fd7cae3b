#pragma once
// Fonts: a FreeType face found through fontconfig, sized once, with the device's text metrics.
#include "linux/drawing/gdi_internal.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <unordered_map>
#include <vector>

namespace gdi {

struct Glyph {
    int advance = 0; // whole pixels
    int left = 0; // bitmap offset from the pen position
    int top = 0; // bitmap top above the baseline
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage; // width x height, 0 = untouched, 255 = full text colour
};

struct Font final : Object {
    Font()
        : Object(Kind::Font)
    {
    }
    LOGFONTW logfont {};
    std::u16string family; // of the face the request was matched to, as GetTextFace tells it
    FT_Face face = nullptr;
    FT_Face fallback = nullptr; // for characters the face lacks
    bool fallbackTried = false;
    int ppem = 0;
    bool embolden = false; // bold asked for, only a regular face found
    FT_Pos thicken = 0; // extra stem width (26.6) for a bold face drawn with thin outlines
    bool slant = false; // italic asked for, only an upright face found
    bool antialias = true;
    TEXTMETRICW metrics {};
    int underlineOffset = 1; // below the baseline
    int underlineThickness = 1;
    std::unordered_map<char32_t, Glyph> glyphs; // rendered, for drawing

    // Advance of one character, asking FreeType every time (text measuring caches above this).
    int advance(char32_t c);
    // The rendered glyph, cached.
    const Glyph& glyph(char32_t c);
};

// UTF-16 code units to code points; an unpaired surrogate stands for itself.
std::u32string decode(const WCHAR* text, int count);

} // namespace gdi
