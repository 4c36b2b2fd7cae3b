// The keyboard form on the shipped skin: binding and key indices of the four forms, layouts
// on the keys, hit testing, the pressed look, the zoom anchor, and skins that lack parts.
#include "keyboard/KeyMap.h"
#include "keyboard/KeyboardForm.h"
#include "runtime/Log.h"
#include "runtime/Registry.h"
#include "runtime/Path.h"
#include "runtime/Text.h"
#include "skin/elements/BasicElements.h"
#include "skin/elements/ButtonElement.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/file/skinio.h"
#include "tests/keyboard/KeyboardData.h"
#include "tools/skinc/SkinSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

const std::u16string kSkin = kInstallDir + u"\\skins\\bin\\default.skin";
const std::u16string kEnglish = u"@qwertyuiop/asdfghjkl'!?zxcvbnm,.";

struct Form : DeviceRootTest {
    void SetUp() override
    {
        InstallKeyboardData(device);
        DisplayInfo display;
        display.dpi = 96;
        ASSERT_TRUE(props.load_skin(kSkin, display));
    }
    std::unique_ptr<KeyboardForm> make(const char16_t* base, bool landscape)
    {
        auto form = std::make_unique<KeyboardForm>(props, base, landscape);
        form->set_visible(true);
        return form;
    }
    static int rowOf(const KeyboardForm& form, int index)
    {
        for (const Element* e = form.key(index); e; e = e->parent())
            for (size_t r = 0; r < form.rows().size(); ++r)
                if (form.rows()[r] == e)
                    return int(r);
        return -1;
    }
    static POINT centre(const Element* e) { return { e->position().x + e->size().x / 2, e->position().y + e->size().y / 2 }; }
    static bool showsPressed(const ButtonElement* key) { return key->shown_child() && key->shown_child()->id() == u"#pressed"; }
    static const ImageElement* label(const ButtonElement* key, const char16_t* state)
    {
        return dynamic_cast<const ImageElement*>(key->require_child(state).find_child(u"#label"));
    }
    static PressEvent press(POINT p, bool down)
    {
        PressEvent e;
        e.point = p;
        e.pressed = down;
        return e;
    }
    KeyboardElementTypes types;
    Properties props;
};

