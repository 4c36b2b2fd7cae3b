// The element tree built by hand: two-pass layout, flags and their propagation, lookups.
#include <gtest/gtest.h>

#include "skin/elements/Element.h"
#include "skin/file/skinio.h"

namespace {

Element* child(Element& parent, AnchorMode mode, POINT m1, POINT design, POINT m2, const char16_t* id = u"")
{
    auto* e = new Element(&parent);
    e->set_id(id);
    e->set_anchors(mode, mode);
    e->set_borders(m1, design, m2);
    return e;
}

struct CountingObserver : GeometryObserver {
    int calls = 0;
    void geometry_changed(Element&, int) override { ++calls; }
};

TEST(ElementLayout, AnchorsPlaceChildrenInTheParent)
{
    Element root(nullptr);
    Element* min_side = child(root, AnchorMode::MIN_SIDE, {5, 5}, {40, 40}, {0, 0});
    Element* max_side = child(root, AnchorMode::MAX_SIDE, {0, 0}, {10, 10}, {5, 5});
    Element* center = child(root, AnchorMode::CENTER, {0, 0}, {10, 10}, {0, 0});
    Element* both = child(root, AnchorMode::BOTH_SIDE, {2, 2}, {99, 1}, {3, 3});
    root.set_x(100, 30);
    root.set_y(200, 31);
    EXPECT_EQ(min_side->position().x, 105);
    EXPECT_EQ(min_side->size().x, 25);
    EXPECT_EQ(max_side->position().x, 115);
    EXPECT_EQ(max_side->size().x, 10);
    EXPECT_EQ(center->position().y, 210);
    EXPECT_EQ(center->size().y, 10);
    EXPECT_EQ(both->position().x, 102);
    EXPECT_EQ(both->size().x, 25);
    EXPECT_EQ(both->size().y, 26);
}

TEST(ElementLayout, NoSizeChildrenOverflowAndDoNotGrowTheParent)
{
    Element root(nullptr);
    Element* big = child(root, AnchorMode::MIN_SIDE_NO_SIZE, {3, 3}, {50, 50}, {0, 0});
    EXPECT_EQ(root.desired_x().preferred, 0);
    root.set_x(0, 30);
    EXPECT_EQ(big->position().x, 3);
    EXPECT_EQ(big->size().x, 50);
}

TEST(ElementLayout, MeasureTakesTheLargestNeedAndKeepsShrinkRoom)
{
    Element root(nullptr);
    root.set_borders({0, 0}, {20, 20}, {0, 0});
    Element* table = new HTableElement(&root);
    table->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::MIN_SIDE);
    table->set_borders({4, 0}, {0, 0}, {0, 0});
    child(*table, AnchorMode::BOTH_SIDE, {0, 0}, {30, 10}, {0, 0});
    Element* shrinkable = new Element(table);
    shrinkable->set_anchors(AnchorMode::MIN_SIDE, AnchorMode::MIN_SIDE);
    // A table inside with a design size only raises its preference.
    Element* inner = new HTableElement(shrinkable);
    inner->set_borders({0, 0}, {25, 0}, {0, 0});
    Measure m = root.desired_x();
    EXPECT_EQ(m.preferred, 4 + 30 + 25);
    EXPECT_EQ(m.minimum, 4 + 30);
}

TEST(ElementLayout, HTableSharesItsLengthAndSkipsHiddenChildren)
{
    Element root(nullptr);
    auto* table = new HTableElement(&root);
    Element* a = new Element(table);
    Element* hidden = child(*table, AnchorMode::BOTH_SIDE, {0, 0}, {500, 5}, {0, 0});
    Element* b = child(*table, AnchorMode::BOTH_SIDE, {0, 0}, {30, 5}, {0, 0});
    // a: minimum 20, preference 40, through a nested shrinkable table.
    auto* inner = new HTableElement(a);
    inner->set_borders({0, 0}, {40, 0}, {0, 0});
    child(*inner, AnchorMode::BOTH_SIDE, {0, 0}, {20, 0}, {0, 0});
    hidden->set_visible(false);
    EXPECT_EQ(table->desired_x().preferred, 70);
    EXPECT_EQ(table->desired_x().minimum, 50);

    root.set_x(10, 100);
    EXPECT_EQ(a->position().x, 10);
    EXPECT_EQ(a->size().x, 40);
    EXPECT_EQ(b->position().x, 50);
    EXPECT_EQ(b->size().x, 30);

    a->set_table_ratio(1);
    root.set_x(10, 100);
    EXPECT_EQ(a->size().x, 70);
    EXPECT_EQ(b->position().x, 80);

    root.set_x(10, 40);
    EXPECT_EQ(a->size().x, 16);
    EXPECT_EQ(b->position().x, 26);
    EXPECT_EQ(b->size().x, 24);
}

