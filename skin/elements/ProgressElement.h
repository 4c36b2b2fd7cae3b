#pragma once
// Progress bar: the "#line" child is as long as the value's share of the bar.
#include "skin/elements/Element.h"

class ProgressElement : public Element {
public:
    using Element::Element;

    void load(const Properties& props, const ElementRecord& record) override;
    void arrange_x() override;
    void arrange_y() override;

    // 0.0 ... 1.0; the owner re-arranges the bar afterwards.
    void set_value(double value);
    void bind_line() { m_line = find_child(u"#line"); }
    double value() const { return m_value; }

private:
    Element* m_line = nullptr;
    double m_value = 0.0;
};
