#include "waylandhost/Keymap.h"

#include <algorithm>
#include <cstdlib>

namespace waylandhost {

namespace {

// What the evdev rules give for a pc105 keyboard with the US layout; extra keys are added to the
// symbols section by their keycodes' names.
constexpr const char* kHead = "xkb_keymap {\n"
                              "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
                              "  xkb_types { include \"complete\" };\n"
                              "  xkb_compat { include \"complete\" };\n"
                              "  xkb_symbols { include \"pc+us+inet(evdev)\"\n";
constexpr const char* kTail = "  };\n};\n";
constexpr uint32_t kHighestKeycode = 255; // above it X programs (through Xwayland) see nothing
constexpr size_t kMostSpares = 32;

}

Keymap::Keymap()
{
    m_context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    if (!m_context)
        return;
    m_keymap = compile({});
    if (!m_keymap)
        return;
    // Spare keycodes: named by the keycodes section, carrying no keysym at all.
    const uint32_t lowest = std::max<uint32_t>(xkb_keymap_min_keycode(m_keymap), 8);
    const uint32_t highest = std::min<uint32_t>(xkb_keymap_max_keycode(m_keymap), kHighestKeycode);
    for (uint32_t code = highest; code >= lowest && m_spares.size() < kMostSpares; --code)
        if (xkb_keymap_key_get_name(m_keymap, code) && xkb_keymap_num_layouts_for_key(m_keymap, code) == 0)
            m_spares.push_back(code);
    index();
}

Keymap::~Keymap()
{
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
    if (m_context)
        xkb_context_unref(m_context);
}

bool Keymap::ok(std::string& why) const
{
    if (!m_context)
        why = "cannot make an XKB context";
    else if (!m_keymap)
        why = "the US keymap does not compile (is xkb-data installed?)";
    else if (m_spares.empty())
        why = "the US keymap has no spare keycodes";
    else
        return true;
    return false;
}

xkb_keymap* Keymap::compile(const std::map<uint32_t, xkb_keysym_t>& extra) const
{
    std::string source = kHead;
    const xkb_keymap* names = m_keymap; // the base keymap names the keycodes
    for (const auto& [code, sym] : extra) {
        if (!sym || !names)
            continue;
        const char* name = xkb_keymap_key_get_name(const_cast<xkb_keymap*>(names), code);
        char symName[64];
        if (!name || xkb_keysym_get_name(sym, symName, sizeof symName) <= 0)
            continue;
        source += std::string("    key <") + name + "> { [ " + symName + " ] };\n";
    }
    source += kTail;
    return xkb_keymap_new_from_string(m_context, source.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

void Keymap::index()
{
    m_places.clear();
    m_text.clear();
    if (!m_keymap)
        return;
    if (char* text = xkb_keymap_get_as_string(m_keymap, XKB_KEYMAP_FORMAT_TEXT_V1)) {
        m_text = text;
        std::free(text);
    }
    const xkb_mod_index_t shiftIndex = xkb_keymap_mod_get_index(m_keymap, XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t shift = shiftIndex == XKB_MOD_INVALID ? 0 : (1u << shiftIndex);
    const uint32_t lowest = std::max<uint32_t>(xkb_keymap_min_keycode(m_keymap), 8);
    const uint32_t highest = std::min<uint32_t>(xkb_keymap_max_keycode(m_keymap), kHighestKeycode);
    // Plain levels win over shifted ones, lower keycodes (the main block) over higher ones.
    for (bool shifted : { false, true })
        for (uint32_t code = lowest; code <= highest; ++code) {
            const xkb_level_index_t levels = std::min<xkb_level_index_t>(xkb_keymap_num_levels_for_key(m_keymap, code, 0), 2);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                xkb_mod_mask_t masks[8];
                const size_t n = xkb_keymap_key_get_mods_for_level(m_keymap, code, 0, level, masks, 8);
                if (std::find(masks, masks + n, shifted ? shift : 0) == masks + n)
                    continue;
                const xkb_keysym_t* syms = nullptr;
                if (xkb_keymap_key_get_syms_by_level(m_keymap, code, 0, level, &syms) != 1)
                    continue;
                m_places.try_emplace(syms[0], Placement { code, shifted });
            }
        }
}

std::optional<Keymap::Placement> Keymap::find(xkb_keysym_t keysym) const
{
    if (auto it = m_places.find(keysym); keysym && it != m_places.end())
        return it->second;
    return std::nullopt;
}

xkb_keysym_t Keymap::spareKeysym(uint32_t keycode) const
{
    auto it = m_extra.find(keycode);
    return it == m_extra.end() ? 0 : it->second;
}

bool Keymap::assign(uint32_t keycode, xkb_keysym_t keysym)
{
    if (!m_keymap || std::find(m_spares.begin(), m_spares.end(), keycode) == m_spares.end())
        return false;
    auto extra = m_extra;
    if (keysym)
        extra[keycode] = keysym;
    else
        extra.erase(keycode);
    xkb_keymap* made = compile(extra);
    if (!made)
        return false;
    xkb_keymap_unref(m_keymap);
    m_keymap = made;
    m_extra = std::move(extra);
    index();
    return true;
}

}
