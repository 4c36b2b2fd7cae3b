#include "skin/elements/BasicElements.h"

#include <algorithm>

#include "skin/drawing/Blit.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/text/FontRep.h"
#include "skin/drawing/PixelOps.h"
#include "skin/file/Properties.h"

void ColorElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_color = props.get_color(record, u"color", SkinColor{0, 0, 0, 255});
}

void ColorElement::draw(Canvas& canvas, POINT position)
{
    fill(canvas, position, size(), m_color);
}

void ClipElement::draw(Canvas& canvas, POINT position)
{
    ClipGuard clip(canvas, position, size());
    Element::draw(canvas, position);
}

void ImageElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    set_picture(props.get_picture(record, u"src", PictureRef()), props.get_int(record, u"alpha", -1),
        props.get_int(record, u"grow", 0) != 0);
}

void ImageElement::set_picture(const PictureRef& picture, int alpha, bool grow)
{
    m_picture = picture;
    m_grow = grow;
    if (alpha == -1)
        m_op = std::make_shared<CopyOp>();
    else
        m_op = std::make_shared<AlphaLevelOp>(alpha);
    invalidate_layout();
    invalidate_redraw();
}

void ImageElement::draw(Canvas& canvas, POINT position)
{
    if (m_op)
        m_picture.draw(canvas, position, size(), *m_op);
    Element::draw(canvas, position);
}

void ImageElement::measure_x(Measure& m)
{
    Element::measure_x(m);
    if (m_grow) {
        int w = m_picture.p3.x - m_picture.p0.x;
        m.preferred = std::max(m.preferred, w);
        m.minimum = std::max(m.minimum, w);
    }
}

void ImageElement::measure_y(Measure& m)
{
    Element::measure_y(m);
    if (m_grow) {
        int h = m_picture.p3.y - m_picture.p0.y;
        m.preferred = std::max(m.preferred, h);
        m.minimum = std::max(m.minimum, h);
    }
}

void OldTextElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_font = props.get_font(record, u"font", nullptr);
    m_text = props.translate(props.get_string(record, u"text", u""));
    m_grow = props.get_int(record, u"grow", 0) != 0;
    m_color = props.get_color(record, u"color", SkinColor{0, 0, 0, 255});
    m_halign = halign_from_name(props.get_string(record, u"halign", u""));
    m_valign = valign_from_name(props.get_string(record, u"valign", u""));
    m_wrap = props.get_int(record, u"wrap", 0) != 0;
    m_text_size = {-1, -1};
}

void OldTextElement::set_text_by_id(std::u16string_view id, std::u16string_view text)
{
    if (id == this->id() && text != m_text) {
        m_text = text;
        m_text_size = {-1, -1};
        if (m_grow)
            invalidate_layout();
        invalidate_redraw();
    }
    Element::set_text_by_id(id, text);
}

POINT OldTextElement::text_size()
{
    if (m_text_size.x < 0)
        m_text_size = m_font ? m_font->text_size(m_text) : POINT{0, 0};
    return m_text_size;
}

void OldTextElement::measure_x(Measure& m)
{
    Element::measure_x(m);
    if (m_grow) {
        m.preferred = std::max(m.preferred, text_size().x);
        m.minimum = std::max(m.minimum, text_size().x);
    }
}

void OldTextElement::measure_y(Measure& m)
{
    Element::measure_y(m);
    if (m_grow) {
        m.preferred = std::max(m.preferred, text_size().y);
        m.minimum = std::max(m.minimum, text_size().y);
    }
}

void OldTextElement::draw(Canvas& canvas, POINT position)
{
    if (m_font) {
        // Text draw ignores the canvas's clip; pass it on, or text would spill out of clipping
        // containers such as a scrolled list.
        const ClipRect& clip = canvas.clip();
        POINT from {std::max(position.x, clip.x0), std::max(position.y, clip.y0)};
        POINT to {std::min(position.x + size().x, clip.x1), std::min(position.y + size().y, clip.y1)};
        if (from.x < to.x && from.y < to.y)
            m_font->draw_text(canvas, m_color, m_text, position, size(), m_halign, m_valign, m_wrap, from,
                POINT {to.x - from.x, to.y - from.y});
    }
    Element::draw(canvas, position);
}
