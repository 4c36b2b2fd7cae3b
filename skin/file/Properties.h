#pragma once
// A loaded skin: the file image with its picture, font and string tables, answering typed
// lookups in place, plus the text map that translates the texts the skin shows.
#include "skin/file/PictureRef.h"
#include "skin/file/PropertiesImpl.h"
#include "skin/file/SkinColor.h"

#include <windef.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

class FontRep;
struct DisplayInfo;

// An element record inside the loaded file; only ever used by reference or pointer.
struct ElementRecord;

class Properties {
public:
    Properties();
    ~Properties();
    Properties(const Properties&) = delete;
    Properties& operator=(const Properties&) = delete;

    // Replaces the current skin only when the new one loaded completely.
    bool load_skin(std::u16string_view path, const DisplayInfo& display);
    bool empty() const { return m_content.header == nullptr; }

    // The record of a named top-level node, or null.
    const ElementRecord* find_node(std::u16string_view name) const;

    // Typed lookups: a missing key gives the default unchanged (and unscaled).
    int32_t get_int(const ElementRecord& record, std::u16string_view key, int32_t fallback) const;
    std::shared_ptr<FontRep> get_font(const ElementRecord& record, std::u16string_view key, std::shared_ptr<FontRep> fallback) const;
    POINT get_point(const ElementRecord& record, std::u16string_view key, POINT fallback) const;
    std::u16string get_string(const ElementRecord& record, std::u16string_view key, std::u16string_view fallback) const;
    PictureRef get_picture(const ElementRecord& record, std::u16string_view key, const PictureRef& fallback) const;
    SkinColor get_color(const ElementRecord& record, std::u16string_view key, SkinColor fallback) const;

    // Number of keys of each kind in a record.
    size_t integer_count(const ElementRecord& record) const;
    size_t font_count(const ElementRecord& record) const;
    size_t point_count(const ElementRecord& record) const;
    size_t string_count(const ElementRecord& record) const;
    size_t picture_count(const ElementRecord& record) const;
    size_t color_count(const ElementRecord& record) const;

    size_t child_count(const ElementRecord& record) const;
    const ElementRecord& child(const ElementRecord& record, size_t index) const;

    // The text for `key` from the text map, or the key itself.
    std::u16string translate(std::u16string_view key) const;
    void set_translation(const std::u16string& key, const std::u16string& text);
    void clear_translations() { m_texts.clear(); }

    int scale_shift() const { return m_content.scale_shift; }
    // Whether the skin was compiled and drawn for its screen at a scale of its own (its node
    // "scale"): then its sizes are that screen's pixels and nothing is replicated.
    bool drawn_for_screen() const { return m_content.drawn_thousandths != 0; }
    // Screen pixels per design pixel (a 96 dpi screen's): that scale, else 2^scale_shift.
    double pixel_scale() const;
    // A length the program keeps in design pixels, on this skin's screen.
    int pixels(int design) const;
    const std::vector<PictureRef>& picture_table() const { return m_content.pictures; }
    const std::vector<std::shared_ptr<FontRep>>& font_table() const { return m_content.fonts; }
    const std::vector<std::u16string>& string_table() const { return m_content.strings; }

private:
    size_t offset_of(const ElementRecord& record) const;
    size_t find(const ElementRecord& record, int kind, std::u16string_view key) const;
    size_t count(const ElementRecord& record, int kind) const;

    std::map<std::u16string, std::u16string, std::less<>> m_texts;
    PropertiesImpl m_content;
};
