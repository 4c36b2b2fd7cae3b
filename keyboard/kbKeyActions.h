#pragma once
// What a pressed key does: text for the focused application, sent through the input panel's
// callback, and the keyboard's own state (shift, caps lock, ctrl, the symbol layer, the
// layout switch).
#include "keyboard/Stopwatch.h"
#include "keyboard/kbKeys.h"

#include <windows.h>

#include <string>
#include <string_view>

class kbSettings;

inline constexpr char16_t kSettingsProgramPath[] = u"%program_files%/Tarn/Magnikeys/optarix.exe";

class kbKeyActions {
public:
    // The keyboard application: the callback and the layouts live there.
    class Host {
    public:
        // Each call is one callback call; without a callback they send nothing.
        virtual void send_virtual_key(BYTE key, DWORD flags) = 0;
        virtual void send_char_events(UINT key, UINT keyFlags, UINT shiftState, char16_t character) = 0;
        // The character's virtual key in the current layout, 0 when it has none.
        virtual unsigned virtual_key(char16_t character) = 0;
        virtual void next_layout(bool typedSinceSwitch) = 0;
        // Loads the layout for the present shift and extra state and shows it on the form.
        virtual void set_current_layout() = 0;

    protected:
        ~Host() = default;
    };

    static constexpr DWORD kPress = 0x4; // silent
    static constexpr DWORD kRelease = 0x6; // silent, key up

    kbKeyActions(kbKeys& form, const kbSettings& settings, Host& host);

    void process_key(int index, std::u16string_view name);

    bool shift() const { return m_shift; }
    bool caps_lock() const { return m_capsLock; }
    bool ctrl() const { return m_ctrl; }
    bool extra() const { return m_extra; }
    bool typed_since_layout_switch() const { return m_typedSinceSwitch; }

    // The characters on the letter keys in key-index order, and the layout's short name.
    const std::u16string& layout_text() const { return m_layoutText; }
    const std::u16string& layout_short_name() const { return m_shortName; }
    void set_layout(std::u16string text, std::u16string shortName);

    // Set when a key started the settings program; the next touch rereads layouts and
    // settings and clears it.
    bool settings_changed = false;

private:
    void send_with_modifiers(BYTE key);
    void type_character(char16_t character);
    void on_space();
    void on_enter();
    void on_backspace();
    void on_shift();
    void on_extra();
    void on_layout();

    kbKeys& m_form;
    const kbSettings& m_settings;
    Host& m_host;

    bool m_shift = false;
    bool m_ctrl = false;
    bool m_extra = false;
    bool m_capsLock = false;
    bool m_typedSinceSwitch = false;
    Stopwatch m_shiftWatch;
    std::u16string m_layoutText;
    std::u16string m_shortName;
};
