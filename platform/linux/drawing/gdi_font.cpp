// Font creation, matching through fontconfig, text metrics and extents.
#include "linux/drawing/gdi_font.h"
#include "linux/text/host_text.h"
#include "winbase.h"

#include <simhost.h>

#include <fontconfig/fontconfig.h>
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace gdi {

namespace {

// Wine ships faces metric-compatible with the device's; its folder is not in fontconfig's path.
constexpr const char* kDeviceFontDir = "/usr/share/wine/fonts";
constexpr const char* kDefaultFace = "Tahoma";
constexpr const char* kFallbackFace = "DejaVu Sans";

std::atomic<unsigned long> g_glyphLoads { 0 };

FT_Library library()
{
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0)
            return static_cast<FT_Library>(nullptr);
        FcInit();
        // fontconfig keeps part of its configuration unreachable until it is finished.
        std::atexit(FcFini);
        std::error_code ec;
        if (std::filesystem::is_directory(kDeviceFontDir, ec))
            FcConfigAppFontAddDir(nullptr, reinterpret_cast<const FcChar8*>(kDeviceFontDir));
        return l;
    }();
    return lib;
}

struct Match {
    std::string file;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
};

bool askFontconfig(const std::string& family, int weight, bool italic, Match& out)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!found)
        return false;
    FcChar8* file = nullptr;
    bool ok = FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch;
    if (ok) {
        out.file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(found, FC_INDEX, 0, &out.index);
        FcPatternGetInteger(found, FC_WEIGHT, 0, &out.weight);
        FcPatternGetInteger(found, FC_SLANT, 0, &out.slant);
    }
    FcPatternDestroy(found);
    return ok;
}

// fontconfig's answer for a family, weight and slant stays the same while the program runs, and
// asking costs more than the rest of making a font; a keyboard makes dozens at every start.
std::mutex g_cacheLock;

bool match(const std::string& family, int weight, bool italic, Match& out)
{
    static std::map<std::tuple<std::string, int, bool>, std::optional<Match>> answers;
    std::lock_guard g(g_cacheLock);
    auto [it, fresh] = answers.try_emplace({ family, weight, italic });
    if (fresh) {
        Match m;
        if (askFontconfig(family, weight, italic, m))
            it->second = m;
    }
    if (!it->second)
        return false;
    out = *it->second;
    return true;
}

FT_Face open(const Match& m, int ppem)
{
    FT_Face face = nullptr;
    if (FT_New_Face(library(), m.file.c_str(), m.index, &face) != 0)
        return nullptr;
    if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    return face;
}

int scale(long units, int ppem, int unitsPerEm)
{
    return static_cast<int>((units * ppem + unitsPerEm / 2) / unitsPerEm);
}

struct VerticalMetrics {
    long ascent;
    long descent;
    long lineGap;
};

// The device sizes text cells by the OS/2 "Windows" ascent and descent.
VerticalMetrics verticalMetrics(FT_Face face)
{
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    VerticalMetrics v { face->ascender, -face->descender, 0 };
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        v.ascent = os2->usWinAscent;
        v.descent = os2->usWinDescent;
    }
    if (hhea)
        v.lineGap = std::max<long>(0, hhea->Line_Gap - ((v.ascent + v.descent) - (hhea->Ascender - hhea->Descender)));
    return v;
}

void fillMetrics(Font& f, int dpi)
{
    FT_Face face = f.face;
    int upem = face->units_per_EM ? face->units_per_EM : 2048;
    VerticalMetrics v = verticalMetrics(face);
    TEXTMETRICW& tm = f.metrics;
    if (f.logfont.lfHeight > 0) {
        // Asked for a cell height: the cell is exactly that, split as the face splits it.
        long cell = std::max(1l, v.ascent + v.descent);
        tm.tmHeight = f.logfont.lfHeight;
        tm.tmAscent = static_cast<LONG>((v.ascent * f.logfont.lfHeight + cell / 2) / cell);
        tm.tmDescent = tm.tmHeight - tm.tmAscent;
    } else {
        tm.tmAscent = scale(v.ascent, f.ppem, upem);
        tm.tmDescent = scale(v.descent, f.ppem, upem);
        tm.tmHeight = tm.tmAscent + tm.tmDescent;
    }
    tm.tmInternalLeading = std::max(0, static_cast<int>(tm.tmHeight) - f.ppem);
    tm.tmExternalLeading = scale(v.lineGap, f.ppem, upem);
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    tm.tmAveCharWidth = os2 && os2->xAvgCharWidth > 0 ? scale(os2->xAvgCharWidth, f.ppem, upem)
                                                      : std::max(1, f.ppem / 2);
    tm.tmMaxCharWidth = scale(face->max_advance_width, f.ppem, upem);
    tm.tmWeight = f.logfont.lfWeight ? f.logfont.lfWeight : FW_NORMAL;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = dpi;
    tm.tmDigitizedAspectY = dpi;
    tm.tmFirstChar = 0x0020;
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = 0x001F;
    tm.tmBreakChar = 0x0020;
    tm.tmItalic = f.logfont.lfItalic ? 1 : 0;
    tm.tmUnderlined = f.logfont.lfUnderline ? 1 : 0;
    tm.tmStruckOut = f.logfont.lfStrikeOut ? 1 : 0;
    tm.tmPitchAndFamily = static_cast<BYTE>((FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH)
                                            | TMPF_VECTOR | TMPF_TRUETYPE | FF_SWISS);
    tm.tmCharSet = f.logfont.lfCharSet;

    f.underlineOffset = std::max(1, scale(-face->underline_position, f.ppem, upem));
    f.underlineThickness = std::max(1, scale(face->underline_thickness, f.ppem, upem));
}

