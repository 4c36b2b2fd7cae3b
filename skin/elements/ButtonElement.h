#pragma once
// Push button: shows "#normal", "#pressed" or "#disabled"; pressed by the pointer, by its
// bound key or by its owner; clicks when released inside while enabled.
#include <string>

#include "skin/elements/Element.h"
#include "skin/elements/KeyCode.h"

class WidgetListener;

class ButtonElement : public Element {
public:
    explicit ButtonElement(Element* parent);

    void load(const Properties& props, const ElementRecord& record) override;
    void enabled_changed(bool effective) override;
    bool pointer_press(const PressEvent& event) override;
    void pointer_move(POINT point) override;
    bool key_event(int key_code, bool down) override;

    void set_listener(WidgetListener* listener) { m_listener = listener; }
    WidgetListener* listener() const { return m_listener; }
    void set_text(std::u16string_view text);
    const std::u16string& text() const { return m_text; }
    void set_bound_key(KeyCode key) { m_bound_key = key; }
    KeyCode bound_key() const { return m_bound_key; }

    // The third pressed source, for owners (a key of the keyboard form held down).
    void set_owner_pressed(bool pressed);
    bool is_pressed() const { return m_pointer_pressed || m_key_pressed || m_owner_pressed; }
    // The state child currently shown (nullptr without any).
    Element* shown_child() const { return m_shown; }
    // Finds the state children again (after an owner built them by hand).
    void bind_state_children();

private:
    void update_state(bool was_pressed, bool cancel, POINT point);
    void refresh_visuals();

    Element* m_normal = nullptr;
    Element* m_pressed_child = nullptr;
    Element* m_disabled = nullptr;
    Element* m_shown = nullptr;
    WidgetListener* m_listener = nullptr;
    KeyCode m_bound_key = KeyCode::None;
    std::u16string m_text;
    bool m_pointer_pressed = false;
    bool m_key_pressed = false;
    bool m_owner_pressed = false;
    POINT m_last_point{};
};
