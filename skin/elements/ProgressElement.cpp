#include "skin/elements/ProgressElement.h"

#include <algorithm>

void ProgressElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    bind_line();
}

void ProgressElement::set_value(double value)
{
    // Values outside 0...1 (or NaN) would draw the line outside the bar.
    if (!(value >= 0.0))
        value = 0.0;
    m_value = std::min(value, 1.0);
    invalidate_layout();
}

namespace {

int line_length(AnchorMode mode, int m1, int m2, int length, double value)
{
    int wanted = static_cast<int>((length - anchor::need(mode, m1, 0, m2)) * value);
    return wanted < 1 ? 0 : wanted;
}

} // namespace

void ProgressElement::arrange_x()
{
    for (Element* child : children()) {
        if (child != m_line) {
            place_child_x(*child, position().x, size().x);
            continue;
        }
        AnchorMode mode = child->anchor_x();
        int m1 = child->border_min().x;
        int m2 = child->border_max().x;
        int d = line_length(mode, m1, m2, size().x, m_value);
        int s = anchor::size(mode, m1, d, m2, size().x);
        child->set_x(position().x + anchor::offset(mode, m1, s, m2, size().x), s);
    }
}

void ProgressElement::arrange_y()
{
    for (Element* child : children()) {
        if (child != m_line) {
            place_child_y(*child, position().y, size().y);
            continue;
        }
        AnchorMode mode = child->anchor_y();
        int m1 = child->border_min().y;
        int m2 = child->border_max().y;
        int d = line_length(mode, m1, m2, size().y, m_value);
        int s = anchor::size(mode, m1, d, m2, size().y);
        child->set_y(position().y + anchor::offset(mode, m1, s, m2, size().y), s);
    }
}
