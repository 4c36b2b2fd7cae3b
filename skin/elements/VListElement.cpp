#include "skin/elements/VListElement.h"

#include <winbase.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runtime/Log.h"
#include "skin/drawing/Canvas.h"
#include "skin/drawing/ClipGuard.h"
#include "skin/elements/FormElement.h"
#include "skin/file/Properties.h"
#include "skin/elements/WidgetListener.h"

namespace {

// Movement below this many pixels (at 96 dots per inch) is still a tap.
constexpr int kDragThreshold = 6;
// A press that catches the list moving faster than this only stops it.
constexpr double kCatchSpeed = 60.0;
// Coasting speed decays by this factor per second.
constexpr double kFriction = 4.0;
// Over-scroll returns with this rate per second (about a tenth of a second per e-fold).
constexpr double kSpringRate = 12.0;
constexpr double kStopSpeed = 20.0;

} // namespace

VListElement::VListElement(Element* parent)
    : Element(parent)
{
    if (form())
        form()->join_key_list(this);
}

void VListElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_border_top = props.get_point(record, u"scroll_border_min", POINT{0, 0}).y;
    m_border_bottom = props.get_point(record, u"scroll_border_max", POINT{0, 0}).y;
    m_locked = props.get_int(record, u"locked", 0) != 0;
    m_grow = props.get_int(record, u"grow", 0) != 0;
    m_drag_threshold = props.pixels(kDragThreshold);
    refresh_item_looks();
}

void VListElement::set_scroll_borders(int top, int bottom)
{
    m_border_top = top;
    m_border_bottom = bottom;
    invalidate_layout();
}

void VListElement::add_child(Element* child)
{
    Element::add_child(child);
    refresh_item_looks();
}

void VListElement::remove_child(Element* child)
{
    Element::remove_child(child);
    m_pressed = -1;
    if (m_selected >= item_count())
        m_selected = -1;
}

void VListElement::clear_items()
{
    destroy_children();
    m_pressed = -1;
    m_selected = -1;
    m_velocity = 0.0;
    m_dragging = false;
    set_scroll(0.0);
}

Element* VListElement::item(int index) const
{
    if (index < 0 || index >= item_count())
        return nullptr;
    return children()[index];
}

int VListElement::content_height()
{
    int total = m_border_top + m_border_bottom;
    for (Element* child : children())
        if (child->own_visible())
            total += child->desired_y().preferred;
    return total;
}

int VListElement::min_scroll() const
{
    int total = m_border_top + m_border_bottom;
    for (Element* child : children())
        if (child->own_visible())
            total += child->size().y;
    return std::min(0, size().y - total);
}

double VListElement::overshoot() const
{
    if (m_scroll > 0)
        return m_scroll;
    double low = min_scroll();
    return m_scroll < low ? low - m_scroll : 0.0;
}

void VListElement::measure_y(Measure& m)
{
    Element::measure_y(m);
    if (!m_grow)
        return;
    // The items stack, so the base measure (which overlaps them) is not what the list needs.
    int total = content_height();
    m.preferred = std::max(m.preferred, total);
    m.minimum = std::max(m.minimum, m_border_top + m_border_bottom);
    Log().append(u"Desired size=");
    Log().append(static_cast<long long>(m.preferred));
    Log().append(u"\n");
}

void VListElement::arrange_x()
{
    Element::arrange_x();
}

void VListElement::arrange_y()
{
    int y = position().y + m_border_top + static_cast<int>(std::lround(m_scroll));
    for (Element* child : children()) {
        if (!child->own_visible())
            continue;
        int h = child->desired_y().preferred;
        child->set_y(y, h);
        y += h;
    }
}

void VListElement::set_scroll(double scroll)
{
    if (scroll == m_scroll)
        return;
    m_scroll = scroll;
    arrange_y();
    invalidate_redraw();
}

void VListElement::draw(Canvas& canvas, POINT at)
{
    ClipGuard clip(canvas, at, size());
    for (Element* child : children()) {
        if (!child->own_visible())
            continue;
        // Items far outside the list are not drawn at all.
        if (child->position().y + child->size().y < position().y
            || child->position().y >= position().y + size().y)
            continue;
        POINT p{at.x + child->position().x - position().x, at.y + child->position().y - position().y};
        child->paint(canvas, p);
    }
}

int VListElement::item_at(POINT point) const
{
    if (!contains(point))
        return -1;
    for (int i = 0; i < item_count(); ++i)
        if (children()[i]->own_visible() && children()[i]->contains(point))
            return i;
    return -1;
}

bool VListElement::has_sub_items(const Element& item)
{
    for (Element* child : item.children()) {
        if (dynamic_cast<VListElement*>(child))
            return true;
        if (has_sub_items(*child))
            return true;
    }
    return false;
}

namespace {

// The lists nearest below `e` in each branch (not the lists inside those).
void collect_sub_lists(const Element& e, std::vector<VListElement*>& out)
{
    for (Element* child : e.children()) {
        if (auto* list = dynamic_cast<VListElement*>(child))
            out.push_back(list);
        else
            collect_sub_lists(*child, out);
    }
}

} // namespace

