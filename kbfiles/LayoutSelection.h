#pragma once
// The user's keyboard layouts: the current and the second layout, the rows text of the
// current one for the keyboard form, the "layout" key's walk through the list, and the
// virtual-key codes of characters. Layout files are plain key-value text files under
// "layouts/" in the installation folder; the list is "layouts/layouts.ini".
#include <string>
#include <string_view>

#include "kbfiles/KeyValueFile.h"

#include <vector>

// The names a layout list holds, its entries "layout_<n>" by ascending n. A list edited by hand
// may skip numbers; every entry still counts.
std::vector<std::u16string> ListedLayoutNames(const KeyValueFile& list);

inline constexpr char16_t kLayoutFolder[] = u"%program_files%/Tarn/Magnikeys/layouts/";
inline constexpr char16_t kLayoutListPath[] = u"%program_files%/Tarn/Magnikeys/layouts/layouts.ini";
inline constexpr char16_t kSymbolLayerPath[] = u"%program_files%/Tarn/Magnikeys/layouts/symbolic_layout.xtr";
inline constexpr char16_t kVirtualKeyFolder[] = u"%program_files%/Tarn/Magnikeys/layouts/virtual_keys/";
inline constexpr char16_t kSharedVirtualKeyPath[] = u"%program_files%/Tarn/Magnikeys/layouts/virtual_keys/vk_keys.ini";
inline constexpr char16_t kDefaultLayout[] = u"english";

// Letters on one key row of every form.
inline constexpr int kRowLength = 11;

class LayoutSelection {
public:
    // Reads the shared virtual keys, makes sure the list exists and takes its first two
    // names as the current and the second layout.
    LayoutSelection();
    // Stores the list with the current layout first.
    ~LayoutSelection();

    LayoutSelection(const LayoutSelection&) = delete;
    LayoutSelection& operator=(const LayoutSelection&) = delete;

    // When the list has no entries: current "english", second empty, the English layout file
    // written if there is none, and the list written with that one name; true. Otherwise
    // false and nothing changes.
    bool ensure_list(std::u16string& current, std::u16string& second);

    // The layout's file has its lines and the list names it.
    bool is_valid(std::u16string_view name) const;

    // The characters of the letter keys, row after row, for the shift and symbol-layer state,
    // and (not in the symbol layer) the short name shown on the "layout" key. False when the
    // file lacks what is needed; text and short name are then unreliable. English that does
    // not load from its file loads the built-in English.
    bool load(std::u16string& text, std::u16string& short_name, bool shift, bool extra) const;

    // The current layout has four rows and so needs the four-row form.
    bool needs_extended() const;

    // The "layout" key: back to the previous layout when something was typed since the last
    // switch, else on to the next one of the list. Stores the list.
    void next_layout(bool typed_since_switch);

    // Follows changes that the settings program made to the list.
    void refresh();

    // Writes the list: the current layout first, then the others in their order, the second
    // one right after the current or, with second_last, at the end.
    bool store(bool second_last);

    // Virtual-key code of a character: the layout's own file first, then "vk_keys.ini";
    // 0 when neither has it or the value is not a code of 1..255. The layout's own file is
    // read with the layout (load) or at the first use after the current layout changed, not
    // for every character typed.
    int virtual_key(char16_t character) const;

    const std::u16string& current() const { return m_current; }
    const std::u16string& second() const { return m_second; }
    void set_current(std::u16string name) { m_current = std::move(name); }
    void set_second(std::u16string name) { m_second = std::move(name); }

    // File paths (path macros) of a layout and of its own virtual keys.
    static std::u16string layout_path(std::u16string_view name);
    static std::u16string virtual_key_path(std::u16string_view name);

    // The English layout, written where there is no file for it: four lines, each ended by "\n".
    static const char16_t* builtin_english();

private:
    bool loadable(std::u16string_view name) const;
    void fall_back_to_loadable();
    const KeyValueFile& own_keys() const;

    std::u16string m_current;
    std::u16string m_second;
    KeyValueFile m_shared_keys;
    // The current layout's own virtual keys, and the layout they were read for.
    mutable KeyValueFile m_own_keys;
    mutable std::u16string m_own_keys_for;
    mutable bool m_own_keys_read = false;
};