// What sizing a font needs of its face file, read once per file.
struct FaceInfo {
    bool usable = false; // FreeType opens and scales it
    int unitsPerEm = 2048;
    VerticalMetrics vertical {};
};

FaceInfo faceInfo(const Match& m)
{
    static std::map<std::pair<std::string, int>, FaceInfo> known;
    std::lock_guard g(g_cacheLock);
    auto [it, fresh] = known.try_emplace({ m.file, m.index });
    if (fresh) {
        if (FT_Face probe = open(m, 16)) {
            it->second.usable = true;
            it->second.unitsPerEm = probe->units_per_EM ? probe->units_per_EM : 2048;
            it->second.vertical = verticalMetrics(probe);
            FT_Done_Face(probe);
        }
    }
    return it->second;
}

int pixelsPerEm(const LOGFONTW& lf, const FaceInfo& face, int dpi)
{
    if (lf.lfHeight < 0)
        return -lf.lfHeight;
    if (lf.lfHeight == 0)
        return 12 * dpi / 72;
    // A positive height is the whole cell, ascent plus descent.
    long cell = std::max(1l, face.vertical.ascent + face.vertical.descent);
    return std::max(1, static_cast<int>((lf.lfHeight * static_cast<long>(face.unitsPerEm) + cell / 2) / cell));
}

Font* create(const LOGFONTW& lf)
{
    if (!library())
        return nullptr;
    // Larger than any screen: a caller's arithmetic gone wrong, not a font.
    if (lf.lfHeight < -2048 || lf.lfHeight > 2048)
        return nullptr;
    std::u16string_view faceName(lf.lfFaceName, LF_FACESIZE);
    std::string family = sim::toUtf8(faceName.substr(0, faceName.find(u'\0')));
    if (family.empty())
        family = kDefaultFace;
    int weight = lf.lfWeight ? std::clamp<int>(lf.lfWeight, 1, 1000) : FW_NORMAL;
    bool italic = lf.lfItalic != 0;
    int dpi = deviceMetrics().dpi;

    Match m;
    if (!match(family, weight, italic, m))
        return nullptr;
    FaceInfo info = faceInfo(m);
    if (!info.usable) {
        // A face that fontconfig knows but FreeType cannot size: take the plain fallback.
        if (!match(kFallbackFace, weight, italic, m) || !(info = faceInfo(m)).usable)
            return nullptr;
    }
    int ppem = std::clamp(pixelsPerEm(lf, info, dpi), 1, 2048);

    auto* f = new Font();
    f->logfont = lf;
    f->logfont.lfFaceName[LF_FACESIZE - 1] = 0;
    f->ppem = ppem;
    f->face = open(m, ppem);
    if (!f->face) {
        delete f;
        return nullptr;
    }
    f->embolden = weight >= FW_SEMIBOLD && m.weight < FC_WEIGHT_DEMIBOLD;
    // Wine's bold Tahoma has bold advances but regular outlines (its bitmap strikes carry the
    // bold look); thicken the outlines by about the stem difference and keep the advances.
    if (weight >= FW_SEMIBOLD && !f->embolden && m.file.rfind(kDeviceFontDir, 0) == 0)
        f->thicken = ppem * 64 * 3 / 40;
    f->slant = italic && m.slant == FC_SLANT_ROMAN;
    if (f->face->family_name)
        f->family = sim::toUtf16(f->face->family_name);
    f->antialias = lf.lfQuality != NONANTIALIASED_QUALITY;
    fillMetrics(*f, dpi);
    return f;
}

// Outlines only: the device-like faces carry bitmap strikes for Latin but not for Cyrillic, and
// mixing the two in one word looks broken.
FT_Int32 loadFlags(const Font& f)
{
    return FT_LOAD_NO_BITMAP | (f.antialias ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_MONO);
}

