#include "skin/elements/CheckboxElement.h"

#include <string>

#include "skin/elements/ButtonElement.h"
#include "runtime/Text.h"
#include "skin/file/Properties.h"

void CheckboxElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_text = props.translate(props.get_string(record, u"text", u""));
    bind_states(props.get_int(record, u"states", 2));
}

void CheckboxElement::bind_states(int count)
{
    m_states.clear();
    for (int i = 0; i < count; ++i) {
        std::u16string name = u"#state_" + Utf16FromUtf8(std::to_string(i));
        Element& child = require_child(name);
        if (auto* button = dynamic_cast<ButtonElement*>(&child))
            button->set_listener(this);
        m_states.push_back(&child);
    }
    if (m_state >= count)
        m_state = 0;
    for (int i = 0; i < count; ++i)
        m_states[i]->set_visible(i == m_state);
    if (!m_states.empty())
        m_states[m_state]->set_text_by_id(u"#text", m_text);
}

void CheckboxElement::set_text(std::u16string_view text)
{
    if (text == m_text)
        return;
    m_text = text;
    // Every "#text" below takes it, hidden states and a label beside the box included.
    Element::set_text_by_id(u"#text", m_text);
}

void CheckboxElement::set_state(int index, bool flag)
{
    if (index == m_state || index < 0 || index >= state_count())
        return;
    m_states[m_state]->set_visible(false);
    m_state = index;
    m_states[m_state]->set_text_by_id(u"#text", m_text);
    m_states[m_state]->set_visible(true);
    if (m_listener) {
        WidgetEvent e;
        e.value = flag ? 1 : 0;
        m_listener->on_press_changed(*this, e);
    }
}

bool CheckboxElement::on_click(Element& widget, const WidgetEvent& event)
{
    if (m_states.empty() || &widget != m_states[m_state])
        return false;
    if (m_listener)
        return m_listener->on_click(*this, event);
    set_state((m_state + 1) % state_count(), true);
    return true;
}

bool CheckboxElement::on_press_changed(Element&, const WidgetEvent&) { return false; }

void CheckboxElement::on_drag(Element&, const WidgetEvent&) { }
