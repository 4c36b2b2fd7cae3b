// Widgets driven as a user drives them: pointer and keys through the form, listener calls.
#include <gtest/gtest.h>

#include <simhost.h>

#include <string>
#include <vector>

#include "skin/elements/BasicElements.h"
#include "skin/elements/ButtonElement.h"
#include "skin/elements/CheckboxElement.h"
#include "skin/text/FontRep.h"
#include "skin/elements/FormElement.h"
#include "skin/elements/ProgressElement.h"
#include "skin/elements/TextElement.h"
#include "skin/elements/VListElement.h"
#include "skin/elements/WidgetListener.h"
#include "skin/file/skinio.h"

namespace {

struct Recorder : WidgetListener {
    std::vector<std::string> calls;
    bool click_result = true;
    bool on_click(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " click " + std::to_string(e.point.x) + "," + std::to_string(e.point.y));
        return click_result;
    }
    bool on_press_changed(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " press " + std::to_string(e.value));
        return true;
    }
    void on_drag(Element& w, const WidgetEvent& e) override
    {
        calls.push_back(name(w) + " drag " + std::to_string(e.delta.x) + "," + std::to_string(e.delta.y));
    }
    static std::string name(Element& w) { return std::string(w.id().begin(), w.id().end()); }
};

Element* state_child(Element& parent, const char16_t* id)
{
    auto* e = new Element(&parent);
    e->set_id(id);
    return e;
}

PressEvent press(int x, int y, bool down)
{
    PressEvent e;
    e.point = {x, y};
    e.pressed = down;
    return e;
}

struct ButtonForm : ::testing::Test {
    FormElement form;
    ButtonElement* button = nullptr;
    Recorder recorder;
    void SetUp() override
    {
        form.set_visible(true);
        button = new ButtonElement(&form);
        button->set_id(u"ok");
        button->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::MIN_SIDE);
        button->set_borders({10, 10}, {40, 20}, {0, 0});
        button->set_listener(&recorder);
        form.set_x(0, 100);
        form.set_y(0, 100);
    }
    void with_states(bool pressed, bool disabled)
    {
        state_child(*button, u"#normal");
        if (pressed)
            state_child(*button, u"#pressed");
        if (disabled)
            state_child(*button, u"#disabled");
        button->bind_state_children();
    }
};

TEST_F(ButtonForm, OnlyNormalStaysShownAndStillClicks)
{
    with_states(false, false);
    EXPECT_TRUE(form.pointer_press(press(20, 15, true)));
    EXPECT_EQ(button->shown_child()->id(), u"#normal");
    EXPECT_TRUE(button->shown_child()->own_visible());
    form.pointer_press(press(21, 16, false));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"ok press 0", "ok drag 0,0", "ok press 0", "ok click 21,16"}));
}

TEST_F(ButtonForm, DragReportsDeltasAndReleaseOutsideDoesNotClick)
{
    with_states(true, false);
    form.pointer_press(press(20, 15, true));
    EXPECT_EQ(button->shown_child()->id(), u"#pressed");
    EXPECT_FALSE(button->find_child(u"#normal")->own_visible());
    form.pointer_move({25, 13});
    form.pointer_move({90, 90}); // still the holder though outside
    form.pointer_press(press(90, 90, false));
    EXPECT_EQ(button->shown_child()->id(), u"#normal");
    EXPECT_EQ(recorder.calls,
        (std::vector<std::string>{"ok press 0", "ok drag 0,0", "ok drag 5,-2", "ok drag 65,77", "ok press 0"}));
    EXPECT_FALSE(form.has_holders());
}

TEST_F(ButtonForm, DisabledButtonIsSkippedByTheFormAndCancelsWhenDrivenDirectly)
{
    with_states(true, true);
    button->set_enabled(false);
    EXPECT_EQ(button->shown_child()->id(), u"#disabled");
    EXPECT_FALSE(form.pointer_press(press(20, 15, true)));
    EXPECT_TRUE(recorder.calls.empty());
    button->pointer_press(press(20, 15, true));
    button->pointer_press(press(20, 15, false));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"ok press 1", "ok drag 0,0", "ok press 1"}));
    EXPECT_EQ(button->shown_child()->id(), u"#disabled");
}

