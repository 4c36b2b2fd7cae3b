// Where the keyboard's output goes on Wayland, without a compositor: a program stands in for the
// one the virtual keyboard types into (it reads every keymap it is sent and decodes the keys with
// it) and an input method stands in for the focused text field.
#include "waylandhost/WaylandKeyboard.h"

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon-keysyms.h>

#include <map>
#include <set>

using waylandhost::Keymap;
using waylandhost::KeySink;
using waylandhost::TextSink;
using waylandhost::WaylandKeyboard;

namespace {

constexpr UINT kDown = 0x80;
constexpr UINT kUp = 0x40;
constexpr DWORD kKeyUp = 0x2;

// Reads the virtual keyboard as a Wayland program does: keymaps, keys and modifiers.
class Program final : public KeySink {
public:
    ~Program() override { reset(); }

    void keymap(const std::string& text) override
    {
        // No key may be down while the keymap changes: it would come up as another key.
        if (!m_down.empty())
            faults.push_back("keymap while " + std::to_string(m_down.size()) + " keys are down");
        reset();
        m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        m_keymap = xkb_keymap_new_from_string(m_context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!m_keymap) {
            faults.push_back("a keymap that does not compile");
            return;
        }
        m_state = xkb_state_new(m_keymap);
        log.push_back("keymap");
        ++keymaps;
    }

    void key(uint32_t code, bool down) override
    {
        if (!m_state) {
            faults.push_back("a key before any keymap");
            return;
        }
        const uint32_t keycode = code + 8;
        if (down && !m_down.insert(keycode).second)
            faults.push_back("a key pressed twice");
        if (!down && !m_down.erase(keycode))
            faults.push_back("a key released that was not down");
        char name[64] = {};
        xkb_keysym_get_name(xkb_state_key_get_one_sym(m_state, keycode), name, sizeof name);
        if (!down) {
            log.push_back(std::string("-") + name);
            return;
        }
        log.push_back(std::string("+") + name);
        if (std::string(name).rfind("Shift", 0) == 0 || std::string(name).rfind("Control", 0) == 0)
            return;
        char text[16] = {};
        xkb_state_key_get_utf8(m_state, keycode, text, sizeof text);
        const bool control = xkb_state_mod_name_is_active(m_state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0;
        typed.push_back(control ? std::string("^") + name : std::string(text));
    }

    void modifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) override
    {
        if (m_state)
            xkb_state_update_mask(m_state, depressed, latched, locked, 0, 0, group);
    }

    size_t down() const { return m_down.size(); }

    std::vector<std::string> log; // "keymap", "+a", "-a"
    std::vector<std::string> typed; // the text of each key that is no modifier ("^c" for chords)
    std::vector<std::string> faults;
    int keymaps = 0;

private:
    void reset()
    {
        if (m_state)
            xkb_state_unref(m_state);
        if (m_keymap)
            xkb_keymap_unref(m_keymap);
        if (m_context)
            xkb_context_unref(m_context);
        m_state = nullptr;
        m_keymap = nullptr;
        m_context = nullptr;
        m_down.clear();
    }

    xkb_context* m_context = nullptr;
    xkb_keymap* m_keymap = nullptr;
    xkb_state* m_state = nullptr;
    std::set<uint32_t> m_down;
};

class Field final : public TextSink {
public:
    bool active() const override { return on; }
    void commit(const std::string& utf8) override { commits.push_back(utf8); }
    bool on = false;
    std::vector<std::string> commits;
};

struct Routing : ::testing::Test {
    void SetUp() override
    {
        std::string why;
        ASSERT_TRUE(keymap.ok(why)) << why;
    }

    void character(WaylandKeyboard& k, UINT c, UINT vk = 0x41)
    {
        UINT shift = kDown;
        k.char_events(vk, kDown, 1, &shift, &c);
        UINT none = 0x10000;
        k.char_events(vk, kUp, 1, &none, &c);
    }

    Keymap keymap;
    Program program;
    Field field;
};

}

TEST_F(Routing, CharactersGoToAnActiveTextFieldAsTextAndEverythingElseAsKeys)
{
    WaylandKeyboard k(keymap, program, &field);
    field.on = true;
    for (UINT c : { u'H', u'i', u' ', u'п', u'!' })
        character(k, c);
    EXPECT_EQ(field.commits, (std::vector<std::string> { "H", "i", " ", "п", "!" }));
    EXPECT_TRUE(program.typed.empty());
    // Backspace, enter and arrows are keys, for the field too.
    for (BYTE vk : { 0x08, 0x0D, 0x25 }) {
        k.virtual_key(vk, 0);
        k.virtual_key(vk, kKeyUp);
    }
    EXPECT_EQ(program.log, (std::vector<std::string> { "keymap", "+BackSpace", "-BackSpace", "+Return", "-Return", "+Left", "-Left" }));
    // A chord is keys, whatever the field wants: control held, the c key, control up.
    k.virtual_key(0x11, 0);
    character(k, 'c');
    k.virtual_key(0x11, kKeyUp);
    EXPECT_EQ(program.typed.back(), "^c");
    EXPECT_EQ(field.commits.size(), 5u);
    // Several characters of one press, in order, and control characters as their keys.
    UINT shifts[3] = { kDown, kDown, kDown }, chars[3] = { 'a', 0x08, 'b' };
    k.char_events(0x41, kDown, 3, shifts, chars);
    k.char_events(0x41, kUp, 0, nullptr, nullptr);
    EXPECT_EQ(field.commits.back(), "b");
    EXPECT_EQ(field.commits[field.commits.size() - 2], "a");
    EXPECT_EQ(program.log.back(), "-BackSpace");
    // The field gone, the same characters are keys.
    field.on = false;
    character(k, 'x');
    EXPECT_EQ(program.typed.back(), "x");
    EXPECT_TRUE(program.faults.empty()) << program.faults.front();
    EXPECT_EQ(program.down(), 0u);
}

