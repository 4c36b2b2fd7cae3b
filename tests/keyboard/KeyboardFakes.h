#pragma once
// Stand-ins for the keyboard form and the keyboard application, so that the touch machine and
// the key actions can be driven alone: a three-row form of 20-pixel keys over a row of
// function keys, and a host that writes down every callback call.
#include "keyboard/kbKeyActions.h"
#include "keyboard/kbKeys.h"
#include "keyboard/kbTouch.h"

#include <cwctype>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

template <typename... Args>
std::string fmt(const char* format, Args... args)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

// Letter keys 0..32 as 11 columns by 3 rows of 20x20 from (0, 0); below them the function
// keys, 30 pixels wide, in the portrait binding order, whose indices count down from 39.
class FakeKeys : public kbKeys {
public:
    static constexpr int kKey = 20;
    static constexpr int kLetters = 33;
    inline static const char16_t* const kFunctionOrder[7] = { u"layout", u"shift", u"extra", u"space", u"backspace", u"ctrl", u"enter" };

    const std::u16string* text = nullptr; // the layout on the keys, for is_repeatable
    std::map<std::u16string, bool> looks;
    std::vector<bool> deleteLooks;
    std::vector<int> touches; // index of each touch that found a key
    bool hidden = false; // every key refuses touches

    RECT rect(int index) const
    {
        if (index < kLetters) {
            int column = index % 11, row = index / 11;
            return RECT { column * kKey, row * kKey, (column + 1) * kKey, (row + 1) * kKey };
        }
        int slot = kLetters + 6 - index; // binding position
        return RECT { slot * 30, 60, slot * 30 + 30, 80 };
    }
    POINT centre(int index) const
    {
        RECT r = rect(index);
        return POINT { (r.left + r.right) / 2, (r.top + r.bottom) / 2 };
    }
    int hit(POINT p) const
    {
        for (int i = 0; i < kLetters + 7; ++i) {
            RECT r = rect(i);
            if (p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom)
                return i;
        }
        return -1;
    }
    std::u16string name_of(int index) const
    {
        if (index < kLetters)
            return to16(std::to_string(index % 11));
        return kFunctionOrder[kLetters + 6 - index];
    }
    static std::u16string to16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    int letter_count() const override { return kLetters; }
    bool stylus_state(const TouchSample& sample) override
    {
        if (!sample.down)
            return true;
        int i = hit(POINT { sample.x, sample.y });
        if (i < 0 || hidden)
            return false;
        m_current = i;
        m_anchor = POINT { sample.x, rect(i).top + 15 };
        m_offset = POINT { 0, m_anchor.y - sample.y };
        touches.push_back(i);
        return true;
    }
    void stylus_move(POINT point) override
    {
        int i = hit(point);
        if (i != m_current && i >= 0)
            m_anchor = POINT { point.x, rect(i).top + 15 };
        m_current = i;
        m_offset = POINT { m_anchor.x - point.x, m_anchor.y - point.y };
    }
    int current_key() const override { return m_current; }
    bool current_key_name(std::u16string& name, int& index) const override
    {
        if (m_current < 0 || m_current >= kLetters + 7)
            return false;
        name = name_of(m_current);
        index = m_current;
        return true;
    }
    int key_index(std::u16string_view name) const override
    {
        for (int k = 0; k < 7; ++k)
            if (name == kFunctionOrder[k])
                return kLetters + 6 - k;
        return -1;
    }
    void set_modifier_look(std::u16string_view name, bool on) override { looks[std::u16string(name)] = on; }
    std::optional<int> virtual_key_for(char16_t c) const override
    {
        switch (c) {
        case u'\u2190': return 37;
        case u'\u2191': return 38;
        case u'\u2192': return 39;
        case u'\u2193': return 40;
        default: return std::nullopt;
        }
    }
    bool is_repeatable() const override
    {
        if (m_current < 0)
            return false;
        if (m_current < kLetters)
            return text && size_t(m_current) < text->size() && virtual_key_for((*text)[m_current]).has_value();
        return name_of(m_current) == u"backspace";
    }
    void show_backspace_as_delete(bool on) override { deleteLooks.push_back(on); }
    POINT anchor() const override { return m_anchor; }
    POINT anchor_offset() const override { return m_offset; }

private:
    int m_current = -1;
    POINT m_anchor {}, m_offset {};
};

// The keyboard application as the key actions and the touch machine need it. Layouts: a
// small English one with shifted rows upper-cased, a second "ru" one, and a symbol layer of
// 32 characters filled to 33 as the application does.
class FakeApp : public kbKeyActions::Host, public kbTouch::Host {
public:
    std::vector<std::string> events;
    std::vector<bool> layoutSwitches; // typed-since-switch of each layout key
    int layoutLoads = 0;
    int reloads = 0;
    int invalidations = 0;
    bool zoomVisible = false;
    int zoomShows = 0;
    int zoomHides = 0;
    bool second = false; // the "ru" layout is current
    kbKeyActions* actions = nullptr;
    std::u16string text; // what the keys show

    static constexpr char16_t kEnglish[] = u"qwertyuiop@asdfghjkl'/zxcvbnm!?,.";
    static constexpr char16_t kSecond[] = u"йцукенгшщзхфывапролджэячсмитьбю.";
    static constexpr char16_t kSymbols[] = u"1234567890-\u2190\u2191\u2192\u2193+=*/()[]{}<>;:\"#$";

    void send_virtual_key(BYTE key, DWORD flags) override { events.push_back(fmt("vk 0x%x 0x%x", unsigned(key), unsigned(flags))); }
    void send_char_events(UINT key, UINT keyFlags, UINT shiftState, char16_t character) override
    {
        events.push_back(fmt("char 0x%x 0x%x 0x%x U+%04X", key, keyFlags, shiftState, unsigned(character)));
    }
    unsigned virtual_key(char16_t c) override
    {
        if (c >= u'a' && c <= u'z')
            return c - u'a' + 'A';
        if (c >= u'A' && c <= u'Z')
            return c;
        if (c == u',')
            return 188;
        return 0;
    }
    void next_layout(bool typed) override
    {
        layoutSwitches.push_back(typed);
        second = !second;
    }
    void set_current_layout() override
    {
        ++layoutLoads;
        std::u16string rows;
        if (actions->extra()) {
            rows = kSymbols;
            rows.resize(33, u'\0');
        } else {
            rows = second ? kSecond : kEnglish;
            rows.resize(33, u'.');
            if (actions->shift())
                for (auto& c : rows)
                    c = char16_t(std::towupper(c));
        }
        text = rows;
        actions->set_layout(rows, second ? u"ru" : u"en");
    }

    void invalidate() override { ++invalidations; }
    void reload_layouts_and_settings() override { ++reloads; }
    bool zoom_window_visible() const override { return zoomVisible; }
    void show_zoom_window() override
    {
        ++zoomShows;
        zoomVisible = true;
    }
    void hide_zoom_window() override
    {
        ++zoomHides;
        zoomVisible = false;
    }
};