TEST_F(ButtonForm, BoundKeyPressesAndClicksAtTheCentre)
{
    with_states(true, false);
    button->set_bound_key(KeyCode::Enter);
    EXPECT_FALSE(form.key_event(static_cast<int>(KeyCode::Space), true));
    EXPECT_TRUE(form.key_event(static_cast<int>(KeyCode::Enter), true));
    EXPECT_EQ(button->shown_child()->id(), u"#pressed");
    EXPECT_TRUE(form.key_event(static_cast<int>(KeyCode::Enter), false));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"ok press 0", "ok press 0", "ok click 30,20"}));
}

TEST_F(ButtonForm, PressedSourcesCombine)
{
    with_states(true, false);
    button->set_bound_key(KeyCode::A);
    form.pointer_press(press(20, 15, true));
    form.key_event(static_cast<int>(KeyCode::A), true);
    form.pointer_press(press(20, 15, false)); // the key still holds it: no click yet
    EXPECT_TRUE(button->is_pressed());
    form.key_event(static_cast<int>(KeyCode::A), false);
    EXPECT_FALSE(button->is_pressed());
    EXPECT_EQ(recorder.calls.back(), "ok click 30,20");
}

TEST_F(ButtonForm, HidingTheFormCancelsTheHolder)
{
    with_states(true, false);
    form.pointer_press(press(20, 15, true));
    form.set_visible(false);
    EXPECT_FALSE(button->is_pressed());
    EXPECT_EQ(recorder.calls.back(), "ok press 1");
    EXPECT_FALSE(form.has_holders());
}

TEST_F(ButtonForm, AHolderHiddenOrDisabledWhilePressedGetsACancelledRelease)
{
    with_states(true, true);
    form.pointer_press(press(20, 15, true));
    button->set_visible(false);
    EXPECT_FALSE(form.pointer_press(press(20, 15, false)));
    EXPECT_FALSE(button->is_pressed());
    EXPECT_EQ(button->shown_child()->id(), u"#normal");
    EXPECT_EQ(recorder.calls.back(), "ok press 1") << "cancelled: no click";

    // Disabled while pressed, then the stylus moves: the move ends the hold at once.
    button->set_visible(true);
    recorder.calls.clear();
    form.pointer_press(press(20, 15, true));
    button->set_enabled(false);
    form.pointer_move({21, 15});
    EXPECT_FALSE(button->is_pressed());
    EXPECT_FALSE(form.has_holders());
    EXPECT_EQ(button->shown_child()->id(), u"#disabled");
    form.pointer_press(press(21, 15, false));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"ok press 0", "ok drag 0,0", "ok press 1"}));

    // A parent hidden while its child is held counts as well.
    button->set_enabled(true);
    auto* panel = new Element(&form);
    panel->set_id(u"panel");
    auto* inner = new ButtonElement(panel);
    inner->set_id(u"inner");
    inner->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::MIN_SIDE);
    inner->set_borders({50, 50}, {20, 20}, {0, 0});
    inner->set_listener(&recorder);
    state_child(*inner, u"#normal");
    state_child(*inner, u"#pressed");
    inner->bind_state_children();
    form.set_x(0, 100);
    form.set_y(0, 100);
    recorder.calls.clear();
    form.pointer_press(press(55, 55, true));
    ASSERT_TRUE(inner->is_pressed());
    panel->set_visible(false);
    form.pointer_press(press(55, 55, false));
    EXPECT_FALSE(inner->is_pressed());
    EXPECT_EQ(recorder.calls.back(), "inner press 1");
}

TEST_F(ButtonForm, ADestroyedHolderIsForgotten)
{
    with_states(false, false);
    form.pointer_press(press(20, 15, true));
    delete button;
    form.pointer_move({30, 30});
    EXPECT_FALSE(form.pointer_press(press(20, 15, false)));
    EXPECT_TRUE(form.key_list().empty());
}

