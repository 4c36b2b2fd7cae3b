#pragma once
// A skin-drawn menu: a form whose node holds a "panel", an optional "caption" and a "vlist";
// each screen is a list of entries, each entry an element loaded from its style node. The
// owner's callback says which entries a chosen id leads to.
#include <functional>
#include <string>
#include <vector>

#include "skin/elements/FormElement.h"
#include "skin/elements/WidgetListener.h"

class VListElement;

struct MenuEntry {
    std::u16string id;
    std::u16string text; // empty: the translation of the id
    std::u16string style; // skin node that draws the entry; empty: the menu's entry node
    bool enabled = true;
    bool separator = false;
    bool checked = false;
};

class MenuForm : public FormElement, private WidgetListener {
public:
    // Fills `entries` (given empty) with the screen that `id` leads to; leaving it empty keeps
    // the current screen.
    using Callback = std::function<void(const std::u16string& id, std::vector<MenuEntry>& entries)>;

    MenuForm() = default;
    ~MenuForm() override;

    // Loads the menu node and remembers the skin and the default entry node. False when the
    // skin lacks the menu node; a missing "panel" or "vlist" throws skinio::NodeNotFound.
    bool load_menu(const Properties& props, std::u16string_view menu_node, std::u16string_view entry_node);

    void set_callback(Callback callback) { m_callback = std::move(callback); }

    // Asks the callback for the screen of `id`; when it gives entries they replace the shown
    // ones under the caption. Returns whether the screen changed.
    bool show(const std::u16string& id, std::u16string_view caption);
    // Replaces the shown entries. An entry whose style node the skin lacks throws
    // skinio::NodeNotFoundInSkin.
    void set_entries(std::u16string_view caption, std::vector<MenuEntry> entries);

    // What the user would choose by tapping entry `index`: the same as a tap on it.
    void choose(int index);

    const std::vector<MenuEntry>& entries() const { return m_entries; }
    const std::u16string& caption() const { return m_caption; }
    VListElement* list() const { return m_list; }
    Element* panel() const { return m_panel; }
    // The element of entry `index` (nullptr when out of range).
    Element* entry_element(int index) const;

private:
    bool on_click(Element& widget, const WidgetEvent& event) override;
    bool on_press_changed(Element& widget, const WidgetEvent& event) override;
    void on_drag(Element& widget, const WidgetEvent& event) override;

    const Properties* m_props = nullptr;
    std::u16string m_entry_node;
    Element* m_panel = nullptr;
    Element* m_caption_element = nullptr;
    VListElement* m_list = nullptr;
    Callback m_callback;
    std::vector<MenuEntry> m_entries;
    std::u16string m_caption;
};
