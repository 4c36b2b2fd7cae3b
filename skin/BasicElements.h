#pragma once
// The simple element types: filled rectangle, clipping container, nine-patch picture and
// the plain text block.
#include <cstdint>
#include <memory>
#include <string>

#include "skin/Align.h"
#include "skin/Element.h"
#include "skin/PictureRef.h"

class FontRep;

class ColorElement : public Element {
public:
    using Element::Element;
    void load(const Properties& props, const ElementRecord& record) override;
    void draw(Canvas& canvas, POINT position) override;
    void set_pixel(uint16_t pixel) { m_pixel = pixel; invalidate_redraw(); }
    uint16_t pixel() const { return m_pixel; }

private:
    uint16_t m_pixel = 0;
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

private:
    POINT text_size();

    std::shared_ptr<FontRep> m_font;
    std::u16string m_text;
    bool m_grow = false;
    uint16_t m_color = 0;
    HAlign m_halign = HAlign::CENTER;
    VAlign m_valign = VAlign::VCENTER;
    bool m_wrap = false;
    POINT m_text_size{-1, -1};
};