void VListElement::tap_item_with_sub_items(Element& item, const PressEvent& release)
{
    if (item.pointer_press(release))
        return;
    std::vector<VListElement*> subs;
    collect_sub_lists(item, subs);
    // A tap inside an open sub-list is that list's own tap; anywhere else on the item it
    // opens or closes the sub-lists.
    for (VListElement* sub : subs) {
        if (sub->is_visible() && sub->contains(release.point)) {
            PressEvent down = release;
            down.pressed = true;
            sub->pointer_press(down);
            sub->pointer_press(release);
            return;
        }
    }
    bool open = false;
    for (VListElement* sub : subs)
        open = open || sub->own_visible();
    for (VListElement* sub : subs)
        sub->set_visible(!open);
}

void VListElement::set_selected(int index)
{
    if (index < -1 || index >= item_count())
        index = -1;
    m_selected = index;
    refresh_item_looks();
}

void VListElement::refresh_item_looks()
{
    for (int i = 0; i < item_count(); ++i) {
        Element* it = children()[i];
        Element* normal = it->find_child(u"#vlist_normal");
        Element* pressed = it->find_child(u"#vlist_pressed");
        Element* selected = it->find_child(u"#vlist_selected");
        Element* want = normal;
        if (i == m_pressed && pressed && !has_sub_items(*it))
            want = pressed;
        else if (i == m_selected && selected)
            want = selected;
        for (Element* look : {normal, pressed, selected})
            if (look)
                look->set_visible(look == want);
    }
    invalidate_redraw();
}

bool VListElement::pointer_press(const PressEvent& event)
{
    if (event.pressed) {
        // A finger that lands on a coasting or springing list means "stop", not "choose": the
        // item under it would be a matter of luck.
        bool caught = std::abs(m_velocity) > kCatchSpeed || overshoot() > 0.5;
        m_holding = true;
        m_dragging = false;
        m_velocity = 0.0;
        m_press_point = m_last_point = event.point;
        m_last_tick = GetTickCount();
        m_pressed = caught ? -1 : item_at(event.point);
        // A disabled item takes part in scrolling but is never pressed or chosen.
        if (m_pressed >= 0 && !children()[m_pressed]->is_enabled())
            m_pressed = -1;
        refresh_item_looks();
        return true;
    }
    bool was_holding = m_holding;
    m_holding = false;
    int pressed = m_pressed;
    m_pressed = -1;
    if (was_holding && !m_dragging && !event.cancel && pressed >= 0 && item_at(event.point) == pressed) {
        Element* it = children()[pressed];
        if (has_sub_items(*it)) {
            tap_item_with_sub_items(*it, event);
        } else {
            m_selected = pressed;
            if (m_listener) {
                WidgetEvent e;
                e.point = event.point;
                e.value = pressed;
                m_listener->on_press_changed(*this, e);
            }
        }
    }
    // A slow release leaves no speed; a flick keeps coasting.
    if (GetTickCount() - m_last_tick > 100)
        m_velocity = 0.0;
    m_dragging = false;
    refresh_item_looks();
    return true;
}

void VListElement::pointer_move(POINT point)
{
    if (!m_holding)
        return;
    int dy = point.y - m_last_point.y;
    if (!m_dragging && std::abs(point.y - m_press_point.y) >= m_drag_threshold && !m_locked) {
        m_dragging = true;
        m_pressed = -1;
        refresh_item_looks();
    }
    if (!m_dragging) {
        // Sliding off the pressed item un-presses it, as a button does.
        if (m_pressed >= 0 && item_at(point) != m_pressed) {
            m_pressed = -1;
            refresh_item_looks();
        }
        m_last_point = point;
        return;
    }
    double delta = dy;
    double over = overshoot();
    if (over > 0 && size().y > 0) {
        bool pulling_further = (m_scroll > 0 && dy > 0) || (m_scroll < min_scroll() && dy < 0);
        if (pulling_further)
            delta *= std::max(0.0, 1.0 - 2.0 * over / size().y);
    }
    DWORD now = GetTickCount();
    DWORD elapsed = now - m_last_tick;
    if (elapsed > 0) {
        double instant = delta * 1000.0 / elapsed;
        // Smooth over the last few moves so that one jittery sample does not decide the flick.
        m_velocity = elapsed > 100 ? instant : 0.5 * m_velocity + 0.5 * instant;
    }
    m_last_tick = now;
    m_last_point = point;
    set_scroll(m_scroll + delta);
}

bool VListElement::moving() const
{
    return !m_holding && (std::abs(m_velocity) > 0.0 || overshoot() > 0.5);
}

void VListElement::animate(double dt)
{
    Element::animate(dt);
    if (m_holding || dt <= 0)
        return;
    double scroll = m_scroll;
    if (m_velocity != 0.0) {
        scroll += m_velocity * dt;
        m_velocity *= std::exp(-kFriction * dt);
        if (std::abs(m_velocity) < kStopSpeed)
            m_velocity = 0.0;
    }
    double low = min_scroll();
    if (scroll > 0 || scroll < low) {
        // Past an end the flick dies quickly and the content springs back.
        m_velocity *= std::exp(-4.0 * kSpringRate * dt);
        if (std::abs(m_velocity) < kStopSpeed)
            m_velocity = 0.0;
        double target = scroll > 0 ? 0.0 : low;
        scroll = target + (scroll - target) * std::exp(-kSpringRate * dt);
        if (std::abs(scroll - target) < 0.5)
            scroll = target;
    }
    set_scroll(scroll);
}
