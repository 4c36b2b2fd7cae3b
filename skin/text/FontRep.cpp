#include "skin/text/FontRep.h"

#include "runtime/Log.h"
#include "skin/drawing/Blit.h"
#include "skin/drawing/Color565.h"
#include "skin/drawing/DibPixelBuffer.h"
#include "skin/drawing/PixelOps.h"

#include <algorithm>

namespace {

constexpr int kScratchCapacity = 100;

// The screen's device context for the length of one call.
class ScreenDC {
public:
    ScreenDC()
        : m_dc(GetDC(nullptr))
    {
    }
    ~ScreenDC()
    {
        if (m_dc)
            ReleaseDC(nullptr, m_dc);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
};

// Selects a font (when there is one) for the length of a scope.
class FontSelection {
public:
    FontSelection(HDC dc, HFONT font)
        : m_dc(dc)
        , m_previous(font && dc ? SelectObject(dc, font) : nullptr)
    {
    }
    ~FontSelection()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
    }
    FontSelection(const FontSelection&) = delete;
    FontSelection& operator=(const FontSelection&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// Seconds from milliseconds, as "1.234".
std::u16string seconds(DWORD ms)
{
    std::string text = std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1);
    return std::u16string(text.begin(), text.end());
}

// One bitmap for all text drawing: grows to the largest box asked for, lives with the process.
DibPixelBuffer* scratch_for(POINT box)
{
    static std::unique_ptr<DibPixelBuffer> scratch;
    if (!scratch || scratch->width() < box.x || scratch->height() < box.y) {
        int w = std::max<int>(box.x, scratch ? scratch->width() : 0);
        int h = std::max<int>(box.y, scratch ? scratch->height() : 0);
        scratch.reset();
        scratch = DibPixelBuffer::create(w, h);
    }
    return scratch.get();
}

UINT format_flags(HAlign halign, VAlign valign, bool wrap)
{
    UINT flags = 0;
    if (halign == HAlign::CENTER)
        flags |= DT_CENTER;
    else if (halign == HAlign::RIGHT)
        flags |= DT_RIGHT;
    if (valign == VAlign::VCENTER)
        flags |= DT_VCENTER;
    else if (valign == VAlign::BOTTOM)
        flags |= DT_BOTTOM;
    flags |= wrap ? DT_WORDBREAK : DT_SINGLELINE;
    return flags | DT_NOPREFIX | DT_END_ELLIPSIS | DT_WORD_ELLIPSIS;
}

} // namespace

FontRep::FontRep(const FontDesc& desc)
    : m_desc(desc)
{
    m_missing.reserve(kScratchCapacity);
    m_extents.reserve(kScratchCapacity);
    if (desc.size == 0)
        return;

    ScreenDC screen;
    LOGFONTW lf {};
    lf.lfHeight = desc.logical_height();
    lf.lfWeight = desc.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = desc.italic;
    lf.lfUnderline = desc.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    std::u16string_view face = std::u16string_view(desc.face).substr(0, LF_FACESIZE - 1);
    std::copy(face.begin(), face.end(), lf.lfFaceName);

    Log().append(u"dpiy=").append(screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0)
        .append(u" log_font.lfHeight=").append(lf.lfHeight).append(u"}\n");
    DWORD start = GetTickCount();
    m_font = CreateFontIndirect(&lf);
    Log().append(u"Creating font: {").append(face).append(u"} elapsed=")
        .append(seconds(GetTickCount() - start)).append(u"\n");
    if (!m_font)
        Log().append(u"ERROR: FontRep::FontRep() Failed to create font\n");
    else
        log_missing_face(screen.get(), face);

    // Without a font of its own, text is drawn and measured in the device context's font, so
    // the line metrics come from that font too.
    FontSelection selected(screen.get(), m_font);
    TEXTMETRICW tm {};
    if (screen.get() && GetTextMetrics(screen.get(), &tm)) {
        m_line_height = tm.tmHeight;
        m_descent = tm.tmDescent;
    }
}

namespace {

bool same_face(std::u16string_view a, std::u16string_view b)
{
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::u16string face_of(HDC dc, HFONT font)
{
    WCHAR name[LF_FACESIZE] = {};
    if (dc) {
        FontSelection selected(dc, font);
        GetTextFace(dc, LF_FACESIZE, name);
    }
    return name;
}

}

void FontRep::log_missing_face(HDC screen, std::u16string_view wanted) const
{
    // The platform quietly draws a face it lacks with a similar one of its own; the text still
    // shows, but whoever wrote the skin should learn that the face is not there.
    std::u16string got = face_of(screen, m_font);
    if (got.empty() || wanted.empty() || same_face(got, wanted))
        return;
    Log().append(u"FontRep: no face {").append(wanted).append(u"} on this device, using {").append(got).append(u"}\n");
}

FontRep::~FontRep()
{
    if (m_font)
        DeleteObject(m_font);
}

void FontRep::draw_text(Canvas& canvas, SkinColor colour, std::u16string_view text, POINT box_pos,
                        POINT box_size, HAlign halign, VAlign valign, bool wrap, POINT clip_pos,
                        POINT clip_size) const
{
    PixelBuffer* dst = canvas.target();
    if (!dst || box_size.x <= 0 || box_size.y <= 0)
        return;
    DibPixelBuffer* scratch = scratch_for(box_size);
    if (!scratch)
        return;

    HDC dc = scratch->dc();
    const UINT flags = format_flags(halign, valign, wrap);
    FontSelection selected(dc, m_font);

    // The box cut to the destination and to where the text can reach in it: a key's label
    // covers a small part of its key, and the pixels under it go to the scratch and back.
    const ClipRect reach = text_reach(dc, text, box_size, halign, valign, wrap);
    ClipRect box { std::max<int>(box_pos.x + reach.x0, 0), std::max<int>(box_pos.y + reach.y0, 0),
        static_cast<int>(std::min<long long>(static_cast<long long>(box_pos.x) + reach.x1, dst->width())),
        static_cast<int>(std::min<long long>(static_cast<long long>(box_pos.y) + reach.y1, dst->height())) };
    if (box.empty())
        return;
    POINT cut_pos { box.x0, box.y0 };
    POINT cut_size { box.x1 - box.x0, box.y1 - box.y0 };
    POINT in_scratch { box.x0 - box_pos.x, box.y0 - box_pos.y };

    Canvas scratch_canvas(scratch);
    clipped_copy(scratch_canvas, in_scratch, cut_size, *dst, cut_pos, copy_op());

    COLORREF previous_colour = SetTextColor(dc, colorref(colour));
    int previous_mode = SetBkMode(dc, TRANSPARENT);
    RECT rect { 0, 0, box_size.x, box_size.y };
    DrawText(dc, text.data(), static_cast<int>(text.size()), &rect, flags);
    SetBkMode(dc, previous_mode);
    SetTextColor(dc, previous_colour);

    // A clip left to the text is the box's, as it was before the reach cut it.
    if (clip_pos.x == -1 && clip_pos.y == -1)
        clip_pos = POINT { std::max<int>(box_pos.x, 0), std::max<int>(box_pos.y, 0) };
    if (clip_size.x == -1 && clip_size.y == -1)
        clip_size = POINT { static_cast<int>(std::min<long long>(static_cast<long long>(box_pos.x) + box_size.x, dst->width()) - clip_pos.x),
            static_cast<int>(std::min<long long>(static_cast<long long>(box_pos.y) + box_size.y, dst->height()) - clip_pos.y) };
    Canvas back(dst);
    long long clip_x1 = static_cast<long long>(clip_pos.x) + clip_size.x;
    long long clip_y1 = static_cast<long long>(clip_pos.y) + clip_size.y;
    back.set_clip(ClipRect { std::max<int>(clip_pos.x, 0), std::max<int>(clip_pos.y, 0),
        static_cast<int>(std::clamp<long long>(clip_x1, 0, dst->width())),
        static_cast<int>(std::clamp<long long>(clip_y1, 0, dst->height())) });
    clipped_copy(back, cut_pos, cut_size, *scratch, in_scratch, text_return_op());
}

ClipRect FontRep::text_reach(HDC dc, std::u16string_view text, POINT box_size, HAlign halign, VAlign valign, bool wrap) const
{
    const ClipRect whole { 0, 0, box_size.x, box_size.y };
    // Wrapped and cut-off text may reach anywhere in its box.
    if (wrap || text.empty())
        return whole;
    RECT measured { 0, 0, box_size.x, box_size.y };
    DrawText(dc, text.data(), static_cast<int>(text.size()), &measured, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    const int w = measured.right - measured.left, h = measured.bottom - measured.top;
    // Glyphs may overhang their advance (italics, a j's tail) and the aligning rounds: a margin
    // of half a line keeps every pixel they touch inside.
    const int margin = std::max(2, h / 2);
    if (w <= 0 || h <= 0 || w + 2 * margin >= box_size.x)
        return whole;
    ClipRect reach = whole;
    if (halign == HAlign::CENTER)
        reach.x0 = (box_size.x - w) / 2 - margin, reach.x1 = (box_size.x + w + 1) / 2 + margin;
    else if (halign == HAlign::RIGHT)
        reach.x0 = box_size.x - w - margin;
    else
        reach.x1 = w + margin;
    if (h + 2 * margin < box_size.y) {
        if (valign == VAlign::VCENTER)
            reach.y0 = (box_size.y - h) / 2 - margin, reach.y1 = (box_size.y + h + 1) / 2 + margin;
        else if (valign == VAlign::BOTTOM)
            reach.y0 = box_size.y - h - margin;
        else
            reach.y1 = h + margin;
    }
    reach.x0 = std::max(reach.x0, 0), reach.y0 = std::max(reach.y0, 0);
    reach.x1 = std::min(reach.x1, box_size.x), reach.y1 = std::min(reach.y1, box_size.y);
    return reach;
}

POINT FontRep::text_size(std::u16string_view text) const
{
    if (text.empty())
        return POINT { 0, 0 };
    ScreenDC screen;
    if (!screen.get())
        return POINT { 0, 0 };
    FontSelection selected(screen.get(), m_font);
    RECT rect { 0, 0, 1, 1 };
    int height = DrawText(screen.get(), text.data(), static_cast<int>(text.size()), &rect,
                          DT_CALCRECT | DT_NOPREFIX | DT_VCENTER);
    return POINT { rect.right, height };
}

namespace {

// The code point at text[i] and the UTF-16 units it takes; a lone surrogate is a character
// of its own, as the platform measures it.
char32_t code_point_at(std::u16string_view text, size_t i, size_t& units)
{
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    units = 1;
    return c;
}

}

void FontRep::cache_widths(std::u16string_view text)
{
    // m_missing holds each missing character once, pairs whole, so that its extents give each
    // character's width: the extent after its last unit minus the one before its first.
    m_missing.clear();
    std::vector<char32_t> missing_points;
    for (size_t i = 0, units = 1; i < text.size(); i += units) {
        char32_t c = code_point_at(text, i, units);
        if (m_widths.count(c) || std::find(missing_points.begin(), missing_points.end(), c) != missing_points.end())
            continue;
        missing_points.push_back(c);
        m_missing.append(text.substr(i, units));
    }
    if (m_missing.empty())
        return;
    ScreenDC screen;
    m_extents.assign(m_missing.size(), 0);
    SIZE total {};
    bool measured = false;
    if (screen.get()) {
        FontSelection selected(screen.get(), m_font);
        measured = GetTextExtentExPoint(screen.get(), m_missing.data(), static_cast<int>(m_missing.size()), 0,
                                        nullptr, m_extents.data(), &total);
    }
    // A failed call caches nothing, so that the next measure asks again.
    if (!measured)
        return;
    for (size_t i = 0, units = 1; i < m_missing.size(); i += units) {
        char32_t c = code_point_at(m_missing, i, units);
        m_widths[c] = m_extents[i + units - 1] - (i ? m_extents[i - 1] : 0);
    }
}

TextMeasure FontRep::measure(std::u16string_view text, int max_width, std::vector<int>* running)
{
    TextMeasure m;
    m.descent = m_descent;
    m.fit = static_cast<int>(text.size());
    if (running)
        running->clear();
    if (text.empty())
        return m;
    cache_widths(text);
    bool fit_found = false;
    for (size_t i = 0, units = 1; i < text.size(); i += units) {
        auto it = m_widths.find(code_point_at(text, i, units));
        m.width += it != m_widths.end() ? it->second : 0;
        if (running)
            running->insert(running->end(), units, m.width);
        if (!fit_found && max_width > 0 && m.width > max_width) {
            m.fit = static_cast<int>(i);
            fit_found = true;
        }
    }
    m.height = m_line_height;
    return m;
}
