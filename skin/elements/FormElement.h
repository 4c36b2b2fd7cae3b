#pragma once
// The root element of a form. Routes key events and the pointer to the elements that joined
// its key list (buttons, lists, the focused edit).
#include <cstdint>
#include <vector>

#include "skin/elements/Element.h"

class FormElement : public Element {
public:
    FormElement();
    ~FormElement() override;

    void load(const Properties& props, const ElementRecord& record) override;
    void set_visible(bool flag) override;

    // Pointer routing; both report whether any element still holds the pointer.
    bool pointer_press(const PressEvent& event) override;
    void pointer_move(POINT point) override;
    bool key_event(int key_code, bool down) override;
    bool char_input(std::u16string_view text) override;

    void join_key_list(Element* element);
    // Moves the element to the end of the key list (an edit that took the focus).
    void focus(Element* element);
    Element* focused_edit() const { return m_focused; }
    // No edit has the focus any more (it stays in the key list).
    void unfocus();
    void forget(Element* element);

    const std::vector<Element*>& key_list() const { return m_key_list; }
    const std::vector<Element*>& holders() const { return m_holders; }
    bool has_holders() const { return !m_holders.empty(); }

    // RGB of the area outside the form, for the owner.
    uint32_t outside_color() const { return m_outside_color; }

private:
    static bool eligible(const Element* e) { return e->is_visible() && e->is_enabled(); }
    bool still_listed(const Element* e) const;
    static void cancel_hold(Element& holder, POINT point);

    std::vector<Element*> m_key_list;
    std::vector<Element*> m_holders;
    Element* m_focused = nullptr;
    uint32_t m_outside_color = 0;
};
