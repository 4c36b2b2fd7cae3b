#include "keyboard/KeyboardForm.h"

#include <algorithm>
#include <string>

#include "runtime/Log.h"
#include "skin/elements/BasicElements.h"
#include "skin/elements/ButtonElement.h"
#include "skin/file/Properties.h"
#include "skin/file/skinio.h"

namespace {

constexpr const char16_t* kRowNames[] = { u"first", u"second", u"third", u"fourth" };

// The integer part of v + 0.5, as all of the form's geometry rounds.
int nearest(double v)
{
    return static_cast<int>(v + 0.5);
}

std::u16string decimal(int value)
{
    std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

PictureRef topLevelPicture(const Properties& props, std::u16string_view name)
{
    const ElementRecord* record = props.find_node(name);
    return record ? props.get_picture(*record, u"src", PictureRef()) : PictureRef();
}

ImageElement& requireImage(Element& parent, std::u16string_view id)
{
    auto* image = dynamic_cast<ImageElement*>(&parent.require_child(id));
    if (!image)
        throw skinio::NodeNotFound { parent.id(), std::u16string(id) };
    return *image;
}

ButtonElement& requireButton(Element& parent, std::u16string_view id)
{
    auto* button = dynamic_cast<ButtonElement*>(&parent.require_child(id));
    if (!button)
        throw skinio::NodeNotFound { parent.id(), std::u16string(id) };
    return *button;
}

// Label pictures are drawn keyed: the colour key of the art stays see-through.
constexpr int kLabelAlpha = 0;

}

KeyboardForm::KeyboardForm(const Properties& props, std::u16string_view base_name, bool landscape)
    : m_base_name(base_name)
    , m_landscape(landscape)
{
    m_special_name = { { kArrowLeft, u"left" }, { kArrowRight, u"right" }, { kArrowUp, u"up" },
        { kArrowDown, u"down" }, { kSettingsChar, u"settings" } };
    m_special_vk = { { kArrowLeft, 37 }, { kArrowRight, 39 }, { kArrowUp, 38 }, { kArrowDown, 40 } };
    Log().append(u"Main form constructor\n");
    reload_skin(props);
    Measure w = desired_x();
    set_x(0, w.preferred);
    Measure h = desired_y();
    set_y(0, h.preferred);
}

KeyboardForm::~KeyboardForm() = default;

void KeyboardForm::reload_skin(const Properties& props)
{
    Log().append(u"Main form reload skin1\n");
    m_extended = m_base_name == u"extended_normal";
    m_row_count = m_extended ? 4 : 3;
    m_letter_count = m_row_count * 11;

    std::u16string name = m_base_name + (m_landscape ? u"_landscape" : u"_portrait");
    Log().append(u"Main form reload skin3\n");
    // The old elements go with the load; nothing may point at them meanwhile.
    m_keys.clear();
    m_labels.clear();
    m_rows.clear();
    m_function_key_index.clear();
    m_backspace_label = nullptr;
    m_current_key = -1;
    if (!load_from_skin(props, name))
        throw skinio::NodeNotFoundInSkin { name };

    Log().append(u"Main form reload skin4\n");
    m_keys.assign(m_letter_count + 7, nullptr);
    m_labels.assign(m_letter_count, LabelPair {});
    m_letter_counter = 0;
    m_function_counter = m_letter_count + 6;

    Log().append(u"Main form reload skin5\n");
    for (int i = 0; i < m_row_count; ++i)
        m_rows.push_back(&require_child(kRowNames[i]));
    if (m_landscape) {
        bind_function(*m_rows[0], u"extra");
        bind_letters(*m_rows[0]);
        bind_function(*m_rows[0], u"backspace");
        bind_function(*m_rows[1], u"shift");
        bind_letters(*m_rows[1]);
        bind_function(*m_rows[1], u"enter");
        if (!m_extended)
            bind_function(*m_rows[1], u"ctrl");
        bind_function(*m_rows[2], u"layout");
        bind_letters(*m_rows[2]);
        bind_function(*m_rows[2], m_extended ? u"ctrl" : u"space");
        if (m_extended) {
            bind_letters(*m_rows[3]);
            bind_function(*m_rows[3], u"space");
        }
    } else {
        for (Element* row : m_rows)
            bind_letters(*row);
        Element& functional = require_child(u"functional");
        m_rows.push_back(&functional);
        for (const char16_t* key : { u"layout", u"shift", u"extra", u"space", u"backspace", u"ctrl", u"enter" })
            bind_function(functional, key);
    }

    m_special_pictures.clear();
    for (const auto& [character, special] : m_special_name) {
        SpecialPictures& pictures = m_special_pictures[character];
        pictures.normal = topLevelPicture(props, special + u"_normal");
        pictures.pressed = topLevelPicture(props, special + u"_pressed");
    }
    m_delete_picture = topLevelPicture(props, u"image_delete");
    m_backspace_picture = topLevelPicture(props, u"image_backspace");
    // Optional pressed variants, so that the held key shows the same symbol.
    m_delete_pressed_picture = topLevelPicture(props, u"image_delete_pressed");
    m_backspace_pressed_picture = topLevelPicture(props, u"image_backspace_pressed");
    Log().append(u"Main form reload skin6\n");

    // A reload keeps the characters that were on the keys.
    if (!m_layout_text.empty() && m_layout_text.size() == size_t(m_letter_count)) {
        std::u16string text = m_layout_text;
        m_layout_text.clear();
        set_layout(text, m_short_name, m_extra_mode);
    } else {
        m_layout_text.clear();
    }
}

void KeyboardForm::bind_letters(Element& row)
{
    for (int k = 0; k < 11; ++k) {
        ButtonElement& key = requireButton(row, decimal(k));
        Element& normal = key.require_child(u"#normal");
        Element& pressed = key.require_child(u"#pressed");
        if (m_letter_counter >= m_letter_count)
            throw skinio::NodeNotFound { row.id(), decimal(k) };
        m_labels[m_letter_counter] = { &requireImage(normal, u"#label"), &requireImage(pressed, u"#label") };
        m_keys[m_letter_counter++] = &key;
    }
}

void KeyboardForm::bind_function(Element& row, std::u16string_view name)
{
    ButtonElement& key = requireButton(row, name);
    if (name == u"backspace") {
        m_backspace_label = &requireImage(key, u"#label");
        Element* pressed = key.find_child(u"#pressed");
        m_backspace_pressed_label = pressed ? dynamic_cast<ImageElement*>(pressed->find_child(u"#label")) : nullptr;
        if (m_backspace_pressed_label == m_backspace_label)
            m_backspace_pressed_label = nullptr;
    }
    m_function_key_index[std::u16string(name)] = m_function_counter;
    m_keys[m_function_counter--] = &key;
}

void KeyboardForm::set_label_pictures(int index, const PictureRef& normal, const PictureRef& pressed)
{
    LabelPair& labels = m_labels[index];
    if (!(labels.normal->picture() == normal))
        labels.normal->set_picture(normal, kLabelAlpha);
    if (!(labels.pressed->picture() == pressed))
        labels.pressed->set_picture(pressed, kLabelAlpha);
}

void KeyboardForm::set_key_text(int index, std::u16string_view text)
{
    m_keys[index]->set_text(text);
}

bool KeyboardForm::set_layout(std::u16string_view text, std::u16string_view short_name, bool extra_mode)
{
    Log().append(u"main form set layout\n");
    if (text.size() != size_t(m_letter_count))
        return false;
    for (auto& [character, pictures] : m_special_pictures)
        pictures.position = -1;
    for (int i = 0; i < m_letter_count; ++i) {
        char16_t c = text[i];
        auto special = m_special_pictures.find(c);
        if (special == m_special_pictures.end()) {
            set_key_text(i, std::u16string_view(&text[i], 1));
            set_label_pictures(i, PictureRef(), PictureRef());
        } else {
            set_label_pictures(i, special->second.normal, special->second.pressed);
            special->second.position = i;
            set_key_text(i, u"");
        }
    }
    if (m_settings_id >= 0 && m_settings_id < m_letter_count) {
        if (extra_mode) {
            SpecialPictures& settings = m_special_pictures[kSettingsChar];
            set_key_text(m_settings_id, u"");
            set_label_pictures(m_settings_id, settings.normal, settings.pressed);
            settings.position = m_settings_id;
        } else if (!m_special_vk.count(text[m_settings_id])) {
            // An arrow that happens to stand there keeps its picture.
            set_label_pictures(m_settings_id, PictureRef(), PictureRef());
        }
    }
    int layout = key_index(u"layout");
    if (layout >= 0)
        set_key_text(layout, short_name);
    m_layout_text = text;
    m_short_name = short_name;
    m_extra_mode = extra_mode;
    Log().append(u"main form set layout ok\n");
    return true;
}

int KeyboardForm::key_at(POINT point) const
{
    for (int i = 0; i < int(m_keys.size()); ++i)
        if (m_keys[i] && m_keys[i]->contains(point))
            return i;
    return -1;
}

ButtonElement* KeyboardForm::key(int index) const
{
    return index >= 0 && index < int(m_keys.size()) ? m_keys[index] : nullptr;
}

void KeyboardForm::stylus_move(POINT point)
{
    int found = key_at(point);
    if (found < 0) {
        if (ButtonElement* previous = key(m_current_key))
            previous->set_owner_pressed(false);
        m_current_key = -1;
        return;
    }
    if (found == m_current_key) {
        m_anchor_offset = { m_anchor.x - point.x, m_anchor.y - point.y };
        return;
    }
    if (ButtonElement* previous = key(m_current_key))
        previous->set_owner_pressed(false);
    m_keys[found]->set_owner_pressed(true);
    compute_anchor(found, point);
    m_current_key = found;
}

bool KeyboardForm::stylus_state(const PressEvent& sample)
{
    if (!sample.pressed) {
        if (ButtonElement* current = key(m_current_key))
            current->set_owner_pressed(false);
        return true;
    }
    for (int i = 0; i < int(m_keys.size()); ++i) {
        ButtonElement* candidate = m_keys[i];
        if (!candidate || !candidate->contains(sample.point) || !candidate->is_visible() || !candidate->is_enabled())
            continue;
        // A key left pressed by an earlier touch that saw no release lets go first.
        if (ButtonElement* previous = key(m_current_key); previous && previous != candidate)
            previous->set_owner_pressed(false);
        candidate->set_owner_pressed(true);
        m_current_key = i;
        compute_anchor(i, sample.point);
        return true;
    }
    return false;
}

void KeyboardForm::pointer_move(POINT point)
{
    stylus_move(point);
}

bool KeyboardForm::pointer_press(const PressEvent& event)
{
    return stylus_state(event);
}

void KeyboardForm::animate(double time_step)
{
    FormElement::animate(time_step);
    Log().append(u"Main form life cycle\n");
}

void KeyboardForm::compute_anchor(int index, POINT point)
{
    const ButtonElement& k = *m_keys[index];
    const Element* normal = k.find_child(u"#normal");
    POINT bmin = normal ? normal->border_min() : POINT {};
    POINT bmax = normal ? normal->border_max() : POINT {};
    POINT nsize = normal ? normal->size() : k.size();
    const double kw = nsize.x;
    const double kh = nsize.y;
    const int W = size().x;
    const int H = size().y;
    const double zs = m_zoom_scale;
    const int x = point.x;
    const int y = point.y;
    const POINT kpos = k.position();
    const POINT ksize = k.size();

    int ax = x;
    if (x < nearest(W * 0.25) && kpos.x == 0) {
        int m = nearest(kw * 0.16666666666666666);
        if (x > bmin.x + m)
            ax = bmin.x + std::max(m, nearest((x - bmin.x * zs) / zs));
    } else if (x > nearest(W * 0.75) && kpos.x + ksize.x == W) {
        int t = nearest(kw * 0.8333333333333334);
        if (x < kpos.x + bmin.x + t) {
            int g = nearest(kw - ((W - x) - bmax.x * zs) / zs);
            ax = kpos.x + bmin.x + std::min(g, t);
        }
    }
    int m = nearest(kh * 0.8333333333333334);
    if (kpos.y + ksize.y == H)
        m = std::min(m, nearest(kh - ((H - y) - bmax.y * zs) / zs));
    m_anchor = { ax, kpos.y + bmin.y + m };
    m_anchor_offset = { m_anchor.x - x, m_anchor.y - y };
}

int KeyboardForm::current_key_name(std::u16string& name) const
{
    ButtonElement* current = key(m_current_key);
    if (!current)
        return -1;
    name = current->id();
    return m_current_key;
}

int KeyboardForm::key_index(std::u16string_view name) const
{
    auto it = m_function_key_index.find(name);
    return it == m_function_key_index.end() ? -1 : it->second;
}

void KeyboardForm::set_modifier_look(std::u16string_view name, bool on)
{
    ButtonElement* modifier = key(key_index(name));
    if (!modifier || !modifier->is_visible() || !modifier->is_enabled())
        return;
    modifier->set_owner_pressed(on);
}

std::optional<int> KeyboardForm::virtual_key_for(char16_t character) const
{
    auto it = m_special_vk.find(character);
    if (it == m_special_vk.end())
        return std::nullopt;
    return it->second;
}

bool KeyboardForm::is_repeatable() const
{
    ButtonElement* current = key(m_current_key);
    if (!current)
        return false;
    if (m_current_key < m_letter_count && m_current_key < int(m_layout_text.size())
        && m_special_vk.count(m_layout_text[m_current_key]))
        return true;
    return current->id() == u"backspace";
}

void KeyboardForm::show_backspace_as_delete(bool flag)
{
    if (!m_backspace_label)
        return;
    m_backspace_label->set_picture(flag ? m_delete_picture : m_backspace_picture, kLabelAlpha);
    if (m_backspace_pressed_label) {
        const PictureRef& pressed = flag ? m_delete_pressed_picture : m_backspace_pressed_picture;
        if (pressed.image)
            m_backspace_pressed_label->set_picture(pressed, kLabelAlpha);
    }
}

std::u16string KeyboardForm::special_name(char16_t character) const
{
    auto it = m_special_name.find(character);
    return it == m_special_name.end() ? std::u16string() : it->second;
}

std::u16string KeyboardForm::letter_label(int index) const
{
    if (index < 0 || index >= m_letter_count || index >= int(m_layout_text.size()))
        return {};
    if (m_extra_mode && index == m_settings_id)
        return u"settings";
    char16_t c = m_layout_text[index];
    std::u16string special = special_name(c);
    return special.empty() ? std::u16string(1, c) : special;
}

std::u16string KeyboardForm::function_name(int index) const
{
    for (const auto& [name, at] : m_function_key_index)
        if (at == index)
            return name;
    return {};
}
