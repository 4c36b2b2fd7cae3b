#include "skin/elements/Element.h"

#include <algorithm>

#include "skin/elements/FormElement.h"
#include "skin/elements/VisibilityAnimation.h"

Element::Element(Element* parent)
    : m_parent(parent)
{
    if (parent) {
        m_form = parent->m_form;
        m_parent_visible = parent->m_visible && parent->m_parent_visible;
        m_parent_enabled = parent->m_enabled && parent->m_parent_enabled;
        parent->add_child(this);
    } else {
        // A root waits for its owner to show it.
        m_visible = false;
    }
}

Element::~Element()
{
    if (m_form && m_form != this)
        m_form->forget(this);
    if (m_parent)
        m_parent->remove_child(this);
    destroy_children();
}

void Element::destroy_children()
{
    // Each child detaches itself from m_children while it is destroyed.
    while (!m_children.empty()) {
        Element* child = m_children.back();
        delete child;
    }
}

void Element::set_text_by_id(std::u16string_view id, std::u16string_view text)
{
    for (Element* child : std::vector<Element*>(m_children))
        child->set_text_by_id(id, text);
}

void Element::add_child(Element* child)
{
    m_children.push_back(child);
    invalidate_layout();
}

void Element::remove_child(Element* child)
{
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end())
        return;
    m_children.erase(it);
    child->m_parent = nullptr;
    invalidate_layout();
}

void Element::invalidate_redraw()
{
    for (Element* e = this; e; e = e->m_parent)
        e->m_needs_redraw = true;
}

void Element::invalidate_layout()
{
    for (Element* e = this; e; e = e->m_parent) {
        e->m_needs_layout = true;
        e->m_measure_x = {-1, 0};
        e->m_measure_y = {-1, 0};
    }
}

void Element::set_enabled(bool flag)
{
    bool before = is_enabled();
    m_enabled = flag;
    if (is_enabled() != before)
        enabled_changed(is_enabled());
    invalidate_redraw();
}

void Element::enabled_changed(bool effective)
{
    for (Element* child : m_children)
        child->inherit_enabled(effective);
    invalidate_redraw();
}

void Element::inherit_enabled(bool parent_effective)
{
    bool before = is_enabled();
    m_parent_enabled = parent_effective;
    if (is_enabled() != before)
        enabled_changed(is_enabled());
}

void Element::set_visible(bool flag)
{
    bool before = is_visible();
    m_visible = flag;
    if (is_visible() != before)
        visibility_changed(is_visible());
    invalidate_layout();
}

void Element::visibility_changed(bool effective)
{
    for (Element* child : m_children)
        child->inherit_visible(effective);
    invalidate_layout();
    if (!effective)
        free_cache();
}

void Element::inherit_visible(bool parent_effective)
{
    bool before = is_visible();
    m_parent_visible = parent_effective;
    if (is_visible() != before)
        visibility_changed(is_visible());
}

void Element::animate(double time_step)
{
    if (animation_running()) {
        m_animation->animate(time_step);
        invalidate_redraw();
        return;
    }
    for (Element* child : m_children)
        child->animate(time_step);
}

bool Element::animation_running() const
{
    return m_animation && m_animation->running();
}

void Element::set_animation(std::unique_ptr<VisibilityAnimation> animation)
{
    m_animation = std::move(animation);
}

void Element::start_animation(std::unique_ptr<RenderSurface>& background, int direction,
    std::unique_ptr<RenderSurface>& snapshot)
{
    if (!m_animation)
        return;
    m_animation->start(background, direction, snapshot);
    invalidate_redraw();
}

void Element::set_anchors(AnchorMode x, AnchorMode y)
{
    m_anchor_x = x;
    m_anchor_y = y;
    invalidate_layout();
}

void Element::set_borders(POINT border_min, POINT design_size, POINT border_max)
{
    m_border_min = border_min;
    m_design_size = design_size;
    m_border_max = border_max;
    invalidate_layout();
}

void Element::set_table_ratio(int ratio)
{
    m_table_ratio = ratio;
    invalidate_layout();
}

// ---- layout ------------------------------------------------------------------

void Element::set_x(int x, int width)
{
    if (x == m_position.x && width == m_size.x && !m_needs_layout)
        return;
    m_position.x = x;
    m_size.x = width;
    m_needs_layout = true;
    m_needs_redraw = true;
    if (m_observer)
        m_observer->geometry_changed(*this, width);
    arrange_x();
}

void Element::set_y(int y, int height)
{
    if (y == m_position.y && height == m_size.y && !m_needs_layout)
        return;
    m_position.y = y;
    m_size.y = height;
    m_needs_layout = false;
    m_needs_redraw = true;
    if (m_observer)
        m_observer->geometry_changed(*this, height);
    arrange_y();
}

Measure Element::desired_x()
{
    if (m_measure_x.preferred < 0) {
        Measure m;
        measure_x(m);
        m_measure_x = m;
    }
    return m_measure_x;
}