struct CheckboxForm : ::testing::Test {
    FormElement form;
    CheckboxElement* box = nullptr;
    std::vector<ButtonElement*> states;
    void build(int n)
    {
        form.set_visible(true);
        box = new CheckboxElement(&form);
        box->set_id(u"box");
        for (int i = 0; i < n; ++i) {
            auto* b = new ButtonElement(box);
            std::string id = "#state_" + std::to_string(i);
            b->set_id(std::u16string(id.begin(), id.end()));
            states.push_back(b);
        }
        box->bind_states(n);
        form.set_x(0, 50);
        form.set_y(0, 50);
    }
    void click()
    {
        form.pointer_press(press(5, 5, true));
        form.pointer_press(press(5, 5, false));
    }
};

TEST_F(CheckboxForm, ThreeStatesCycleWithoutAListener)
{
    build(3);
    EXPECT_TRUE(states[0]->is_visible());
    EXPECT_FALSE(states[1]->is_visible());
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        click();
        seen.push_back(box->state());
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(states[k]->is_visible(), k == box->state());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1}));
}

TEST_F(CheckboxForm, AListenerDecidesTheClickAndHearsStateChanges)
{
    build(2);
    Recorder recorder;
    box->set_listener(&recorder);
    click();
    EXPECT_EQ(box->state(), 0);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"box click 5,5"}));
    box->set_state(1, true);
    box->set_state(1, true);
    box->set_state(7, true);
    EXPECT_EQ(recorder.calls.back(), "box press 1");
    EXPECT_EQ(recorder.calls.size(), 2u);
}

TEST_F(CheckboxForm, SetTextReachesEveryTextBelowTheBox)
{
    form.set_visible(true);
    box = new CheckboxElement(&form);
    std::vector<OldTextElement*> texts;
    for (int i = 0; i < 2; ++i) {
        auto* b = new ButtonElement(box);
        b->set_id(i == 0 ? u"#state_0" : u"#state_1");
        texts.push_back(new OldTextElement(b));
    }
    texts.push_back(new OldTextElement(box)); // a label beside the box
    for (OldTextElement* t : texts)
        t->set_id(u"#text");
    box->bind_states(2);
    box->set_text(u"Sound");
    for (OldTextElement* t : texts)
        EXPECT_EQ(t->text(), u"Sound");
    box->set_state(1, false);
    EXPECT_EQ(texts[1]->text(), u"Sound");
}

TEST_F(CheckboxForm, AMissingStateChildThrows)
{
    form.set_visible(true);
    box = new CheckboxElement(&form);
    box->set_id(u"box");
    state_child(*box, u"#state_0");
    try {
        box->bind_states(2);
        FAIL();
    } catch (const skinio::NodeNotFound& e) {
        EXPECT_EQ(e.parent_id, u"box");
        EXPECT_EQ(e.id, u"#state_1");
    }
}

TEST(Progress, LineFollowsTheValue)
{
    Element root(nullptr);
    auto* bar = new ProgressElement(&root);
    Element* line = state_child(*bar, u"#line");
    line->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::BOTH_SIDE);
    Element* frame = new Element(bar);
    bar->bind_line();
    bar->set_value(0.5);
    root.set_x(0, 100);
    root.set_y(0, 10);
    EXPECT_EQ(line->size().x, 50);
    EXPECT_EQ(frame->size().x, 100);
    bar->set_value(0.004);
    root.set_x(0, 100);
    EXPECT_EQ(line->size().x, 0);
    bar->set_value(7.0);
    root.set_x(0, 100);
    EXPECT_EQ(line->size().x, 100);
}

TEST(Text, DecorationsShareANarrowBox)
{
    Element root(nullptr);
    auto* text = new TextElement(&root);
    Element* left = state_child(*text, u"#left");
    left->set_borders({0, 0}, {20, 8}, {0, 0});
    Element* right = state_child(*text, u"#right");
    right->set_borders({0, 0}, {30, 8}, {0, 0});
    text->bind_decorations();
    root.set_x(0, 25);
    root.set_y(0, 20);
    EXPECT_EQ(left->size().x, 10);
    EXPECT_EQ(right->size().x, 15);
    EXPECT_EQ(right->position().x, 10);
    EXPECT_EQ(left->size().y, 8);
    root.set_x(0, 100);
    EXPECT_EQ(left->size().x, 20);
    EXPECT_EQ(right->position().x, 70);
}

