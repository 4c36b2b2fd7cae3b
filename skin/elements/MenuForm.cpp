#include "skin/elements/MenuForm.h"

#include "skin/file/Properties.h"
#include "skin/elements/VListElement.h"
#include "skin/file/skinio.h"

MenuForm::~MenuForm()
{
    // The list's listener is this object; let the children go while it is still whole.
    destroy_children();
}

bool MenuForm::load_menu(const Properties& props, std::u16string_view menu_node, std::u16string_view entry_node)
{
    m_panel = nullptr;
    m_caption_element = nullptr;
    m_list = nullptr;
    m_entries.clear();
    if (!load_from_skin(props, menu_node))
        return false;
    m_props = &props;
    m_entry_node = entry_node;
    m_panel = &require_child(u"panel");
    m_caption_element = find_child(u"caption");
    m_list = dynamic_cast<VListElement*>(find_child(u"vlist"));
    if (!m_list)
        throw skinio::NodeNotFound {id(), u"vlist"};
    m_list->set_listener(this);
    return true;
}

Element* MenuForm::entry_element(int index) const
{
    return m_list ? m_list->item(index) : nullptr;
}

bool MenuForm::show(const std::u16string& id, std::u16string_view caption)
{
    std::vector<MenuEntry> entries;
    if (m_callback)
        m_callback(id, entries);
    if (entries.empty())
        return false;
    set_entries(caption, std::move(entries));
    return true;
}

void MenuForm::set_entries(std::u16string_view caption, std::vector<MenuEntry> entries)
{
    if (!m_list || !m_props)
        return;
    m_caption = caption;
    if (m_caption_element) {
        // The caption is either a text element itself or holds one with the id "#text".
        m_caption_element->set_text_by_id(m_caption_element->id(), m_caption);
        m_caption_element->set_text_by_id(u"#text", m_caption);
    }

    m_list->clear_items();
    m_entries = std::move(entries);
    for (const MenuEntry& entry : m_entries) {
        std::u16string node = entry.style.empty() ? m_entry_node : entry.style;
        if (!entry.enabled)
            node += u"Disabled";
        auto* item = new Element(m_list);
        if (!item->load_from_skin(*m_props, node)) {
            delete item;
            throw skinio::NodeNotFoundInSkin {node};
        }
        item->set_id(entry.id);
        item->set_text_by_id(u"#text", entry.text.empty() ? m_props->translate(entry.id) : entry.text);
        if (Element* separator = item->find_child(u"separator"))
            separator->set_visible(entry.separator);
        if (Element* checked = item->find_child(u"checked"))
            checked->set_visible(entry.checked);
        // Neither a disabled entry nor a separator can be chosen, so neither shows a press.
        item->set_enabled(entry.enabled && !entry.separator);
    }
    m_list->refresh_items();
    m_list->set_scroll(0.0);
}

void MenuForm::choose(int index)
{
    if (index < 0 || index >= static_cast<int>(m_entries.size()))
        return;
    const MenuEntry& entry = m_entries[index];
    if (!entry.enabled || entry.separator)
        return;
    // The callback may replace m_entries; keep the id.
    std::u16string id = entry.id;
    show(id, m_props ? m_props->translate(id) : id);
}

bool MenuForm::on_press_changed(Element& widget, const WidgetEvent& event)
{
    if (&widget != m_list)
        return false;
    choose(event.value);
    return true;
}

bool MenuForm::on_click(Element&, const WidgetEvent&) { return false; }

void MenuForm::on_drag(Element&, const WidgetEvent&) { }
