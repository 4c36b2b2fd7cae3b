#include "skin/elements/FormElement.h"

#include <algorithm>

#include "skin/file/Properties.h"
#include "skin/file/SkinColor.h"

FormElement::FormElement()
    : Element(nullptr)
{
    m_form = this;
}

FormElement::~FormElement()
{
    // Children still call forget() while they go; keep the lists valid until then.
    destroy_children();
    m_form = nullptr;
}

void FormElement::join_key_list(Element* element)
{
    if (std::find(m_key_list.begin(), m_key_list.end(), element) == m_key_list.end())
        m_key_list.push_back(element);
}

void FormElement::focus(Element* element)
{
    auto it = std::find(m_key_list.begin(), m_key_list.end(), element);
    if (it != m_key_list.end())
        m_key_list.erase(it);
    m_key_list.push_back(element);
    m_focused = element;
}

void FormElement::unfocus()
{
    if (m_focused)
        m_focused->invalidate_redraw(); // the caret goes
    m_focused = nullptr;
}

void FormElement::forget(Element* element)
{
    std::erase(m_key_list, element);
    std::erase(m_holders, element);
    if (m_focused == element)
        m_focused = nullptr;
}

bool FormElement::still_listed(const Element* e) const
{
    // A listener may destroy elements while an event is routed over a copy of the list.
    return std::find(m_key_list.begin(), m_key_list.end(), e) != m_key_list.end();
}

bool FormElement::pointer_press(const PressEvent& event)
{
    if (event.pressed) {
        if (m_holders.empty()) {
            std::vector<Element*> list = m_key_list;
            for (Element* e : list) {
                if (!still_listed(e) || !eligible(e) || !e->contains(event.point))
                    continue;
                m_holders.push_back(e);
                if (e->pointer_press(event))
                    break;
            }
        }
    } else {
        std::vector<Element*> holders = m_holders;
        m_holders.clear();
        for (Element* e : holders) {
            if (!still_listed(e))
                continue;
            if (eligible(e))
                e->pointer_press(event);
            else
                cancel_hold(*e, event.point);
        }
    }
    return !m_holders.empty();
}

void FormElement::cancel_hold(Element& holder, POINT point)
{
    // A holder that was hidden or disabled while pressed still hears that the press is over,
    // or it would keep its pressed look; cancelled, so it never clicks.
    PressEvent cancel;
    cancel.point = point;
    cancel.pressed = false;
    cancel.cancel = true;
    holder.pointer_press(cancel);
}

void FormElement::pointer_move(POINT point)
{
    std::vector<Element*> holders;
    holders.swap(m_holders);
    for (Element* e : holders) {
        if (!still_listed(e))
            continue;
        if (!eligible(e)) {
            cancel_hold(*e, point);
            continue;
        }
        e->pointer_move(point);
        if (!still_listed(e))
            continue;
        if (eligible(e))
            m_holders.push_back(e);
        else
            cancel_hold(*e, point);
    }
    if (!m_holders.empty())
        return;
    std::vector<Element*> list = m_key_list;
    for (Element* e : list)
        if (still_listed(e) && eligible(e) && e->contains(point))
            e->pointer_move(point);
}

bool FormElement::key_event(int key_code, bool down)
{
    std::vector<Element*> list = m_key_list;
    for (Element* e : list)
        if (still_listed(e) && eligible(e) && e->key_event(key_code, down))
            return true;
    return false;
}

bool FormElement::char_input(std::u16string_view text)
{
    if (m_focused && eligible(m_focused))
        return m_focused->char_input(text);
    return false;
}

void FormElement::set_visible(bool flag)
{
    Element::set_visible(flag);
    if (flag)
        return;
    std::vector<Element*> holders;
    holders.swap(m_holders);
    for (Element* e : holders)
        if (still_listed(e))
            cancel_hold(*e, POINT { -1, -1 });
}

void FormElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    SkinColor c = props.get_color(record, u"outside_color", SkinColor{0, 0, 0, 255});
    m_outside_color = static_cast<uint32_t>(c.red) << 16 | static_cast<uint32_t>(c.green) << 8 | c.blue;
}