TEST(Image, GrowNeverMeasuresBelowThePicture)
{
    Element root(nullptr);
    auto* image = new ImageElement(&root);
    PictureRef picture;
    picture.p3 = {40, 20};
    image->set_picture(picture, -1, true);
    image->set_borders({0, 0}, {10, 50}, {0, 0});
    EXPECT_EQ(image->desired_x().preferred, 40);
    EXPECT_EQ(image->desired_x().minimum, 40);
    EXPECT_EQ(image->desired_y().preferred, 50);
    EXPECT_EQ(image->desired_y().minimum, 50);
    image->set_picture(picture, -1, false);
    EXPECT_EQ(image->desired_x().preferred, 10);
}

struct ListForm : ::testing::Test {
    FormElement form;
    VListElement* list = nullptr;
    Recorder recorder;
    void SetUp() override
    {
        SimUseVirtualClock(1000);
        form.set_visible(true);
        list = new VListElement(&form);
        list->set_id(u"list");
        list->set_listener(&recorder);
        for (int i = 0; i < 10; ++i) {
            auto* item = new Element(list);
            item->set_borders({0, 0}, {0, 20}, {0, 0});
            state_child(*item, u"#vlist_normal");
            state_child(*item, u"#vlist_pressed");
            state_child(*item, u"#vlist_selected");
        }
        list->set_selected(-1);
        form.set_x(0, 100);
        form.set_y(0, 100);
    }
    void TearDown() override { SimUseRealClock(); }
    Element* look(int item, const char16_t* id) { return list->item(item)->find_child(id); }
};

TEST_F(ListForm, TapSelectsAndReportsTheItem)
{
    form.pointer_press(press(50, 45, true));
    EXPECT_EQ(list->pressed_item(), 2);
    EXPECT_TRUE(look(2, u"#vlist_pressed")->own_visible());
    SimAdvanceTicks(80);
    form.pointer_press(press(51, 46, false));
    EXPECT_EQ(list->selected(), 2);
    EXPECT_TRUE(look(2, u"#vlist_selected")->own_visible());
    EXPECT_FALSE(look(2, u"#vlist_pressed")->own_visible());
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"list press 2"}));
}

TEST_F(ListForm, DragScrollsWithoutSelectingAndResistsPastTheEnd)
{
    form.pointer_press(press(50, 80, true));
    for (int y = 70; y >= 20; y -= 10) {
        SimAdvanceTicks(20);
        form.pointer_move({50, y});
    }
    EXPECT_TRUE(list->dragging());
    EXPECT_EQ(list->pressed_item(), -1);
    EXPECT_DOUBLE_EQ(list->scroll(), -60.0);
    EXPECT_EQ(list->item(3)->position().y, 0);
    // Content is 200 high in a 100 list: the end is at -100. Pulling further is damped.
    for (int y = 10; y >= -150; y -= 10) {
        SimAdvanceTicks(20);
        form.pointer_move({50, y});
    }
    EXPECT_LT(list->scroll(), -100.0);
    EXPECT_GT(list->scroll(), -150.0);
    SimAdvanceTicks(300); // a pause before the release: no flick
    form.pointer_press(press(50, -150, false));
    EXPECT_TRUE(recorder.calls.empty());
    for (int i = 0; i < 40; ++i)
        list->animate(0.04);
    EXPECT_DOUBLE_EQ(list->scroll(), -100.0);
    EXPECT_FALSE(list->moving());
}

