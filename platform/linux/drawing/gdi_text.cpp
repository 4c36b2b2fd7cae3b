// DrawText: line breaking, ellipses, alignment, and glyph coverage blended into the surface.
#include "linux/drawing/gdi_font.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace gdi;

namespace {

struct Line {
    std::u32string chars;
    std::vector<bool> underlined; // one per character: a "&x" mnemonic
    int width = 0;
};

int widthOf(Font& font, const std::u32string& s, size_t from = 0, size_t to = std::u32string::npos)
{
    to = std::min(to, s.size());
    int w = 0;
    for (size_t i = from; i < to; ++i)
        w += font.glyph(s[i]).advance;
    return w;
}

Line slice(const Line& src, size_t from, size_t to)
{
    Line l;
    l.chars = src.chars.substr(from, to - from);
    l.underlined.assign(src.underlined.begin() + from, src.underlined.begin() + to);
    return l;
}

// Cuts the line to the longest start that fits with "..." after it.
void ellipsize(Font& font, Line& line, int room)
{
    if (widthOf(font, line.chars) <= room)
        return;
    const std::u32string dots = U"...";
    int dotsWidth = widthOf(font, dots);
    size_t keep = 0;
    int w = 0;
    while (keep < line.chars.size()) {
        int next = w + font.glyph(line.chars[keep]).advance;
        if (next + dotsWidth > room)
            break;
        w = next;
        ++keep;
    }
    while (keep > 0 && line.chars[keep - 1] == U' ')
        --keep;
    line.chars.resize(keep);
    line.underlined.resize(keep);
    line.chars += dots;
    line.underlined.resize(line.chars.size(), false);
}

void trimTrailingSpaces(Line& line)
{
    size_t n = line.chars.size();
    while (n > 0 && line.chars[n - 1] == U' ')
        --n;
    line.chars.resize(n);
    line.underlined.resize(n);
}

// Greedy word wrap. A word longer than the line is cut with an ellipsis when one is asked for,
// else broken between characters.
void wrap(Font& font, const Line& para, int room, bool ellipsis, std::vector<Line>& out)
{
    const std::u32string& p = para.chars;
    size_t n = p.size();
    size_t i = 0;
    if (n == 0) {
        out.push_back(Line {});
        return;
    }
    while (i < n) {
        size_t start = i;
        size_t j = i;
        int width = 0;
        size_t lastSpace = std::u32string::npos;
        while (j < n) {
            int w = font.glyph(p[j]).advance;
            if (width + w > room && j > start)
                break;
            width += w;
            if (p[j] == U' ')
                lastSpace = j;
            ++j;
        }
        if (j == n) {
            out.push_back(slice(para, start, n));
            break;
        }
        if (lastSpace != std::u32string::npos && lastSpace > start) {
            out.push_back(slice(para, start, lastSpace));
            i = lastSpace + 1;
        } else if (p[j] == U' ') {
            out.push_back(slice(para, start, j));
            i = j;
        } else {
            size_t wordEnd = p.find(U' ', start);
            if (wordEnd == std::u32string::npos)
                wordEnd = n;
            if (ellipsis) {
                Line word = slice(para, start, wordEnd);
                ellipsize(font, word, room);
                out.push_back(word);
                i = wordEnd;
            } else {
                out.push_back(slice(para, start, j));
                i = j;
            }
        }
        trimTrailingSpaces(out.back());
        while (i < n && p[i] == U' ')
            ++i;
    }
}

uint16_t blend(uint16_t d, uint16_t c, unsigned cov)
{
    unsigned inv = 255 - cov;
    unsigned r = ((c >> 11) * cov + (d >> 11) * inv + 127) / 255;
    unsigned g = (((c >> 5) & 0x3F) * cov + ((d >> 5) & 0x3F) * inv + 127) / 255;
    unsigned b = ((c & 0x1F) * cov + (d & 0x1F) * inv + 127) / 255;
    return static_cast<uint16_t>(r << 11 | g << 5 | b);
}

void fill(const GdiSurface& s, RECT r, const RECT& clip, uint16_t color)
{
    r = intersect(r, clip);
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(pixelAt(s, r.left, y), pixelAt(s, r.right, y), color);
}

void drawGlyph(const GdiSurface& s, const Glyph& g, int penX, int baseline, const RECT& clip,
               uint16_t color)
{
    int x0 = penX + g.left;
    int y0 = baseline - g.top;
    int fromX = std::max<int>(0, clip.left - x0), toX = std::min<int>(g.width, clip.right - x0);
    int fromY = std::max<int>(0, clip.top - y0), toY = std::min<int>(g.height, clip.bottom - y0);
    for (int y = fromY; y < toY; ++y) {
        const uint8_t* cov = g.coverage.data() + static_cast<size_t>(y) * g.width;
        uint16_t* out = pixelAt(s, x0, y0 + y);
        for (int x = fromX; x < toX; ++x) {
            if (cov[x] == 0)
                continue; // only what the glyph covers changes
            out[x] = cov[x] == 255 ? color : blend(out[x], color, cov[x]);
        }
    }
}

} // namespace

