#pragma once
// A caption with its text field: the required child "#edit" is the field. A press anywhere on
// the composite (its caption included) gives the field the focus, so that a narrow field is
// as easy to hit as the whole row.
#include "skin/elements/Element.h"

class EditElement;

class LabelEditElement : public Element {
public:
    explicit LabelEditElement(Element* parent);

    // A missing "#edit", or one that is not an edit field, throws skinio::NodeNotFound.
    void load(const Properties& props, const ElementRecord& record) override;
    bool pointer_press(const PressEvent& event) override;

    EditElement* edit() const { return m_edit; }

private:
    EditElement* m_edit = nullptr;
};