TEST_F(ListForm, AFlickCoastsAndStops)
{
    form.pointer_press(press(50, 90, true));
    for (int y = 80; y >= 40; y -= 10) {
        SimAdvanceTicks(10);
        form.pointer_move({50, y});
    }
    form.pointer_press(press(50, 40, false));
    double released_at = list->scroll();
    EXPECT_LT(list->velocity(), -500.0);
    list->animate(0.04);
    EXPECT_LT(list->scroll(), released_at);
    for (int i = 0; i < 200 && list->moving(); ++i)
        list->animate(0.04);
    EXPECT_FALSE(list->moving());
    EXPECT_GE(list->scroll(), -100.0);
    EXPECT_LE(list->scroll(), 0.0);
}

TEST_F(ListForm, APressOnACoastingListStopsItWithoutChoosing)
{
    form.pointer_press(press(50, 90, true));
    for (int y = 80; y >= 40; y -= 10) {
        SimAdvanceTicks(10);
        form.pointer_move({50, y});
    }
    form.pointer_press(press(50, 40, false));
    list->animate(0.04);
    ASSERT_TRUE(list->moving());
    form.pointer_press(press(50, 50, true));
    EXPECT_EQ(list->pressed_item(), -1);
    SimAdvanceTicks(80);
    form.pointer_press(press(50, 50, false));
    double stopped = list->scroll();
    list->animate(0.04);
    EXPECT_DOUBLE_EQ(list->scroll(), stopped);
    EXPECT_TRUE(recorder.calls.empty());
    // The list is still now: the next tap chooses.
    form.pointer_press(press(50, 50, true));
    SimAdvanceTicks(80);
    form.pointer_press(press(50, 50, false));
    EXPECT_EQ(recorder.calls.size(), 1u);
}

TEST(List, ATapOpensAndClosesAnItemsSubListAndChoosesFromIt)
{
    FormElement form;
    form.set_visible(true);
    auto* list = new VListElement(&form);
    list->set_id(u"outer");
    Recorder recorder;
    list->set_listener(&recorder);
    // Item 0: a header row with a list of two sub-items below it; item 1: a plain row.
    auto* group = new VTableElement(list);
    auto* header = new Element(group);
    header->set_borders({0, 0}, {0, 20}, {0, 0});
    auto* sub = new VListElement(group);
    sub->set_id(u"sub");
    sub->set_listener(&recorder);
    sub->set_borders({0, 0}, {0, 40}, {0, 0});
    for (int i = 0; i < 2; ++i)
        (new Element(sub))->set_borders({0, 0}, {0, 20}, {0, 0});
    (new Element(list))->set_borders({0, 0}, {0, 20}, {0, 0});
    auto relayout = [&] {
        form.set_x(0, 100);
        form.set_y(0, 100);
    };
    auto tap = [&](int y) {
        relayout();
        form.pointer_press(press(50, y, true));
        form.pointer_press(press(50, y, false));
        relayout();
    };
    relayout();
    EXPECT_EQ(list->item(1)->position().y, 60);

    tap(25); // inside the open sub-list: its first item
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"sub press 0"}));
    tap(5); // the header closes the group
    EXPECT_FALSE(sub->is_visible());
    EXPECT_EQ(list->item(1)->position().y, 20);
    tap(5); // and opens it again
    EXPECT_TRUE(sub->is_visible());
    EXPECT_EQ(list->item(1)->position().y, 60);
    tap(65); // a plain item is chosen from the outer list
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"sub press 0", "outer press 1"}));
}

TEST_F(ListForm, LockedListDoesNotScroll)
{
    list->set_locked(true);
    form.pointer_press(press(50, 80, true));
    form.pointer_move({50, 20});
    EXPECT_DOUBLE_EQ(list->scroll(), 0.0);
}