TEST_F(Routing, KeysCarryTheirCharactersWithShiftAroundTheShiftedOnes)
{
    WaylandKeyboard k(keymap, program, nullptr);
    for (UINT c : { u'H', u'e', u'!', u'1', u'\t', u'\r' })
        character(k, c);
    EXPECT_EQ(program.typed, (std::vector<std::string> { "H", "e", "!", "1", "\t", "\r" }));
    EXPECT_EQ(program.log[0], "keymap");
    EXPECT_EQ(program.log[1], "+Shift_L");
    EXPECT_EQ(program.log[2], "+H");
    EXPECT_EQ(program.log[3], "-H");
    EXPECT_EQ(program.log[4], "-Shift_L");
    EXPECT_EQ(program.log[5], "+e");
    // A Shift the keyboard holds itself is not pressed again.
    program.log.clear();
    k.virtual_key(0x10, 0);
    character(k, 'W');
    k.virtual_key(0x10, kKeyUp);
    EXPECT_EQ(program.log, (std::vector<std::string> { "+Shift_L", "+W", "-W", "-Shift_L" }));
    EXPECT_TRUE(program.faults.empty()) << program.faults.front();
    EXPECT_EQ(program.down(), 0u);
}

TEST_F(Routing, ACharacterWithoutAKeyGoesOnASpareKeycodeOfANewKeymapWithNothingHeldMeanwhile)
{
    WaylandKeyboard k(keymap, program, nullptr);
    character(k, 'a');
    ASSERT_EQ(program.keymaps, 1);
    // Control held by the keyboard across the change: it comes up before the new keymap and
    // goes down again after it, so the chord still reaches the program.
    k.virtual_key(0x11, 0);
    character(k, u'с'); // Cyrillic es
    k.virtual_key(0x11, kKeyUp);
    EXPECT_EQ(program.keymaps, 2);
    EXPECT_EQ(program.typed.back(), "^Cyrillic_es");
    const std::vector<std::string> tail(program.log.end() - 6, program.log.end());
    EXPECT_EQ(tail, (std::vector<std::string> { "-Control_L", "keymap", "+Control_L", "+Cyrillic_es", "-Cyrillic_es", "-Control_L" }));
    // A character already placed needs no new keymap.
    character(k, u'с');
    EXPECT_EQ(program.keymaps, 2);
    EXPECT_EQ(program.typed.back(), "с");

    // More characters than spares: each still arrives as itself, the spare given longest ago
    // taken first; the characters of the keymap stay where they are.
    std::u16string many = u"абвгдежзийклмнопрстуфхцчшщъыьэюяΑΒΓΔΕΖΗΘ";
    ASSERT_GT(many.size(), keymap.spares().size());
    program.typed.clear();
    for (char16_t c : many) {
        character(k, c);
        character(k, 'q');
    }
    std::vector<std::string> expected;
    for (char16_t c : many) {
        // Two bytes of UTF-8 each: Cyrillic and Greek.
        expected.push_back({ static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)) });
        expected.push_back("q");
    }
    EXPECT_EQ(program.typed, expected);
    EXPECT_TRUE(program.faults.empty()) << program.faults.front();
    EXPECT_EQ(program.down(), 0u);
}

TEST_F(Routing, AKeyHeldThroughAnotherKeymapComesUpAsItselfAndStringsAreTyped)
{
    WaylandKeyboard k(keymap, program, nullptr);
    // Backspace held (repeating) while a character needs a new keymap: it comes up first and
    // goes down again after, never up twice.
    k.virtual_key(0x08, 0);
    character(k, u'ж');
    k.virtual_key(0x08, kKeyUp);
    EXPECT_EQ(program.log, (std::vector<std::string> { "keymap", "+BackSpace", "-BackSpace", "keymap", "+BackSpace", "+Cyrillic_zhe",
                               "-Cyrillic_zhe", "-BackSpace" }));
    // A second down without an up between is an up and a down.
    k.virtual_key(0x08, 0);
    k.virtual_key(0x08, 0);
    k.virtual_key(0x08, kKeyUp);
    EXPECT_EQ(std::count(program.log.begin(), program.log.end(), "+BackSpace"), 4);
    EXPECT_EQ(std::count(program.log.begin(), program.log.end(), "-BackSpace"), 4);
    // SendString: characters without key transitions, surrogate pairs joined.
    program.typed.clear();
    const WCHAR text[] = { u'o', u'k', 0xD83D, 0xDE00, u'!' };
    k.text(text, 5);
    EXPECT_EQ(program.typed, (std::vector<std::string> { "o", "k", "\xF0\x9F\x98\x80", "!" }));
    // Unknown virtual keys and characters without a keysym are dropped, not sent as something else.
    const size_t before = program.log.size();
    k.virtual_key(0xFF, 0);
    character(k, 0xD800);
    character(k, 0x01);
    EXPECT_EQ(program.log.size(), before);
    // Whatever is down comes up when the keyboard ends.
    k.virtual_key(0x10, 0);
    k.virtual_key(0x41, 0);
    k.release_all();
    EXPECT_EQ(program.down(), 0u);
    EXPECT_EQ(k.held(), 0u);
    EXPECT_TRUE(program.faults.empty()) << program.faults.front();
}
