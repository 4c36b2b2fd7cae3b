#pragma once
// A platform font made from a FontDesc, with its line metrics and a per-character (code point)
// width cache
// so that measuring repeated characters costs no platform call. Shared by reference count
// between the skin's font table and the elements that use it.
#include "skin/elements/Align.h"
#include "skin/drawing/Canvas.h"
#include "skin/text/FontDesc.h"
#include "skin/file/SkinColor.h"
#include "runtime/OrientationObserver.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TextMeasure {
    int width = 0; // 0 for an empty text
    int height = 0; // the line height; 0 for an empty text
    int fit = 0; // characters before the first whose running width exceeds the maximum
    int descent = 0;
};

class FontRep : public OrientationObserver {
public:
    explicit FontRep(const FontDesc& desc);
    ~FontRep();
    FontRep(const FontRep&) = delete;
    FontRep& operator=(const FontRep&) = delete;

    const FontDesc& desc() const { return m_desc; }
    HFONT handle() const { return m_font; } // null when the platform made none
    int line_height() const { return m_line_height; }
    int descent() const { return m_descent; }

    // Draws text into the box (position, size) of the canvas's buffer, clipped to (clip_pos,
    // clip_size), not to the canvas's clip; (-1,-1) means the box, cut to the buffer. Pixels the
    // text changes become opaque. Wrapped text breaks at words; single lines end in an
    // ellipsis when they do not fit. JUSTIFY draws as LEFT.
    void draw_text(Canvas& canvas, SkinColor colour, std::u16string_view text, POINT box_pos, POINT box_size,
                   HAlign halign, VAlign valign, bool wrap, POINT clip_pos = POINT { -1, -1 },
                   POINT clip_size = POINT { -1, -1 }) const;

    // Width and height of the text as the platform lays it out without wrapping.
    POINT text_size(std::u16string_view text) const;

    // Widths from the cache, asking the platform once for all characters not yet in it. With
    // running, receives the running width after each UTF-16 unit; both units of a surrogate
    // pair get the width after the whole character, as the platform reports extents. fit
    // never ends between the two units of a pair.
    TextMeasure measure(std::u16string_view text, int max_width, std::vector<int>* running = nullptr);

    // The screen turned: widths are measured afresh, in case the platform renders differently.
    void orientation_changed() override { m_widths.clear(); }

private:
    // The part of a box of that size that the text's pixels can fall in.
    ClipRect text_reach(HDC dc, std::u16string_view text, POINT box_size, HAlign halign, VAlign valign, bool wrap) const;
    void cache_widths(std::u16string_view text);
    void log_missing_face(HDC screen, std::u16string_view wanted) const;

    FontDesc m_desc;
    HFONT m_font = nullptr;
    int m_line_height = 20;
    int m_descent = 0;
    std::unordered_map<char32_t, int> m_widths;
    std::u16string m_missing; // scratch for measuring
    std::vector<int> m_extents;
};