TEST_F(Form, FunctionKeyIndicesRowsAndSizesOfTheFourForms)
{
    struct Case {
        const char16_t* base;
        bool landscape;
        int letters;
        std::vector<std::pair<const char16_t*, int>> index;
        std::vector<std::pair<const char16_t*, int>> row; // landscape rows of function keys
        POINT size;
    };
    const Case cases[] = {
        { u"normal", true, 33,
            { { u"extra", 39 }, { u"backspace", 38 }, { u"shift", 37 }, { u"enter", 36 }, { u"ctrl", 35 }, { u"layout", 34 }, { u"space", 33 } },
            { { u"extra", 0 }, { u"backspace", 0 }, { u"shift", 1 }, { u"enter", 1 }, { u"ctrl", 1 }, { u"layout", 2 }, { u"space", 2 } },
            { 320, 76 } },
        { u"extended_normal", true, 44,
            { { u"extra", 50 }, { u"backspace", 49 }, { u"shift", 48 }, { u"enter", 47 }, { u"layout", 46 }, { u"ctrl", 45 }, { u"space", 44 } },
            { { u"extra", 0 }, { u"backspace", 0 }, { u"shift", 1 }, { u"enter", 1 }, { u"layout", 2 }, { u"ctrl", 2 }, { u"space", 3 } },
            { 320, 89 } },
        { u"normal", false, 33,
            { { u"layout", 39 }, { u"shift", 38 }, { u"extra", 37 }, { u"space", 36 }, { u"backspace", 35 }, { u"ctrl", 34 }, { u"enter", 33 } },
            {}, { 240, 85 } },
        { u"extended_normal", false, 44,
            { { u"layout", 50 }, { u"shift", 49 }, { u"extra", 48 }, { u"space", 47 }, { u"backspace", 46 }, { u"ctrl", 45 }, { u"enter", 44 } },
            {}, { 240, 106 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8FromUtf16(c.base) + (c.landscape ? " landscape" : " portrait"));
        auto form = make(c.base, c.landscape);
        EXPECT_EQ(form->letter_count(), c.letters);
        EXPECT_EQ(form->key_count(), c.letters + 7);
        EXPECT_EQ(form->extended(), c.letters == 44);
        EXPECT_EQ(form->size().x, c.size.x);
        EXPECT_EQ(form->size().y, c.size.y);
        for (auto [name, index] : c.index) {
            EXPECT_EQ(form->key_index(name), index) << Utf8FromUtf16(name);
            EXPECT_EQ(form->key(index)->id(), name);
        }
        for (auto [name, row] : c.row)
            EXPECT_EQ(rowOf(*form, form->key_index(name)), row) << Utf8FromUtf16(name);
        EXPECT_EQ(form->key_index(u"alt"), -1);
        // Letters in reading order: rows top to bottom, keys "0".."10" left to right.
        for (int i = 0; i < c.letters; ++i) {
            EXPECT_EQ(form->key(i)->id(), Utf16FromUtf8(std::to_string(i % 11)));
            EXPECT_EQ(rowOf(*form, i), i / 11);
            if (i % 11) {
                EXPECT_EQ(form->key(i)->position().x, form->key(i - 1)->position().x + form->key(i - 1)->size().x);
            }
        }
        EXPECT_EQ(form->current_key(), -1);
        std::u16string name = u"unchanged";
        EXPECT_EQ(form->current_key_name(name), -1);
        EXPECT_EQ(name, u"unchanged");
    }
}

TEST_F(Form, LayoutTextLengthAndWhatTheKeysShow)
{
    auto form = make(u"normal", false);
    EXPECT_FALSE(form->set_layout(kEnglish.substr(0, 32), u"en", false));
    EXPECT_EQ(form->key(0)->text(), u"");
    ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    EXPECT_EQ(form->key(1)->text(), u"q");
    EXPECT_EQ(form->key(32)->text(), u".");
    EXPECT_EQ(form->key(form->key_index(u"layout"))->text(), u"en");
    // A refused text changes nothing.
    EXPECT_FALSE(form->set_layout(kEnglish + u"x", u"xx", false));
    EXPECT_EQ(form->key(1)->text(), u"q");
    EXPECT_EQ(form->key(form->key_index(u"layout"))->text(), u"en");
    // A reload of the skin keeps the characters on the keys.
    form->reload_skin(props);
    EXPECT_EQ(form->key(1)->text(), u"q");
    EXPECT_EQ(form->key(form->key_index(u"layout"))->text(), u"en");
    // A four-row text does not fit three rows, and the other way round.
    auto extended = make(u"extended_normal", true);
    EXPECT_FALSE(extended->set_layout(kEnglish, u"en", false));
    EXPECT_TRUE(extended->set_layout(kEnglish + u"1234567890-", u"EN", false));
}

TEST_F(Form, ArrowsAndTheSettingsKey)
{
    auto form = make(u"normal", false);
    std::u16string text = u"1234567890-@#$%&*()_+=←↑↓→\"':;!?~";
    ASSERT_EQ(text.size(), 33u);
    ASSERT_TRUE(form->set_layout(text, u"en", true));
    const ButtonElement* left = form->key(22);
    EXPECT_EQ(left->text(), u"");
    EXPECT_TRUE(label(left, u"#normal")->picture().image);
    EXPECT_TRUE(label(left, u"#pressed")->picture().image);
    EXPECT_FALSE(label(left, u"#normal")->picture() == label(left, u"#pressed")->picture());
    EXPECT_EQ(form->virtual_key_for(u'←'), 37);
    EXPECT_EQ(form->virtual_key_for(u'→'), 39);
    EXPECT_EQ(form->virtual_key_for(u'↑'), 38);
    EXPECT_EQ(form->virtual_key_for(u'↓'), 40);
    EXPECT_FALSE(form->virtual_key_for(u'a'));
    EXPECT_FALSE(form->virtual_key_for(u'\0'));
    // Key 32 is the settings key in the symbol layer only.
    const ButtonElement* settings = form->key(32);
    EXPECT_EQ(settings->text(), u"");
    PictureRef gear = label(settings, u"#normal")->picture();
    EXPECT_TRUE(gear.image);
    EXPECT_FALSE(gear == label(left, u"#normal")->picture());
    auto map = BuildKeyMap(*form);
    ASSERT_NE(FindKey(map, u"settings"), nullptr);
    EXPECT_EQ(FindKey(map, u"settings")->index, 32);
    EXPECT_EQ(FindKey(map, u"left")->index, 22);

    ASSERT_TRUE(form->set_layout(text, u"en", false));
    EXPECT_EQ(settings->text(), u"~");
    EXPECT_FALSE(label(settings, u"#normal")->picture().image);
    EXPECT_EQ(FindKey(BuildKeyMap(*form), u"settings"), nullptr);
    // Plain letters clear pictures an arrow left behind.
    ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    EXPECT_EQ(left->text(), u"!");
    EXPECT_FALSE(label(left, u"#normal")->picture().image);
    // An arrow standing where the settings key would be keeps its picture outside the layer.
    std::u16string arrowLast = kEnglish.substr(0, 32) + u"→";
    ASSERT_TRUE(form->set_layout(arrowLast, u"en", false));
    EXPECT_TRUE(label(settings, u"#normal")->picture().image);
    form->set_settings_id(99); // out of reach: no settings key at all
    EXPECT_TRUE(form->set_layout(text, u"en", true));
}

TEST_F(Form, PointsOnBordersGoRightAndDown)
{
    for (bool landscape : { false, true }) {
        auto form = make(u"normal", landscape);
        ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
        for (int i = 0; i < form->key_count(); ++i) {
            const ButtonElement* k = form->key(i);
            POINT p = k->position();
            EXPECT_EQ(form->key_at(p), i);
            EXPECT_EQ(form->key_at(centre(k)), i);
        }
        const ButtonElement* q = form->key(1);
        POINT border { q->position().x + q->size().x, q->position().y + 3 };
        EXPECT_EQ(form->key_at(border), 2);
        EXPECT_EQ(form->key_at({ border.x - 1, border.y }), 1);
        POINT below { q->position().x + 3, q->position().y + q->size().y };
        EXPECT_EQ(form->key_at(below), 12);
        EXPECT_EQ(form->key_at({ -1, 5 }), -1);
        EXPECT_EQ(form->key_at({ 5, form->size().y + 2 }), -1);
    }
}

TEST_F(Form, TouchMoveReleaseAndThePressedLook)
{
    auto form = make(u"normal", false);
    ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    ButtonElement* w = form->key(2);
    ButtonElement* e = form->key(3);
    EXPECT_TRUE(form->stylus_state(press(centre(w), true)));
    EXPECT_EQ(form->current_key(), 2);
    EXPECT_TRUE(showsPressed(w));
    std::u16string name;
    EXPECT_EQ(form->current_key_name(name), 2);
    EXPECT_EQ(name, u"2");
    form->stylus_move(centre(e));
    EXPECT_EQ(form->current_key(), 3);
    EXPECT_FALSE(showsPressed(w));
    EXPECT_TRUE(showsPressed(e));
    // Moving within the key only follows the offset.
    POINT anchor = form->anchor();
    form->stylus_move({ centre(e).x + 1, centre(e).y });
    EXPECT_EQ(form->anchor().x, anchor.x);
    EXPECT_EQ(form->anchor_offset().x, anchor.x - centre(e).x - 1);
    // Off the keys: no current key.
    form->stylus_move({ 500, 500 });
    EXPECT_EQ(form->current_key(), -1);
    EXPECT_FALSE(showsPressed(e));
    form->stylus_move(centre(e));
    EXPECT_TRUE(form->stylus_state(press(centre(e), false)));
    EXPECT_FALSE(showsPressed(e));
    EXPECT_EQ(form->current_key(), 3); // kept until the next move or touch
    // Through the framework's entries as well; a touch that never saw its release lets go of
    // its key when the next one lands elsewhere.
    EXPECT_TRUE(form->pointer_press(press(centre(w), true)));
    EXPECT_EQ(form->current_key(), 2);
    EXPECT_TRUE(form->pointer_press(press(centre(e), true)));
    EXPECT_FALSE(showsPressed(w));
    EXPECT_TRUE(showsPressed(e));
    form->pointer_press(press(centre(e), false));

    // Modifier looks, for visible and enabled keys only.
    int shift = form->key_index(u"shift");
    form->set_modifier_look(u"shift", true);
    EXPECT_TRUE(showsPressed(form->key(shift)));
    form->set_modifier_look(u"shift", false);
    EXPECT_FALSE(showsPressed(form->key(shift)));
    form->key(shift)->set_enabled(false);
    form->set_modifier_look(u"shift", true);
    EXPECT_FALSE(form->key(shift)->is_pressed());
    form->set_modifier_look(u"nothing", true);
}

TEST_F(Form, HiddenOrDisabledKeysRefuseTouchButNotMoves)
{
    auto form = make(u"normal", false);
    ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    ButtonElement* ctrl = form->key(form->key_index(u"ctrl"));
    ButtonElement* a = form->key(12);
    ctrl->set_enabled(false);
    a->set_visible(false);
    EXPECT_FALSE(form->stylus_state(press(centre(ctrl), true)));
    EXPECT_FALSE(form->stylus_state(press(centre(a), true)));
    EXPECT_EQ(form->current_key(), -1);
    form->stylus_move(centre(a));
    EXPECT_EQ(form->current_key(), 12);
    form->stylus_move(centre(ctrl));
    EXPECT_EQ(form->current_key(), form->key_index(u"ctrl"));
    // A hidden row hides its keys as well.
    a->set_visible(true);
    form->rows()[1]->set_visible(false);
    EXPECT_FALSE(form->stylus_state(press(centre(a), true)));
}

TEST_F(Form, RepeatableKeysAndBackspacePictures)
{
    auto form = make(u"normal", false);
    std::u16string text = kEnglish;
    text[5] = u'↓';
    ASSERT_TRUE(form->set_layout(text, u"en", false));
    EXPECT_FALSE(form->is_repeatable());
    form->stylus_state(press(centre(form->key(5)), true));
    EXPECT_TRUE(form->is_repeatable());
    form->stylus_state(press(centre(form->key(6)), true));
    EXPECT_FALSE(form->is_repeatable());
    int backspace = form->key_index(u"backspace");
    form->stylus_state(press(centre(form->key(backspace)), true));
    EXPECT_TRUE(form->is_repeatable());
    form->stylus_state(press(centre(form->key(form->key_index(u"enter"))), true));
    EXPECT_FALSE(form->is_repeatable());

    const ImageElement* normal = label(form->key(backspace), u"#normal");
    const ImageElement* held = label(form->key(backspace), u"#pressed");
    PictureRef backspacePicture = normal->picture();
    PictureRef backspaceHeld = held->picture();
    form->show_backspace_as_delete(true);
    EXPECT_TRUE(normal->picture().image);
    EXPECT_FALSE(normal->picture() == backspacePicture);
    EXPECT_FALSE(held->picture() == backspaceHeld);
    form->show_backspace_as_delete(false);
    EXPECT_TRUE(normal->picture() == backspacePicture);
    EXPECT_TRUE(held->picture() == backspaceHeld);
}

TEST_F(Form, ZoomAnchor)
{
    // Portrait, three rows: 240 x 85; rows of 21 from y 1; key faces inset by 1 on each side.
    auto form = make(u"normal", false);
    ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    auto anchorAt = [&](POINT p) {
        form->stylus_move({ -50, -50 });
        form->stylus_move(p);
        return std::pair { form->anchor(), form->anchor_offset() };
    };
    auto expectAnchor = [&](POINT p, POINT want) {
        auto [anchor, offset] = anchorAt(p);
        EXPECT_EQ(anchor.x, want.x) << p.x << "," << p.y;
        EXPECT_EQ(anchor.y, want.y) << p.x << "," << p.y;
        EXPECT_EQ(offset.x, want.x - p.x);
        EXPECT_EQ(offset.y, want.y - p.y);
    };
    // Away from the edges: x follows the stylus, y is five sixths down the face (19 high: 16).
    ASSERT_EQ(form->key(16)->position().y, 22);
    expectAnchor({ 120, 30 }, { 120, 22 + 1 + 16 });
    // Leftmost key (x 0, face 19 wide: a sixth is 3) in the left quarter.
    ASSERT_EQ(form->key(11)->position().x, 0);
    expectAnchor({ 3, 30 }, { 3, 39 });  // not past a sixth: the stylus itself
    expectAnchor({ 5, 30 }, { 4, 39 });  // 1 + max(3, near((5 - 2) / 2))
    expectAnchor({ 10, 30 }, { 5, 39 }); // 1 + max(3, near((10 - 2) / 2))
    // Rightmost key (x 218, 22 wide, face 20: five sixths is 17) in the right quarter.
    ASSERT_EQ(form->key(21)->position().x, 218);
    expectAnchor({ 230, 30 }, { 235, 39 }); // 219 + min(near(20 - (10 - 2) / 2), 17)
    expectAnchor({ 237, 30 }, { 237, 39 }); // past five sixths: the stylus itself
    // A key on the bottom edge: the lower the stylus, the less the anchor may drop.
    int shift = form->key_index(u"shift");
    ASSERT_EQ(form->key(shift)->position().x, 0);
    ASSERT_EQ(form->key(shift)->position().y + form->key(shift)->size().y, form->size().y);
    expectAnchor({ 20, 66 }, { 10, 76 }); // y: 65 + min(16, near(19 - (19 - 2) / 2))
    expectAnchor({ 20, 80 }, { 10, 81 });
    form->set_zoom_scale(3.0);
    expectAnchor({ 20, 66 }, { 7, 79 });
    // A touch computes it too.
    form->set_zoom_scale(2.0);
    ASSERT_TRUE(form->stylus_state(press({ 10, 30 }, true)));
    EXPECT_EQ(form->anchor().x, 5);
    EXPECT_EQ(form->anchor().y, 39);

    // The left quarter of the leftmost key: past a sixth of the face the anchor stays there.
    const ButtonElement* first = form->key(11);
    const Element& n = first->require_child(u"#normal");
    int bound = n.border_min().x + int(n.size().x * 0.16666666666666666 + 0.5);
    for (int x = bound + 1; x < first->size().x; ++x) {
        form->stylus_state(press({ x, 30 }, true));
        EXPECT_GE(form->anchor().x, bound) << x;
    }
}

TEST_F(Form, KeyMapListsEveryKey)
{
    auto form = make(u"extended_normal", false);
    std::u16string russian = u"йцукенгшщзхфывапролджэячсмитьбюъё.,?!-:;\"'()";
    ASSERT_TRUE(form->set_layout(russian, u"RU", false));
    auto map = BuildKeyMap(*form);
    ASSERT_EQ(map.size(), 51u);
    EXPECT_EQ(map[0].label, u"й");
    EXPECT_EQ(map[0].id, u"0");
    EXPECT_EQ(map[44].label, u"enter");
    EXPECT_EQ(FindKey(map, u"layout")->text, u"RU");
    EXPECT_EQ(FindKey(map, u"Ж")->index, 20); // letters match in either case
    EXPECT_EQ(FindKey(map, u"none"), nullptr);
    const KeyMapEntry& space = *FindKey(map, u"space");
    EXPECT_EQ(form->key_at({ space.rect.left, space.rect.top }), space.index);
    EXPECT_EQ(form->key_at({ space.rect.right - 1, space.rect.bottom - 1 }), space.index);
    std::vector<KeyMapItem> items(60);
    EXPECT_EQ(CopyKeyMap(*form, nullptr, 0), 51u);
    EXPECT_EQ(CopyKeyMap(*form, items.data(), 2), 51u);
    EXPECT_EQ(items[1].label, std::u16string(u"ц"));
    EXPECT_EQ(items[2].index, 0); // beyond the capacity: untouched
    EXPECT_EQ(CopyKeyMap(*form, items.data(), items.size()), 51u);
    EXPECT_EQ(std::u16string(items[50].id), u"layout");
    EXPECT_EQ(items[50].flags, 3);
}

TEST_F(Form, LogLines)
{
    const char16_t* tarn = u"HKEY_CURRENT_USER\\Software\\Tarn";
    ASSERT_TRUE(RegWriteNumber(tarn, u"Log", 1));
    {
        auto form = make(u"normal", false);
        form->set_layout(kEnglish, u"en", false);
        form->animate(0.04);
    }
    RegWriteNumber(tarn, u"Log", 0);
    Log();
    auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt");
    ASSERT_TRUE(bytes);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes->size(); i += 2)
        text.push_back(char16_t(uint8_t((*bytes)[i]) | uint8_t((*bytes)[i + 1]) << 8));
    EXPECT_NE(text.find(u"Main form constructor\nMain form reload skin1\nMain form reload skin3\nMain form reload skin4\n"
                        u"Main form reload skin5\nMain form reload skin6\n"),
        std::u16string::npos);
    EXPECT_NE(text.find(u"main form set layout\nmain form set layout ok\nMain form life cycle\n"), std::u16string::npos);
}