Measure Element::desired_y()
{
    if (m_measure_y.preferred < 0) {
        Measure m;
        measure_y(m);
        m_measure_y = m;
    }
    return m_measure_y;
}

void Element::measure_x(Measure& m)
{
    m.preferred = std::max(m.preferred, m_design_size.x);
    m.minimum = std::max(m.minimum, m_design_size.x);
    for (Element* child : m_children) {
        Measure d = child->desired_x();
        int r = anchor::need(child->m_anchor_x, child->m_border_min.x, d.preferred, child->m_border_max.x);
        m.preferred = std::max(m.preferred, r);
        m.minimum = std::max(m.minimum, d.minimum + r - d.preferred);
    }
}

void Element::measure_y(Measure& m)
{
    m.preferred = std::max(m.preferred, m_design_size.y);
    m.minimum = std::max(m.minimum, m_design_size.y);
    for (Element* child : m_children) {
        Measure d = child->desired_y();
        int r = anchor::need(child->m_anchor_y, child->m_border_min.y, d.preferred, child->m_border_max.y);
        m.preferred = std::max(m.preferred, r);
        m.minimum = std::max(m.minimum, d.minimum + r - d.preferred);
    }
}

void Element::place_child_x(Element& child, int start, int length)
{
    int wanted = child.desired_x().preferred;
    int s = anchor::size(child.m_anchor_x, child.m_border_min.x, wanted, child.m_border_max.x, length);
    int o = anchor::offset(child.m_anchor_x, child.m_border_min.x, s, child.m_border_max.x, length);
    child.set_x(start + o, s);
}

void Element::place_child_y(Element& child, int start, int length)
{
    int wanted = child.desired_y().preferred;
    int s = anchor::size(child.m_anchor_y, child.m_border_min.y, wanted, child.m_border_max.y, length);
    int o = anchor::offset(child.m_anchor_y, child.m_border_min.y, s, child.m_border_max.y, length);
    child.set_y(start + o, s);
}

void Element::arrange_x()
{
    for (Element* child : m_children)
        place_child_x(*child, m_position.x, m_size.x);
}

void Element::arrange_y()
{
    for (Element* child : m_children)
        place_child_y(*child, m_position.y, m_size.y);
}

bool Element::contains(POINT p) const
{
    return m_position.x <= p.x && p.x < m_position.x + m_size.x && m_position.y <= p.y
        && p.y < m_position.y + m_size.y;
}

void Element::pointer_move(POINT) { }

bool Element::pointer_press(const PressEvent&) { return false; }

bool Element::key_event(int, bool) { return false; }

bool Element::char_input(std::u16string_view) { return false; }

Element* Element::find_child(std::u16string_view id) const
{
    for (Element* child : m_children)
        if (child->m_id == id)
            return child;
    for (Element* child : m_children)
        if (Element* hit = child->find_child(id))
            return hit;
    return nullptr;
}

// ---- tables ------------------------------------------------------------------

namespace {

std::vector<TableCell> cells_x(const std::vector<Element*>& children, std::vector<Element*>& placed)
{
    std::vector<TableCell> cells;
    for (Element* c : children) {
        if (!c->own_visible())
            continue;
        Measure d = c->desired_x();
        cells.push_back({c->anchor_x(), c->border_min().x, c->border_max().x, d.preferred, d.minimum, c->table_ratio()});
        placed.push_back(c);
    }
    return cells;
}

std::vector<TableCell> cells_y(const std::vector<Element*>& children, std::vector<Element*>& placed)
{
    std::vector<TableCell> cells;
    for (Element* c : children) {
        if (!c->own_visible())
            continue;
        Measure d = c->desired_y();
        cells.push_back({c->anchor_y(), c->border_min().y, c->border_max().y, d.preferred, d.minimum, c->table_ratio()});
        placed.push_back(c);
    }
    return cells;
}

} // namespace

void HTableElement::measure_x(Measure& m)
{
    std::vector<Element*> placed;
    TableMeasure t = table_measure(cells_x(children(), placed), design_size().x);
    m.preferred = std::max(m.preferred, t.preferred);
    m.minimum = std::max(m.minimum, t.minimum);
}

void HTableElement::arrange_x()
{
    std::vector<Element*> placed;
    auto slots = table_arrange(cells_x(children(), placed), size().x);
    for (size_t i = 0; i < placed.size(); ++i)
        placed[i]->set_x(position().x + slots[i].offset, slots[i].size);
}

void VTableElement::measure_y(Measure& m)
{
    std::vector<Element*> placed;
    TableMeasure t = table_measure(cells_y(children(), placed), design_size().y);
    m.preferred = std::max(m.preferred, t.preferred);
    m.minimum = std::max(m.minimum, t.minimum);
}

void VTableElement::arrange_y()
{
    std::vector<Element*> placed;
    auto slots = table_arrange(cells_y(children(), placed), size().y);
    for (size_t i = 0; i < placed.size(); ++i)
        placed[i]->set_y(position().y + slots[i].offset, slots[i].size);
}
