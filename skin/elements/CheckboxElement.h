#pragma once
// A toggle of "states" states, each drawn by a button child "#state_N"; a click on the shown
// state advances it unless the owner's listener handles the click.
#include <string>
#include <vector>

#include "skin/elements/Element.h"
#include "skin/elements/WidgetListener.h"

class ButtonElement;

class CheckboxElement : public Element, private WidgetListener {
public:
    using Element::Element;

    void load(const Properties& props, const ElementRecord& record) override;

    // Finds "#state_0" ... and takes them over; a missing one throws skinio::NodeNotFound.
    void bind_states(int count);
    void set_listener(WidgetListener* listener) { m_listener = listener; }
    void set_state(int index, bool flag);
    int state() const { return m_state; }
    int state_count() const { return static_cast<int>(m_states.size()); }
    void set_text(std::u16string_view text);
    const std::u16string& text() const { return m_text; }

private:
    bool on_click(Element& widget, const WidgetEvent& event) override;
    bool on_press_changed(Element& widget, const WidgetEvent& event) override;
    void on_drag(Element& widget, const WidgetEvent& event) override;

    std::vector<Element*> m_states;
    WidgetListener* m_listener = nullptr;
    std::u16string m_text;
    int m_state = 0;
};