int DrawText(HDC handle, LPCWSTR text, int count, LPRECT rect, UINT format)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    if (!dc || !rect || (!text && count != 0))
        return 0;
    if (count < 0)
        count = static_cast<int>(std::char_traits<char16_t>::length(text));
    if (count == 0)
        return 0;
    Font& font = *dc->font;
    if (!font.face)
        return 0;

    const bool single = format & DT_SINGLELINE;
    const bool ellipsis = format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);
    const int room = rect->right - rect->left;

    // Mnemonic prefixes: "&x" underlines x, "&&" is one ampersand.
    Line all;
    std::u32string chars = decode(text, count);
    for (size_t i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        bool mark = false;
        if (c == U'&' && !(format & DT_NOPREFIX)) {
            if (++i == chars.size())
                break;
            c = chars[i];
            mark = c != U'&';
        }
        all.chars += c;
        all.underlined.push_back(mark);
    }

    // Paragraphs end at CR, LF or CR LF, except on a single line, where the breaks vanish.
    std::vector<Line> paragraphs(1);
    for (size_t i = 0; i < all.chars.size(); ++i) {
        char32_t c = all.chars[i];
        if (c == U'\r' || c == U'\n') {
            if (!single) {
                if (c == U'\r' && i + 1 < all.chars.size() && all.chars[i + 1] == U'\n')
                    ++i;
                paragraphs.emplace_back();
            }
            continue;
        }
        paragraphs.back().chars += c;
        paragraphs.back().underlined.push_back(all.underlined[i]);
    }

    std::vector<Line> lines;
    for (Line& para : paragraphs) {
        if ((format & DT_WORDBREAK) && !single) {
            wrap(font, para, room, ellipsis, lines);
        } else {
            if (ellipsis)
                ellipsize(font, para, room);
            lines.push_back(std::move(para));
        }
    }
    int widest = 0;
    for (Line& l : lines) {
        l.width = widthOf(font, l.chars);
        widest = std::max(widest, l.width);
    }

    const TEXTMETRICW& tm = font.metrics;
    int lineHeight = tm.tmHeight + ((format & DT_EXTERNALLEADING) ? tm.tmExternalLeading : 0);
    int total = lineHeight * static_cast<int>(lines.size());
    int top = rect->top;
    if (single) {
        if (format & DT_VCENTER)
            top = (rect->top + rect->bottom - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }

    if (format & DT_CALCRECT) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    RECT clip = dc->clip;
    if (!(format & DT_NOCLIP))
        clip = intersect(clip, RECT { rect->left + dc->originX, rect->top + dc->originY,
                                   rect->right + dc->originX, rect->bottom + dc->originY });
    const uint16_t color = to565(dc->textColor);
    const uint16_t background = to565(dc->bkColor);
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        int x = rect->left;
        if (format & DT_CENTER)
            x = (rect->left + rect->right - l.width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - l.width;
        x += dc->originX;
        int y = top + static_cast<int>(i) * lineHeight + dc->originY;
        if (dc->bkMode == OPAQUE)
            fill(dc->surface, RECT { x, y, x + l.width, y + lineHeight }, clip, background);
        int baseline = y + tm.tmAscent;
        int pen = x;
        for (size_t k = 0; k < l.chars.size(); ++k) {
            const Glyph& g = font.glyph(l.chars[k]);
            drawGlyph(dc->surface, g, pen, baseline, clip, color);
            if (l.underlined[k] || font.logfont.lfUnderline) {
                int uy = baseline + font.underlineOffset;
                fill(dc->surface, RECT { pen, uy, pen + g.advance, uy + font.underlineThickness },
                     clip, color);
            }
            pen += g.advance;
        }
    }
    if (single && (format & (DT_VCENTER | DT_BOTTOM)))
        return top + lineHeight - rect->top;
    return total;
}
