#include "waylandhost/WaylandKeyboard.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>

namespace waylandhost {

namespace {

constexpr UINT kKeyStateDown = 0x80;
constexpr UINT kShiftNoCharacter = 0x10000;
constexpr DWORD kKeyUp = 0x2;
constexpr UINT kNoVirtualKey = 0x100; // characters of SendString: held under a number no key has

std::string utf8(const std::u32string& text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool printable(unsigned c)
{
    return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c < 0xE000) && c <= 0x10FFFF;
}

}

WaylandKeyboard::WaylandKeyboard(Keymap& keymap, KeySink& keys, TextSink* text)
    : m_keymap(keymap)
    , m_keys(keys)
    , m_text(text)
{
    if (m_keymap.keymap())
        m_state = xkb_state_new(m_keymap.keymap());
    if (auto shift = m_keymap.find(XKB_KEY_Shift_L))
        m_shiftKeycode = shift->keycode;
    // A keyboard without a keymap is no keyboard yet to the compositor and its programs.
    sendKeymap();
}

WaylandKeyboard::~WaylandKeyboard()
{
    release_all();
    if (m_state)
        xkb_state_unref(m_state);
}

size_t WaylandKeyboard::held() const
{
    return m_down.size();
}

void WaylandKeyboard::sendKeymap()
{
    if (!m_keymap.keymap())
        return;
    m_keys.keymap(m_keymap.text());
    m_keymapSent = true;
    if (m_state)
        xkb_state_unref(m_state);
    m_state = xkb_state_new(m_keymap.keymap());
    std::fill(std::begin(m_sentMods), std::end(m_sentMods), 0);
    m_keys.modifiers(0, 0, 0, 0);
}

void WaylandKeyboard::key(uint32_t keycode, bool down)
{
    if (!keycode)
        return;
    if (!m_keymapSent)
        sendKeymap();
    auto it = m_down.find(keycode);
    if (!down) {
        if (it == m_down.end())
            return;
        if (--it->second == 0)
            m_down.erase(it);
    } else
        ++m_down[keycode];
    m_keys.key(keycode - 8, down);
    if (!m_state)
        return;
    xkb_state_update_key(m_state, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    const xkb_mod_mask_t mods[4] = { xkb_state_serialize_mods(m_state, XKB_STATE_MODS_DEPRESSED),
        xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LATCHED), xkb_state_serialize_mods(m_state, XKB_STATE_MODS_LOCKED),
        xkb_state_serialize_layout(m_state, XKB_STATE_LAYOUT_EFFECTIVE) };
    // Compositors that follow the keys themselves agree; the others learn it here.
    if (!std::equal(std::begin(mods), std::end(mods), std::begin(m_sentMods))) {
        std::copy(std::begin(mods), std::end(mods), std::begin(m_sentMods));
        m_keys.modifiers(mods[0], mods[1], mods[2], mods[3]);
    }
}

void WaylandKeyboard::release_all()
{
    while (!m_down.empty()) {
        const uint32_t code = m_down.begin()->first;
        m_down.begin()->second = 1;
        key(code, false);
    }
    m_virtual.clear();
    m_characters.clear();
}

std::optional<Keymap::Placement> WaylandKeyboard::placeFor(xkb_keysym_t keysym)
{
    if (!keysym)
        return std::nullopt;
    if (auto found = m_keymap.find(keysym))
        return found;
    // The spare keycode given a keysym longest ago (one never given one first), not held down.
    uint32_t pick = 0;
    uint64_t oldest = UINT64_MAX;
    for (uint32_t code : m_keymap.spares()) {
        if (m_down.count(code))
            continue;
        const auto use = m_spareUse.find(code);
        const uint64_t when = use == m_spareUse.end() ? 0 : use->second;
        if (when < oldest) {
            oldest = when;
            pick = code;
        }
    }
    if (!pick)
        return std::nullopt;
    // A key down while the keymap changes would come up under another one: everything comes up
    // first, and the keys the keyboard holds (its modifiers) go down again after.
    const auto holding = m_virtual;
    for (auto it = m_down.begin(); it != m_down.end(); it = m_down.begin()) {
        it->second = 1;
        key(it->first, false);
    }
    m_characters.clear();
    const bool assigned = m_keymap.assign(pick, keysym);
    if (assigned) {
        m_spareUse[pick] = ++m_uses;
        sendKeymap();
    }
    for (const auto& [vk, code] : holding)
        key(code, true);
    return assigned ? m_keymap.find(keysym) : std::nullopt;
}

bool WaylandKeyboard::typedAsText(unsigned c) const
{
    if (!m_text || !m_text->active() || !printable(c))
        return false;
    // A chord (Control or Alt held) is keys, whatever the field wants.
    if (m_state
        && (xkb_state_mod_name_is_active(m_state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0
            || xkb_state_mod_name_is_active(m_state, XKB_MOD_NAME_ALT, XKB_STATE_MODS_EFFECTIVE) > 0
            || xkb_state_mod_name_is_active(m_state, XKB_MOD_NAME_LOGO, XKB_STATE_MODS_EFFECTIVE) > 0))
        return false;
    return true;
}

void WaylandKeyboard::virtual_key(BYTE virtualKey, DWORD flags)
{
    const bool down = !(flags & kKeyUp);
    if (auto held = m_virtual.find(virtualKey); held != m_virtual.end()) {
        // Up, or down again without an up between: the key comes up first.
        const uint32_t code = held->second;
        m_virtual.erase(held);
        key(code, false);
    }
    if (!down)
        return;
    auto place = placeFor(keysym_for_virtual_key(virtualKey));
    if (!place)
        return;
    m_virtual[virtualKey] = place->keycode;
    key(place->keycode, true);
}

void WaylandKeyboard::pressCharacter(unsigned c, UINT virtualKey)
{
    auto place = placeFor(keysym_for_character(c));
    if (!place)
        return;
    // A character on the shifted level gets Shift around it, unless the keyboard holds Shift.
    const bool shiftHeld = m_state && xkb_state_mod_name_is_active(m_state, XKB_MOD_NAME_SHIFT, XKB_STATE_MODS_EFFECTIVE) > 0;
    Pressed pressed { place->keycode, place->shifted && !shiftHeld };
    if (pressed.shifted)
        key(m_shiftKeycode, true);
    key(pressed.keycode, true);
    m_characters[virtualKey].push_back(pressed);
}

void WaylandKeyboard::releaseCharacters(UINT virtualKey)
{
    auto it = m_characters.find(virtualKey);
    if (it == m_characters.end())
        return;
    for (auto p = it->second.rbegin(); p != it->second.rend(); ++p) {
        key(p->keycode, false);
        if (p->shifted)
            key(m_shiftKeycode, false);
    }
    m_characters.erase(it);
}

void WaylandKeyboard::commit(const std::u32string& text)
{
    if (!text.empty() && m_text)
        m_text->commit(utf8(text));
}

void WaylandKeyboard::char_events(UINT virtualKey, UINT keyFlags, UINT count, const UINT* shiftStates, const UINT* characters)
{
    // A second press of the same key without a release in between ends the first one.
    releaseCharacters(virtualKey);
    if (!(keyFlags & kKeyStateDown))
        return;
    std::u32string text;
    bool pressedOne = false;
    for (UINT i = 0; i < count && shiftStates && characters; ++i) {
        if (shiftStates[i] & kShiftNoCharacter)
            continue;
        if (typedAsText(characters[i])) {
            text += static_cast<char32_t>(characters[i]);
            continue;
        }
        // In the order typed: text before a key goes first.
        commit(text);
        text.clear();
        // Several characters in one press: each but the last is typed and let go at once.
        if (pressedOne)
            releaseCharacters(virtualKey);
        pressCharacter(characters[i], virtualKey);
        pressedOne = true;
    }
    commit(text);
}

void WaylandKeyboard::text(const WCHAR* text, DWORD count)
{
    std::u32string pending;
    for (DWORD i = 0; i < count && text; ++i) {
        unsigned c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (typedAsText(c)) {
            pending += static_cast<char32_t>(c);
            continue;
        }
        commit(pending);
        pending.clear();
        pressCharacter(c, kNoVirtualKey);
        releaseCharacters(kNoVirtualKey);
    }
    commit(pending);
}

xkb_keysym_t WaylandKeyboard::keysym_for_character(unsigned c)
{
    switch (c) {
    case 0x08:
        return XKB_KEY_BackSpace;
    case 0x09:
        return XKB_KEY_Tab;
    case 0x0A:
    case 0x0D:
        return XKB_KEY_Return;
    case 0x1B:
        return XKB_KEY_Escape;
    case 0x7F:
        return XKB_KEY_Delete;
    default:
        break;
    }
    if (!printable(c))
        return 0;
    const xkb_keysym_t sym = xkb_utf32_to_keysym(c);
    return sym == XKB_KEY_NoSymbol ? 0 : sym;
}

xkb_keysym_t WaylandKeyboard::keysym_for_virtual_key(unsigned vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return XKB_KEY_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return XKB_KEY_0 + (vk - '0');
    if (vk >= 0x70 && vk <= 0x7B)
        return XKB_KEY_F1 + (vk - 0x70);
    if (vk >= 0x60 && vk <= 0x69)
        return XKB_KEY_KP_0 + (vk - 0x60);
    switch (vk) {
    case 0x08: return XKB_KEY_BackSpace;
    case 0x09: return XKB_KEY_Tab;
    case 0x0D: return XKB_KEY_Return;
    case 0x10: case 0xA0: return XKB_KEY_Shift_L;
    case 0xA1: return XKB_KEY_Shift_R;
    case 0x11: case 0xA2: return XKB_KEY_Control_L;
    case 0xA3: return XKB_KEY_Control_R;
    case 0x12: case 0xA4: return XKB_KEY_Alt_L;
    case 0xA5: return XKB_KEY_Alt_R;
    case 0x14: return XKB_KEY_Caps_Lock;
    case 0x1B: return XKB_KEY_Escape;
    case 0x20: return XKB_KEY_space;
    case 0x21: return XKB_KEY_Prior;
    case 0x22: return XKB_KEY_Next;
    case 0x23: return XKB_KEY_End;
    case 0x24: return XKB_KEY_Home;
    case 0x25: return XKB_KEY_Left;
    case 0x26: return XKB_KEY_Up;
    case 0x27: return XKB_KEY_Right;
    case 0x28: return XKB_KEY_Down;
    case 0x2D: return XKB_KEY_Insert;
    case 0x2E: return XKB_KEY_Delete;
    case 0x5B: return XKB_KEY_Super_L;
    case 0xBA: return XKB_KEY_semicolon;
    case 0xBB: return XKB_KEY_equal;
    case 0xBC: return XKB_KEY_comma;
    case 0xBD: return XKB_KEY_minus;
    case 0xBE: return XKB_KEY_period;
    case 0xBF: return XKB_KEY_slash;
    case 0xC0: return XKB_KEY_grave;
    case 0xDB: return XKB_KEY_bracketleft;
    case 0xDC: return XKB_KEY_backslash;
    case 0xDD: return XKB_KEY_bracketright;
    case 0xDE: return XKB_KEY_apostrophe;
    default: return 0;
    }
}

}
