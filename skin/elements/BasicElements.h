#pragma once
// The simple element types: filled rectangle, clipping container, nine-patch picture and
// the plain text block.
#include <cstdint>
#include <memory>
#include <string>

#include "skin/elements/Align.h"
#include "skin/elements/Element.h"
#include "skin/file/PictureRef.h"
#include "skin/file/SkinColor.h"

class FontRep;

class ColorElement : public Element {
public:
    using Element::Element;
    void load(const Properties& props, const ElementRecord& record) override;
    void draw(Canvas& canvas, POINT position) override;
    void set_color(SkinColor color) { m_color = color; invalidate_redraw(); }
    SkinColor color() const { return m_color; }

private:
    SkinColor m_color;
};

class ClipElement : public Element {
public:
    using Element::Element;
    void draw(Canvas& canvas, POINT position) override;
};

class ImageElement : public Element {
public:
    using Element::Element;
    void load(const Properties& props, const ElementRecord& record) override;
    void draw(Canvas& canvas, POINT position) override;
    void measure_x(Measure& m) override;
    void measure_y(Measure& m) override;

    void set_picture(const PictureRef& picture, int alpha = -1, bool grow = false);
    const PictureRef& picture() const { return m_picture; }

private:
    PictureRef m_picture;
    std::shared_ptr<PixelOp> m_op;
    bool m_grow = false;
};

class OldTextElement : public Element {
public:
    using Element::Element;
    void load(const Properties& props, const ElementRecord& record) override;
    void set_text_by_id(std::u16string_view id, std::u16string_view text) override;
    void draw(Canvas& canvas, POINT position) override;
    void measure_x(Measure& m) override;
    void measure_y(Measure& m) override;

    const std::u16string& text() const { return m_text; }

private:
    POINT text_size();

    std::shared_ptr<FontRep> m_font;
    std::u16string m_text;
    bool m_grow = false;
    SkinColor m_color;
    HAlign m_halign = HAlign::CENTER;
    VAlign m_valign = VAlign::VCENTER;
    bool m_wrap = false;
    POINT m_text_size{-1, -1};
};
