#include "keyboard/kbKeyActions.h"
#include "kbfiles/kbSettings.h"
#include "runtime/Execute.h"
#include "runtime/Log.h"

namespace {

constexpr BYTE kBack = 0x08;
constexpr BYTE kReturn = 0x0D;
constexpr BYTE kShift = 0x10;
constexpr BYTE kControl = 0x11;
constexpr BYTE kSpace = 0x20;
constexpr BYTE kDelete = 0x2E;

}

kbKeyActions::kbKeyActions(kbKeys& form, const kbSettings& settings, Host& host)
    : m_form(form)
    , m_settings(settings)
    , m_host(host)
{
}

void kbKeyActions::set_layout(std::u16string text, std::u16string shortName)
{
    m_layoutText = std::move(text);
    m_shortName = std::move(shortName);
}

void kbKeyActions::process_key(int index, std::u16string_view name)
{
    Log().append(u"process key :").append(index).append(u", ").append(name).append(u"\n");
    // A stroke names a function key that this form lacks: there is no key to act on.
    if (index < 0)
        return;
    const bool shiftBefore = m_shift;
    const bool extraBefore = m_extra;

    if (index < m_form.letter_count()) {
        if (m_extra && index == m_settings.settings_id) {
            ExecuteFile(kSettingsProgramPath, u"");
            settings_changed = true;
        } else if (static_cast<size_t>(index) < m_layoutText.size()) {
            const char16_t character = m_layoutText[static_cast<size_t>(index)];
            if (std::optional<int> key = m_form.virtual_key_for(character))
                send_with_modifiers(static_cast<BYTE>(*key));
            else if (character != u'\0') // a filler key of a short symbol layer types nothing
                type_character(character);
        }
    } else if (name == u"space") {
        on_space();
    } else if (name == u"enter") {
        on_enter();
    } else if (name == u"backspace") {
        on_backspace();
    } else if (name == u"extra") {
        on_extra();
    } else if (name == u"layout") {
        on_layout();
    } else if (name == u"shift") {
        on_shift();
    } else if (name == u"ctrl") {
        m_ctrl = !m_ctrl;
    }

    m_form.set_modifier_look(u"shift", m_shift);
    m_form.set_modifier_look(u"ctrl", m_ctrl);
    m_form.set_modifier_look(u"extra", m_extra);
    if (m_shift != shiftBefore || m_extra != extraBefore || name == u"layout")
        m_host.set_current_layout();
    m_form.show_backspace_as_delete(m_shift);
}

void kbKeyActions::send_with_modifiers(BYTE key)
{
    if (m_ctrl)
        m_host.send_virtual_key(kControl, kPress);
    if (m_shift)
        m_host.send_virtual_key(kShift, kPress);
    m_host.send_virtual_key(key, kPress);
    m_host.send_virtual_key(key, kRelease);
    if (m_shift)
        m_host.send_virtual_key(kShift, kRelease);
    if (m_ctrl)
        m_host.send_virtual_key(kControl, kRelease);
}

void kbKeyActions::type_character(char16_t character)
{
    Log().append(u"on character :").append(std::u16string_view(&character, 1)).append(u"\n");
    Log().append(u"on character\n");
    if (!m_extra)
        m_typedSinceSwitch = true;
    if (!m_capsLock)
        m_shift = false; // the character came from the shifted rows already
    const unsigned key = m_host.virtual_key(character);
    if (m_ctrl) {
        m_host.send_virtual_key(kControl, kPress);
        m_host.send_virtual_key(static_cast<BYTE>(key & 0xFF), kPress);
        m_host.send_virtual_key(static_cast<BYTE>(key & 0xFF), kRelease);
        m_host.send_virtual_key(kControl, kRelease);
    } else {
        // A press that produces the character, then a release that produces none.
        m_host.send_char_events(key, 0x80, 0x80, character);
        m_host.send_char_events(key, 0x40, 0x10000, character);
    }
    m_ctrl = false;
}

void kbKeyActions::on_space()
{
    Log().append(u"MyKeyboard::space\n");
    m_extra = false;
    send_with_modifiers(kSpace);
    m_shift = false;
    m_capsLock = false;
    m_ctrl = false;
}

void kbKeyActions::on_enter()
{
    Log().append(u"on enter\n");
    send_with_modifiers(kReturn);
    m_ctrl = false;
    m_shift = false;
}

void kbKeyActions::on_backspace()
{
    Log().append(u"on backspace\n");
    if (m_shift) {
        // With shift the key deletes forwards, and no shift press goes with the delete.
        m_shift = false;
        send_with_modifiers(kDelete);
        m_shift = true;
    } else {
        send_with_modifiers(kBack);
    }
    m_ctrl = false;
}

void kbKeyActions::on_shift()
{
    Log().append(u"on shift\n");
    if (m_capsLock) {
        m_shift = false;
        m_capsLock = false;
    } else if (m_extra) {
        m_shift = true;
        m_capsLock = true;
    } else if (!m_shift) {
        m_shift = true;
        m_shiftWatch.restart();
    } else if (m_shiftWatch.elapsed() < m_settings.double_click_delay) {
        m_capsLock = true;
    } else {
        m_shift = false;
    }
}

void kbKeyActions::on_extra()
{
    Log().append(u"on extra\n");
    m_shift = false;
    m_extra = !m_extra;
    m_capsLock = false;
    m_ctrl = false;
}

void kbKeyActions::on_layout()
{
    Log().append(u"on layout\n");
    m_host.next_layout(m_typedSinceSwitch);
    const bool wasExtra = m_extra;
    m_extra = false;
    if (wasExtra)
        m_shift = false;
    m_typedSinceSwitch = false;
}
