#pragma once
// The keyboard form behind the touch machine's and the key actions' view of it.
#include "keyboard/KeyboardForm.h"
#include "keyboard/kbKeys.h"

class FormKeys final : public kbKeys {
public:
    explicit FormKeys(KeyboardForm& form)
        : m_form(form)
    {
    }

    int letter_count() const override { return m_form.letter_count(); }
    bool stylus_state(const TouchSample& sample) override
    {
        PressEvent event;
        event.point = POINT { sample.x, sample.y };
        event.pressed = sample.down;
        return m_form.stylus_state(event);
    }
    void stylus_move(POINT point) override { m_form.stylus_move(point); }
    int current_key() const override { return m_form.current_key(); }
    bool current_key_name(std::u16string& name, int& index) const override
    {
        index = m_form.current_key_name(name);
        return index >= 0;
    }
    int key_index(std::u16string_view name) const override { return m_form.key_index(name); }
    void set_modifier_look(std::u16string_view name, bool on) override { m_form.set_modifier_look(name, on); }
    std::optional<int> virtual_key_for(char16_t character) const override { return m_form.virtual_key_for(character); }
    bool is_repeatable() const override { return m_form.is_repeatable(); }
    void show_backspace_as_delete(bool on) override { m_form.show_backspace_as_delete(on); }
    POINT anchor() const override { return m_form.anchor(); }
    POINT anchor_offset() const override { return m_form.anchor_offset(); }

private:
    KeyboardForm& m_form;
};
