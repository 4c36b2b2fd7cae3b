// The shipped keyboard as a user sees it, at QVGA and at VGA: the four forms with English
// (plain and shifted), Russian (four rows) and the symbol layer with its settings key and a
// held key, each compared with its golden picture.
#include "keyboard/KeyboardForm.h"
#include "kbfiles/LayoutSelection.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/Canvas.h"
#include "skin/file/DisplayInfo.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/keyboard/KeyboardData.h"
#include "tests/support/Golden.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class KeyboardPictures : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        InstallKeyboardData(device);
        DisplayInfo display;
        display.dpi = vga() ? 192 : 96;
        ASSERT_TRUE(props.load_skin(kInstallDir + u"\\skins\\bin\\default.skin", display));
        layouts = std::make_unique<LayoutSelection>();
    }
    bool vga() const { return GetParam() != 0; }

    // The form for the current layout, with its rows text for the shift and symbol state.
    std::unique_ptr<KeyboardForm> show(const std::u16string& layout, bool landscape, bool shift, bool extra)
    {
        layouts->set_current(layout);
        bool extended = layouts->needs_extended();
        auto form = std::make_unique<KeyboardForm>(props, extended ? u"extended_normal" : u"normal", landscape);
        form->set_visible(true);
        std::u16string text, shortName;
        EXPECT_TRUE(layouts->load(text, shortName, shift, false));
        if (extra) {
            EXPECT_TRUE(layouts->load(text, shortName, shift, true));
            text.resize(form->letter_count(), u' ');
        }
        EXPECT_TRUE(form->set_layout(text, shortName, extra));
        form->set_modifier_look(u"shift", shift);
        form->set_modifier_look(u"extra", extra);
        form->show_backspace_as_delete(shift);
        return form;
    }

    void expect_golden(KeyboardForm& form, const std::string& name)
    {
        RenderSurface surface;
        surface.recreate(form.size());
        form.paint(surface.canvas(), { 0, 0 });
        PixelBuffer* b = surface.buffer();
        ExpectMatchesGolden(b->pixels(), b->width(), b->height(), b->pitch() / 2,
            "keyboard/" + name + (vga() ? "_vga" : "_qvga"));
    }

    TempDeviceRoot device;
    KeyboardElementTypes types;
    Properties props;
    std::unique_ptr<LayoutSelection> layouts;
};

TEST_P(KeyboardPictures, EnglishPlainAndShifted)
{
    for (bool landscape : { false, true }) {
        const char* orientation = landscape ? "_landscape" : "_portrait";
        expect_golden(*show(u"english", landscape, false, false), std::string("english") + orientation);
        expect_golden(*show(u"english", landscape, true, false), std::string("english_shift") + orientation);
    }
}

TEST_P(KeyboardPictures, RussianFourRows)
{
    for (bool landscape : { false, true }) {
        auto form = show(u"russian", landscape, false, false);
        EXPECT_TRUE(form->extended());
        expect_golden(*form, std::string("russian") + (landscape ? "_landscape" : "_portrait"));
    }
}

TEST_P(KeyboardPictures, GermanAndFrench)
{
    expect_golden(*show(u"deutch", false, false, false), "deutch_portrait");
    expect_golden(*show(u"french", false, true, false), "french_shift_portrait");
}

TEST_P(KeyboardPictures, SymbolLayerWithSettingsKeyAndAHeldKey)
{
    for (bool landscape : { false, true }) {
        auto form = show(u"english", landscape, false, true);
        // A held arrow key.
        ButtonElement* up = form->key(23);
        PressEvent touch;
        touch.point = { up->position().x + up->size().x / 2, up->position().y + up->size().y / 2 };
        touch.pressed = true;
        ASSERT_TRUE(form->stylus_state(touch));
        expect_golden(*form, std::string("symbols") + (landscape ? "_landscape" : "_portrait"));
    }
}

INSTANTIATE_TEST_SUITE_P(Density, KeyboardPictures, ::testing::Values(0, 1),
    [](const auto& info) { return info.param ? std::string("VGA") : std::string("QVGA"); });

} // namespace