// Loads c into its face's glyph slot, with the synthetic styles applied; returns that face.
FT_Face load(Font& f, char32_t c)
{
    FT_Face face = f.face;
    FT_UInt index = FT_Get_Char_Index(face, c);
    if (index == 0 && c >= 0x20) {
        if (!f.fallbackTried) {
            f.fallbackTried = true;
            Match m;
            if (match(kFallbackFace, f.logfont.lfWeight ? f.logfont.lfWeight : FW_NORMAL, false, m))
                f.fallback = open(m, f.ppem);
        }
        if (f.fallback) {
            if (FT_UInt other = FT_Get_Char_Index(f.fallback, c)) {
                face = f.fallback;
                index = other;
            }
        }
    }
    g_glyphLoads++;
    if (FT_Load_Glyph(face, index, loadFlags(f)) != 0)
        return nullptr;
    if (f.slant)
        FT_GlyphSlot_Oblique(face->glyph);
    if (f.embolden)
        FT_GlyphSlot_Embolden(face->glyph);
    else if (f.thicken && face == f.face && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
        FT_Outline_EmboldenXY(&face->glyph->outline, f.thicken, 0);
    return face;
}

} // namespace

std::u32string decode(const WCHAR* text, int count)
{
    std::u32string out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        out += c;
    }
    return out;
}

int Font::advance(char32_t c)
{
    if (c < 0x20)
        return 0; // control characters take no room
    FT_Face f = load(*this, c);
    return f ? static_cast<int>((f->glyph->advance.x + 32) >> 6) : 0;
}

const Glyph& Font::glyph(char32_t c)
{
    auto it = glyphs.find(c);
    if (it != glyphs.end())
        return it->second;
    Glyph& g = glyphs[c];
    if (c < 0x20)
        return g;
    FT_Face f = load(*this, c);
    if (!f)
        return g;
    FT_GlyphSlot slot = f->glyph;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0)
        return g;
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.coverage.assign(static_cast<size_t>(g.width) * g.height, 0);
    for (int y = 0; y < g.height; ++y) {
        const unsigned char* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
        uint8_t* out = g.coverage.data() + static_cast<size_t>(y) * g.width;
        for (int x = 0; x < g.width; ++x) {
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                out[x] = row[x];
        }
    }
    return g;
}

Font* stockFont()
{
    static Font* font = [] {
        LOGFONTW lf {};
        lf.lfHeight = -(9 * deviceMetrics().dpi / 72);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = CLEARTYPE_QUALITY;
        const char16_t* face = u"Tahoma";
        for (int i = 0; face[i]; ++i)
            lf.lfFaceName[i] = face[i];
        Font* f = create(lf);
        if (!f) {
            // No face at all on the host: text measures as nothing and draws nothing.
            f = new Font();
            f->logfont = lf;
            f->metrics.tmHeight = f->metrics.tmAscent = -lf.lfHeight;
        }
        f->stock = true;
        track(f);
        return f;
    }();
    return font;
}

void destroyFont(Font* font)
{
    if (font->face)
        FT_Done_Face(font->face);
    if (font->fallback)
        FT_Done_Face(font->fallback);
    delete font;
}

} // namespace gdi

using namespace gdi;

unsigned long SimGlyphLoadCount()
{
    return g_glyphLoads.load();
}

HFONT CreateFontIndirect(const LOGFONTW* lf)
{
    if (!lf)
        return nullptr;
    std::lock_guard guard(lock());
    Font* f = create(*lf);
    if (f)
        track(f);
    return f;
}

BOOL GetTextMetrics(HDC handle, TEXTMETRICW* metrics)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    if (!dc || !metrics)
        return FALSE;
    *metrics = dc->font->metrics;
    return TRUE;
}

int GetTextFace(HDC handle, int count, LPWSTR faceName)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    if (!dc || count < 0 || (faceName && count == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string& family = dc->font->family;
    if (!faceName)
        return static_cast<int>(family.size()) + 1;
    size_t copied = std::min(family.size(), static_cast<size_t>(count) - 1);
    std::copy_n(family.begin(), copied, faceName);
    faceName[copied] = 0;
    return static_cast<int>(copied) + 1;
}

BOOL GetTextExtentExPoint(HDC handle, LPCWSTR text, int count, int maxExtent, LPINT fit, LPINT dx,
                          LPSIZE size)
{
    std::lock_guard guard(lock());
    DC* dc = findDC(handle);
    if (!dc || (!text && count != 0))
        return FALSE;
    if (count < 0)
        count = static_cast<int>(std::char_traits<char16_t>::length(text));
    Font* font = dc->font;
    int extent = 0;
    int fits = 0;
    bool stillFits = true;
    for (int i = 0; i < count; ++i) {
        char32_t c = text[i];
        bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pair)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        extent += font->face ? font->advance(c) : 0;
        int units = pair ? 2 : 1;
        for (int k = 0; k < units; ++k) {
            if (dx)
                dx[i + k] = extent;
            if (stillFits && extent <= maxExtent)
                fits = i + k + 1;
        }
        if (extent > maxExtent)
            stillFits = false;
        i += units - 1;
    }
    if (fit)
        *fit = fits;
    if (size) {
        size->cx = extent;
        size->cy = font->metrics.tmHeight;
    }
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC dc, LPCWSTR text, int count, LPSIZE size)
{
    return GetTextExtentExPoint(dc, text, count, 0, nullptr, nullptr, size);
}
