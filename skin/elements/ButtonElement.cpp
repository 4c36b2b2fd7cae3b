#include "skin/elements/ButtonElement.h"

#include "skin/elements/FormElement.h"
#include "skin/file/Properties.h"
#include "skin/elements/WidgetListener.h"

ButtonElement::ButtonElement(Element* parent)
    : Element(parent)
{
    if (form())
        form()->join_key_list(this);
}

void ButtonElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    bind_state_children();
    m_bound_key = key_code_from_name(props.get_string(record, u"bind_key", u""));
    std::u16string text = props.get_string(record, u"text", u"");
    if (!text.empty())
        set_text(props.translate(text));
    refresh_visuals();
}

void ButtonElement::bind_state_children()
{
    m_normal = find_child(u"#normal");
    m_pressed_child = find_child(u"#pressed");
    m_disabled = find_child(u"#disabled");
    m_shown = nullptr;
    refresh_visuals();
}

void ButtonElement::set_text(std::u16string_view text)
{
    if (text == m_text)
        return;
    m_text = text;
    set_text_by_id(u"#text", m_text);
}

static POINT center_of(const Element& e)
{
    return {e.position().x + e.size().x / 2, e.position().y + e.size().y / 2};
}

void ButtonElement::set_owner_pressed(bool pressed)
{
    bool was = is_pressed();
    m_owner_pressed = pressed;
    update_state(was, false, center_of(*this));
}

bool ButtonElement::pointer_press(const PressEvent& event)
{
    bool was = is_pressed();
    if (!event.captured_elsewhere) {
        m_pointer_pressed = event.pressed;
        m_last_point = event.point;
    }
    update_state(was, event.cancel, event.point);
    if (is_pressed() && m_listener) {
        WidgetEvent drag;
        drag.point = event.point;
        m_listener->on_drag(*this, drag);
    }
    return true;
}

void ButtonElement::pointer_move(POINT point)
{
    if (!m_pointer_pressed)
        return;
    if (m_listener) {
        WidgetEvent drag;
        drag.point = point;
        drag.delta = {point.x - m_last_point.x, point.y - m_last_point.y};
        m_listener->on_drag(*this, drag);
    }
    m_last_point = point;
}

bool ButtonElement::key_event(int key_code, bool down)
{
    if (m_bound_key == KeyCode::None || static_cast<int>(m_bound_key) != key_code)
        return false;
    bool was = is_pressed();
    m_key_pressed = down;
    update_state(was, false, center_of(*this));
    return true;
}

void ButtonElement::update_state(bool was_pressed, bool cancel, POINT point)
{
    bool disabled = !is_enabled();
    bool now = is_pressed();
    bool changed = now != was_pressed;
    bool cancelled = disabled || cancel;
    if (changed && m_listener) {
        WidgetEvent e;
        e.point = point;
        e.value = cancelled ? 1 : 0;
        m_listener->on_press_changed(*this, e);
    }
    if (was_pressed && !now && !cancelled && contains(point) && m_listener) {
        WidgetEvent e;
        e.point = point;
        e.value = 1;
        m_listener->on_click(*this, e);
    }
    if (changed)
        refresh_visuals();
}

void ButtonElement::enabled_changed(bool effective)
{
    Element::enabled_changed(effective);
    refresh_visuals();
}

void ButtonElement::refresh_visuals()
{
    Element* want = m_normal;
    if (!is_enabled()) {
        if (m_disabled)
            want = m_disabled;
    } else if (is_pressed()) {
        if (m_pressed_child)
            want = m_pressed_child;
    }
    m_shown = want;
    for (Element* child : {m_normal, m_pressed_child, m_disabled})
        if (child)
            child->set_visible(child == want);
}
