#include "skin/elements/LabelEditElement.h"

#include <algorithm>

#include "skin/elements/FormElement.h"
#include "skin/elements/TextElement.h"
#include "skin/file/skinio.h"

LabelEditElement::LabelEditElement(Element* parent)
    : Element(parent)
{
    if (form())
        form()->join_key_list(this);
}

void LabelEditElement::load(const Properties& props, const ElementRecord& record)
{
    Element::load(props, record);
    m_edit = dynamic_cast<EditElement*>(&require_child(u"#edit"));
    if (!m_edit)
        throw skinio::NodeNotFound { id(), u"#edit" };
}

bool LabelEditElement::pointer_press(const PressEvent& event)
{
    // Presses on the field itself reach it through the key list; this takes the rest of the row.
    if (!m_edit || !event.pressed || m_edit->contains(event.point) || !m_edit->is_visible() || !m_edit->is_enabled())
        return false;
    PressEvent inside = event;
    POINT pos = m_edit->position();
    POINT size = m_edit->size();
    inside.point.x = std::clamp(event.point.x, pos.x, pos.x + std::max(0, size.x - 1));
    inside.point.y = std::clamp(event.point.y, pos.y, pos.y + std::max(0, size.y - 1));
    return m_edit->pointer_press(inside);
}
