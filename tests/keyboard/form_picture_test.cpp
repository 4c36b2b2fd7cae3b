// The form's kept picture: after any change it equals the form drawn afresh on the colour key,
// drawing only the keys that changed, copying back looks it drew before, and drawing everything
// when something other than a key changed or when the form leaves holes.
#include "keyboard/FormPicture.h"
#include "keyboard/KeyboardForm.h"
#include "skin/elements/BasicElements.h"
#include "skin/drawing/Blit.h"
#include "skin/elements/ButtonElement.h"
#include "skin/drawing/Canvas.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/drawing/RenderSurface.h"
#include "tests/keyboard/KeyboardData.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::u16string kEnglish = u"@qwertyuiop/asdfghjkl'!?zxcvbnm,.";

struct Picture : DeviceRootTest {
    void SetUp() override
    {
        InstallKeyboardData(device);
        DisplayInfo display;
        display.dpi = 96;
        ASSERT_TRUE(props.load_skin(kInstallDir + u"\\skins\\bin\\default.skin", display));
        form = std::make_unique<KeyboardForm>(props, u"normal", false);
        form->set_visible(true);
        ASSERT_TRUE(form->set_layout(kEnglish, u"en", false));
    }
    // The picture against the form drawn whole on the colour key.
    void expectWhole(FormPicture& picture, const char* step)
    {
        RenderSurface whole;
        whole.recreate(form->size());
        fill(whole.canvas(), POINT { 0, 0 }, form->size(), SkinColor { 0xF8, 0x00, 0xF8, 255 });
        form->paint(whole.canvas(), POINT { 0, 0 });
        const PixelBuffer* kept = picture.picture();
        ASSERT_TRUE(kept) << step;
        for (int y = 0; y < kept->height(); ++y)
            for (int x = 0; x < kept->width(); ++x)
                if (kept->row(y)[x] != whole.buffer()->row(y)[x]) {
                    ADD_FAILURE() << step << ": first difference at (" << x << ", " << y << ")";
                    return;
                }
    }
    KeyboardElementTypes types;
    Properties props;
    std::unique_ptr<KeyboardForm> form;
};

TEST_F(Picture, OnlyChangedKeysAreDrawnAndTheirLooksAreKept)
{
    FormPicture picture(*form);
    FormPicture::Damage damage = picture.update();
    EXPECT_TRUE(damage.all);
    EXPECT_TRUE(picture.opaque());
    EXPECT_TRUE(picture.update().empty()) << "nothing changed";

    ButtonElement* q = form->key(1);
    q->set_owner_pressed(true);
    damage = picture.update();
    EXPECT_FALSE(damage.all);
    EXPECT_EQ(damage.rect.left, q->position().x);
    EXPECT_EQ(damage.rect.top, q->position().y);
    EXPECT_EQ(damage.rect.right, q->position().x + q->size().x);
    EXPECT_EQ(damage.rect.bottom, q->position().y + q->size().y);
    EXPECT_EQ(picture.key_repaints(), 1);
    expectWhole(picture, "q pressed");

    // Let go and pressed again: both looks come back from what was drawn.
    q->set_owner_pressed(false);
    picture.update();
    expectWhole(picture, "q let go");
    q->set_owner_pressed(true);
    picture.update();
    expectWhole(picture, "q pressed again");
    EXPECT_EQ(picture.key_repaints(), 2);
    EXPECT_EQ(picture.looks_reused(), 1);

    // Other characters on the keys: the looks kept show the old ones and are dropped.
    ASSERT_TRUE(form->set_layout(u"@QWERTYUIOP/ASDFGHJKL'!?ZXCVBNM,.", u"EN", false));
    damage = picture.update();
    EXPECT_FALSE(damage.all);
    expectWhole(picture, "capitals");
    q->set_owner_pressed(false);
    picture.update();
    expectWhole(picture, "Q let go");

    // Two keys far apart in one frame.
    form->set_modifier_look(u"shift", true);
    form->key(30)->set_owner_pressed(true);
    damage = picture.update();
    EXPECT_FALSE(damage.all);
    expectWhole(picture, "shift and a key");
    EXPECT_EQ(picture.whole_paints(), 1);
}

TEST_F(Picture, ChangesBesideTheKeysDrawEverything)
{
    FormPicture picture(*form);
    picture.update();
    Element* background = form->find_child(u"keyboard_background");
    ASSERT_TRUE(background);
    static_cast<ColorElement*>(background)->set_color(SkinColor { 10, 20, 30, 255 });
    EXPECT_TRUE(picture.update().all);
    expectWhole(picture, "new background colour");
    EXPECT_EQ(picture.whole_paints(), 2);
    picture.invalidate();
    EXPECT_TRUE(picture.update().all);
    EXPECT_EQ(picture.whole_paints(), 3);
}

TEST_F(Picture, AFormWithHolesIsDrawnWholeEveryTime)
{
    // Without its background the gaps between the keys show whatever lies under the form.
    form->find_child(u"keyboard_background")->set_visible(false);
    FormPicture picture(*form);
    EXPECT_TRUE(picture.update().all);
    EXPECT_FALSE(picture.opaque());
    expectWhole(picture, "holes");
    form->key(3)->set_owner_pressed(true);
    EXPECT_TRUE(picture.update().all);
    expectWhole(picture, "holes, key pressed");
    EXPECT_EQ(picture.key_repaints(), 0);
}

}