TEST(Edit, TypingMovesTheCaretAndNotifies)
{
    FormElement form;
    form.set_visible(true);
    auto* edit = new EditElement(&form);
    edit->set_id(u"e");
    edit->set_style(SkinColor{}, HAlign::LEFT, VAlign::TOP, true);
    int notified = 0;
    edit->set_change_observer([&](EditElement&) { ++notified; });
    form.set_x(0, 100);
    form.set_y(0, 40);
    EXPECT_FALSE(form.char_input(u"x")); // not focused yet
    form.pointer_press(press(5, 5, true));
    form.pointer_press(press(5, 5, false));
    EXPECT_TRUE(edit->focused());
    form.char_input(u"ac");
    form.key_event(static_cast<int>(KeyCode::Left), true);
    form.char_input(u"b");
    EXPECT_EQ(edit->text(), u"abc");
    EXPECT_EQ(edit->caret(), 2);
    form.key_event(static_cast<int>(KeyCode::Backspace), true);
    EXPECT_EQ(edit->text(), u"ac");
    form.key_event(static_cast<int>(KeyCode::Enter), true);
    EXPECT_EQ(edit->text(), u"a\nc");
    EXPECT_EQ(notified, 4);
    form.set_text_by_id(u"e", u"new");
    EXPECT_EQ(notified, 5);
    EXPECT_EQ(edit->caret(), 3);
    form.key_event(static_cast<int>(KeyCode::Right), true);
    EXPECT_EQ(edit->caret(), 3);
}

TEST(Edit, TheCaretStaysInViewWhileTyping)
{
    FormElement form;
    form.set_visible(true);
    auto* edit = new EditElement(&form);
    edit->set_font(std::make_shared<FontRep>(FontDesc {}));
    edit->set_style(SkinColor {}, HAlign::LEFT, VAlign::TOP, false);
    form.set_x(0, 60);
    form.set_y(0, 30);
    form.pointer_press(press(5, 5, true));
    form.pointer_press(press(5, 5, false));
    auto in_view = [&] {
        POINT c = edit->caret_point();
        return c.x >= 0 && c.x + 1 <= 60 && c.y >= 0 && c.y + edit->line_height() <= 30;
    };
    for (char16_t c : std::u16string(u"a line far wider than the box"))
        form.char_input(std::u16string(1, c));
    EXPECT_LT(edit->scroll().x, 0);
    EXPECT_TRUE(in_view());
    // Deleting at the end keeps the end of the text at the right edge, not beyond it.
    int before = edit->caret_point().x;
    form.key_event(static_cast<int>(KeyCode::Backspace), true);
    EXPECT_TRUE(in_view());
    EXPECT_EQ(edit->caret_point().x, before);
    for (int i = 0; i < 40; ++i)
        form.key_event(static_cast<int>(KeyCode::Left), true);
    EXPECT_EQ(edit->caret(), 0);
    EXPECT_EQ(edit->scroll().x, 0);

    // Wrapped: new lines below the box scroll it up.
    edit->set_style(SkinColor {}, HAlign::LEFT, VAlign::TOP, true);
    edit->set_text_by_id(edit->id(), u"");
    for (int i = 0; i < 5; ++i)
        form.key_event(static_cast<int>(KeyCode::Enter), true);
    form.char_input(u"x");
    EXPECT_GT(edit->scroll().y, 0);
    EXPECT_TRUE(in_view());
    form.key_event(static_cast<int>(KeyCode::Up), true);
    form.key_event(static_cast<int>(KeyCode::Up), true);
    form.key_event(static_cast<int>(KeyCode::Up), true);
    EXPECT_TRUE(in_view());
}

TEST(Edit, ACharacterOutsideTheBasicPlaneIsNeverSplit)
{
    FormElement form;
    form.set_visible(true);
    auto* edit = new EditElement(&form);
    form.set_x(0, 100);
    form.set_y(0, 20);
    form.pointer_press(press(5, 5, true));
    form.pointer_press(press(5, 5, false));
    form.char_input(u"a\U0001F600b");
    ASSERT_EQ(edit->caret(), 4);
    form.key_event(static_cast<int>(KeyCode::Left), true);
    form.key_event(static_cast<int>(KeyCode::Left), true);
    EXPECT_EQ(edit->caret(), 1);
    form.key_event(static_cast<int>(KeyCode::Right), true);
    EXPECT_EQ(edit->caret(), 3);
    form.key_event(static_cast<int>(KeyCode::Backspace), true);
    EXPECT_EQ(edit->text(), u"ab");
    EXPECT_EQ(edit->caret(), 1);
}

} // namespace
