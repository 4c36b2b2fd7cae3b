#pragma once
// The keyboard's element tree: rows of letter keys and the seven function keys, bound from
// one of four skin forms ("normal" or "extended_normal", then "_portrait" or "_landscape").
// It puts a layout's characters on the keys, finds the key under the stylus, keeps the
// pressed look and works out the zoom anchor of the touched key. It never sends text.
#include <windef.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/elements/FormElement.h"
#include "skin/file/PictureRef.h"

class ButtonElement;
class ImageElement;
class Properties;

// Layout characters that stand for special keys.
inline constexpr char16_t kArrowLeft = u'\u2190';
inline constexpr char16_t kArrowUp = u'\u2191';
inline constexpr char16_t kArrowRight = u'\u2192';
inline constexpr char16_t kArrowDown = u'\u2193';
inline constexpr char16_t kSettingsChar = u'\0';

class KeyboardForm : public FormElement {
public:
    // base_name is "normal" or "extended_normal" (the four-row form); landscape picks the
    // landscape variant. Binds the skin and lays the form out at (0, 0) in its own size.
    // Throws skinio::NodeNotFoundInSkin / skinio::NodeNotFound for a skin that lacks a part.
    KeyboardForm(const Properties& props, std::u16string_view base_name, bool landscape);
    ~KeyboardForm() override;

    // (Re)binds every element from the skin.
    void reload_skin(const Properties& props);

    // Puts the characters (exactly letter_count of them) on the letter keys and the short
    // name on the "layout" key; in extra mode the key at settings_id becomes the settings key.
    // False, changing nothing, for a text of another length.
    bool set_layout(std::u16string_view text, std::u16string_view short_name, bool extra_mode);

    // Settings the form follows (defaults 32 and 2.0).
    void set_settings_id(int id) { m_settings_id = id; }
    int settings_id() const { return m_settings_id; }
    void set_zoom_scale(double scale) { m_zoom_scale = scale; }

    // The stylus moved: the key under it (any key) becomes the current one.
    void stylus_move(POINT point);
    // Touch (pressed) or release; a touch on no visible, enabled key gives false.
    bool stylus_state(const PressEvent& sample);
    // The framework's pointer entries lead to the two above.
    void pointer_move(POINT point) override;
    bool pointer_press(const PressEvent& event) override;
    // Logs each life-cycle step after the base behaviour.
    void animate(double time_step) override;

    int current_key() const { return m_current_key; }
    // Skin id of the current key and its index; -1 (name untouched) when there is none.
    int current_key_name(std::u16string& name) const;
    // Index of a function key by name ("extra", "shift", "space", "backspace", "enter",
    // "layout", "ctrl"), -1 when unknown.
    int key_index(std::u16string_view name) const;
    // The pressed look of a modifier key, when it is visible and enabled.
    void set_modifier_look(std::u16string_view name, bool on);
    // Platform virtual-key code of a special character (the arrows).
    std::optional<int> virtual_key_for(char16_t character) const;
    // The current key is an arrow or backspace.
    bool is_repeatable() const;
    void show_backspace_as_delete(bool flag);

    POINT anchor() const { return m_anchor; }
    POINT anchor_offset() const { return m_anchor_offset; }

    // The first key whose rectangle holds the point (lower index wins), -1 for none.
    int key_at(POINT point) const;
    ButtonElement* key(int index) const;
    int key_count() const { return static_cast<int>(m_keys.size()); }
    int letter_count() const { return m_letter_count; }
    int row_count() const { return m_row_count; }
    bool extended() const { return m_extended; }
    bool landscape() const { return m_landscape; }
    const std::vector<Element*>& rows() const { return m_rows; }
    // The characters now on the letter keys (empty before the first set_layout).
    const std::u16string& layout_text() const { return m_layout_text; }
    const std::u16string& short_name() const { return m_short_name; }
    bool extra_mode() const { return m_extra_mode; }
    // Special name of a layout character ("left", ..., "settings"), empty for an ordinary one.
    std::u16string special_name(char16_t character) const;
    // What letter key `index` stands for: its character, or the special name.
    std::u16string letter_label(int index) const;
    // The name of function key `index`, empty for a letter key.
    std::u16string function_name(int index) const;

private:
    struct SpecialPictures {
        PictureRef normal;
        PictureRef pressed;
        int position = -1;
    };
    struct LabelPair {
        ImageElement* normal = nullptr;
        ImageElement* pressed = nullptr;
    };

    void bind_letters(Element& row);
    void bind_function(Element& row, std::u16string_view name);
    void compute_anchor(int index, POINT point);
    void set_label_pictures(int index, const PictureRef& normal, const PictureRef& pressed);
    void set_key_text(int index, std::u16string_view text);

    std::u16string m_base_name;
    bool m_landscape = false;
    bool m_extended = false;
    int m_row_count = 3;
    int m_letter_count = 33;

    std::vector<ButtonElement*> m_keys;
    std::vector<LabelPair> m_labels;
    std::vector<Element*> m_rows;
    std::map<std::u16string, int, std::less<>> m_function_key_index;
    ImageElement* m_backspace_label = nullptr;
    ImageElement* m_backspace_pressed_label = nullptr;
    int m_letter_counter = 0;
    int m_function_counter = 0;

    std::map<char16_t, std::u16string> m_special_name;
    std::map<char16_t, int> m_special_vk;
    std::map<char16_t, SpecialPictures> m_special_pictures;
    PictureRef m_delete_picture;
    PictureRef m_backspace_picture;
    PictureRef m_delete_pressed_picture;
    PictureRef m_backspace_pressed_picture;

    std::u16string m_layout_text;
    std::u16string m_short_name;
    bool m_extra_mode = false;
    int m_settings_id = 32;
    double m_zoom_scale = 2.0;

    int m_current_key = -1;
    POINT m_anchor {};
    POINT m_anchor_offset {};
};