// A widget whose measure is inconsistent, as a skin with absurd values can make one.
struct Contrary : Element {
    using Element::Element;
    void measure_x(Measure& m) override
    {
        m.preferred = 5;
        m.minimum = 60;
    }
};

TEST(ElementLayout, ATableChildPreferringLessThanItsMinimumKeepsItsMinimum)
{
    Element root(nullptr);
    auto* table = new HTableElement(&root);
    Element* contrary = new Contrary(table);
    Element* other = child(*table, AnchorMode::BOTH_SIDE, {0, 0}, {30, 5}, {0, 0});
    auto* inner = new HTableElement(other);
    inner->set_borders({0, 0}, {50, 0}, {0, 0});
    root.set_x(0, 100);
    EXPECT_EQ(contrary->size().x, 60);
    EXPECT_EQ(other->position().x, 60);
    EXPECT_EQ(other->size().x, 40) << "the rest goes to the child that can grow";
    root.set_x(0, 30);
    EXPECT_EQ(contrary->size().x, 20);
    EXPECT_EQ(other->size().x, 10);
}

TEST(ElementLayout, VTableMarginsBeyondItsLengthCollapseChildren)
{
    Element root(nullptr);
    auto* table = new VTableElement(&root);
    Element* a = child(*table, AnchorMode::BOTH_SIDE, {0, 30}, {10, 10}, {0, 30});
    Element* b = child(*table, AnchorMode::BOTH_SIDE, {0, 0}, {10, 10}, {0, 0});
    root.set_x(0, 50);
    root.set_y(7, 50);
    EXPECT_EQ(a->size().y, 0);
    EXPECT_EQ(b->size().y, 0);
    EXPECT_EQ(a->position().y, 7);
    EXPECT_EQ(b->position().y, 7);
}

TEST(ElementLayout, SetXAfterSetYWithSameValuesDoesNothing)
{
    Element root(nullptr);
    CountingObserver observer;
    root.set_geometry_observer(&observer);
    root.set_x(0, 10);
    root.set_y(0, 10);
    EXPECT_EQ(observer.calls, 2);
    root.set_x(0, 10);
    EXPECT_EQ(observer.calls, 2);
    root.set_x(0, 11);
    EXPECT_EQ(observer.calls, 3);
    // A change in the tree asks for a new layout even at the same geometry.
    new Element(&root);
    root.set_x(0, 11);
    EXPECT_EQ(observer.calls, 4);
}

TEST(ElementFlags, VisibilityAndEnabledPropagateAndInvalidateUpwards)
{
    Element root(nullptr);
    EXPECT_FALSE(root.is_visible());
    root.set_visible(true);
    Element* mid = new Element(&root);
    Element* leaf = new Element(mid);
    EXPECT_TRUE(leaf->is_visible());
    root.set_x(0, 10);
    root.set_y(0, 10);
    EXPECT_FALSE(root.needs_layout());

    mid->set_visible(false);
    EXPECT_FALSE(leaf->is_visible());
    EXPECT_TRUE(leaf->own_visible());
    EXPECT_TRUE(root.needs_layout());
    mid->set_visible(true);
    EXPECT_TRUE(leaf->is_visible());

    mid->set_enabled(false);
    EXPECT_FALSE(leaf->is_enabled());
    leaf->set_enabled(false);
    mid->set_enabled(true);
    EXPECT_FALSE(leaf->is_enabled());
    leaf->set_enabled(true);
    EXPECT_TRUE(leaf->is_enabled());
    EXPECT_TRUE(root.needs_redraw());
}

TEST(ElementTree, FindChildPrefersDirectChildrenAndRequireThrows)
{
    Element root(nullptr);
    root.set_id(u"root");
    Element* first = new Element(&root);
    Element* deep = new Element(first);
    deep->set_id(u"x");
    Element* direct = new Element(&root);
    direct->set_id(u"x");
    EXPECT_EQ(root.find_child(u"x"), direct);
    EXPECT_EQ(first->find_child(u"x"), deep);
    EXPECT_EQ(root.find_child(u"y"), nullptr);
    try {
        root.require_child(u"#missing");
        FAIL();
    } catch (const skinio::NodeNotFound& e) {
        EXPECT_EQ(e.parent_id, u"root");
        EXPECT_EQ(e.id, u"#missing");
    }
    delete first;
    EXPECT_EQ(root.children().size(), 1u);
    EXPECT_EQ(root.find_child(u"x"), direct);
}

} // namespace