// Skins that lack parts of the keyboard, built from the shipped source with one thing removed.
struct BrokenSkin : Form {
    void load(const std::string& remove, const std::string& replacement = "")
    {
        std::ifstream in(std::string(MK_SOURCE_DIR) + "/data/skins/default.yaml");
        std::stringstream s;
        s << in.rdbuf();
        std::string yaml = s.str();
        size_t at = yaml.find(remove);
        ASSERT_NE(at, std::string::npos) << remove;
        yaml.replace(at, remove.size(), replacement);
        skinc::Skin skin = skinc::ParseYaml(yaml, "broken.yaml");
        for (auto& picture : skin.pictures)
            picture.png.clear(); // the installed BMPs serve
        std::vector<uint8_t> bytes = skinc::WriteSkin(skin);
        device.writeFile(kSkin, std::string(bytes.begin(), bytes.end()));
        DisplayInfo display;
        display.dpi = 96;
        ASSERT_TRUE(props.load_skin(kSkin, display));
    }
};

TEST_F(BrokenSkin, MissingFormRowOrKey)
{
    load("  normal_landscape:\n", "  renamed_landscape:\n");
    try {
        KeyboardForm form(props, u"normal", true);
        ADD_FAILURE() << "no exception";
    } catch (const skinio::NodeNotFoundInSkin& e) {
        EXPECT_EQ(e.name, u"normal_landscape");
    }
    EXPECT_NO_THROW(KeyboardForm(props, u"normal", false));

    load("            id: \"functional\"", "            id: \"functions\"");
    try {
        KeyboardForm form(props, u"normal", false);
        ADD_FAILURE() << "no exception";
    } catch (const skinio::NodeNotFound& e) {
        EXPECT_EQ(e.id, u"functional");
    }

    load("id: \"10\"", "id: \"eleven\"");
    try {
        KeyboardForm form(props, u"normal", false);
        ADD_FAILURE() << "no exception";
    } catch (const skinio::NodeNotFound& e) {
        EXPECT_EQ(e.id, u"10");
    }
}

TEST_F(BrokenSkin, MissingSpecialPicturesLeaveTheKeyBlank)
{
    load("  left_normal:", "  left_gone:");
    KeyboardForm form(props, u"normal", false);
    std::u16string text = kEnglish;
    text[0] = u'←';
    ASSERT_TRUE(form.set_layout(text, u"en", false));
    EXPECT_FALSE(label(form.key(0), u"#normal")->picture().image);
    EXPECT_TRUE(label(form.key(0), u"#pressed")->picture().image);
    EXPECT_EQ(form.key(0)->text(), u"");
}

} // namespace
