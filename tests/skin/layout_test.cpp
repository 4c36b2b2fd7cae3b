// Anchor arithmetic and table allocation, element by element as the skin describes them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "skin/elements/Layout.h"

namespace {

struct Placed {
    int offset;
    int size;
};

Placed place(AnchorMode mode, int m1, int wanted, int m2, int parent)
{
    int s = anchor::size(mode, m1, wanted, m2, parent);
    return {anchor::offset(mode, m1, s, m2, parent), s};
}

TEST(Anchor, PlacesByMode)
{
    Placed p = place(AnchorMode::MIN_SIDE, 5, 40, 0, 30);
    EXPECT_EQ(p.size, 25);
    EXPECT_EQ(p.offset, 5);

    p = place(AnchorMode::MAX_SIDE, 0, 10, 5, 30);
    EXPECT_EQ(p.size, 10);
    EXPECT_EQ(p.offset, 15);

    p = place(AnchorMode::CENTER, 0, 10, 0, 31);
    EXPECT_EQ(p.size, 10);
    EXPECT_EQ(p.offset, 10);

    for (int wanted : {0, 7, 100}) {
        p = place(AnchorMode::BOTH_SIDE, 2, wanted, 3, 20);
        EXPECT_EQ(p.size, 15);
        EXPECT_EQ(p.offset, 2);
    }

    p = place(AnchorMode::MIN_SIDE_NO_SIZE, 4, 50, 0, 30);
    EXPECT_EQ(p.size, 50);
    EXPECT_EQ(p.offset, 4);
    EXPECT_EQ(anchor::need(AnchorMode::MIN_SIDE_NO_SIZE, 4, 50, 0), 0);
}

TEST(Anchor, ClampsSizeButLetsOffsetsOverflow)
{
    // A parent smaller than the margins gives size 0, never negative.
    EXPECT_EQ(anchor::size(AnchorMode::BOTH_SIDE, 10, 5, 10, 15), 0);
    EXPECT_EQ(anchor::size(AnchorMode::MIN_SIDE, 20, 5, 0, 15), 0);
    // MAX_SIDE offsets stop at 0; a child wider than a centred slot starts at m1.
    EXPECT_EQ(anchor::offset(AnchorMode::MAX_SIDE, 0, 40, 5, 30), 0);
    EXPECT_EQ(anchor::offset(AnchorMode::CENTER, 3, 40, 3, 30), 3);
    EXPECT_EQ(anchor::offset(AnchorMode::MAX_SIDE_NO_SIZE, 0, 10, 2, 30), 18);
    // Need and fixed margins per mode.
    EXPECT_EQ(anchor::need(AnchorMode::MIN_SIDE, 1, 10, 2), 11);
    EXPECT_EQ(anchor::need(AnchorMode::MAX_SIDE, 1, 10, 2), 12);
    EXPECT_EQ(anchor::need(AnchorMode::RATIO, 1, 10, 2), 13);
    EXPECT_EQ(anchor::margins(AnchorMode::MIN_SIDE_NO_SIZE, 1, 2), 1);
    EXPECT_EQ(anchor::margins(AnchorMode::MAX_SIDE_NO_SIZE, 1, 2), 2);
    EXPECT_EQ(anchor::margins(AnchorMode::CENTER, 1, 2), 3);
}

TEST(Anchor, ParsesOnlyExactNames)
{
    EXPECT_EQ(anchor_mode_from_name(u"MAX_SIDE_NO_SIZE"), AnchorMode::MAX_SIDE_NO_SIZE);
    EXPECT_EQ(anchor_mode_from_name(u"CENTER"), AnchorMode::CENTER);
    EXPECT_FALSE(anchor_mode_from_name(u"center"));
    EXPECT_FALSE(anchor_mode_from_name(u"MIN_SIDE "));
    EXPECT_FALSE(anchor_mode_from_name(u"MIN"));
    EXPECT_FALSE(anchor_mode_from_name(u""));
}

std::vector<TableCell> two_cells()
{
    TableCell a;
    a.minimum = 20;
    a.preferred = 40;
    TableCell b;
    b.minimum = 30;
    b.preferred = 30;
    return {a, b};
}

TEST(Table, RoomForEveryPreference)
{
    auto cells = two_cells();
    auto slots = table_arrange(cells, 100);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].offset, 0);
    EXPECT_EQ(slots[0].size, 40);
    EXPECT_EQ(slots[1].offset, 40);
    EXPECT_EQ(slots[1].size, 30);

    // The extra 30 goes to the only ratio cell.
    cells[0].ratio = 1;
    slots = table_arrange(cells, 100);
    EXPECT_EQ(slots[0].size, 70);
    EXPECT_EQ(slots[1].offset, 70);
    EXPECT_EQ(slots[1].size, 30);

    // Ratios 2 and 1 share the extra 2:1 and the table stays filled, not overfilled.
    cells[0].ratio = 2;
    cells[1].ratio = 1;
    slots = table_arrange(cells, 100);
    EXPECT_EQ(slots[0].size, 60);
    EXPECT_EQ(slots[1].offset, 60);
    EXPECT_EQ(slots[1].size, 40);
}

TEST(Table, ShrinksInProportionToMinima)
{
    auto slots = table_arrange(two_cells(), 40);
    EXPECT_EQ(slots[0].offset, 0);
    EXPECT_EQ(slots[0].size, 16);
    EXPECT_EQ(slots[1].offset, 16);
    EXPECT_EQ(slots[1].size, 24);
}

TEST(Table, MarginsLargerThanTheTableGiveZeroSizes)
{
    auto cells = two_cells();
    cells[0].m1 = 30;
    cells[1].m2 = 30;
    for (const auto& s : table_arrange(cells, 50)) {
        EXPECT_EQ(s.offset, 0);
        EXPECT_EQ(s.size, 0);
    }
}

TEST(Table, GrowthRoundsHandBackWhatACellCannotTake)
{
    // Room 70 over minima 30: budget 40 split over three growing cells; the first wants only
    // 2 more, so its surplus goes to the others in the next round.
    std::vector<TableCell> cells(3);
    cells[0].minimum = 10, cells[0].preferred = 12;
    cells[1].minimum = 10, cells[1].preferred = 60;
    cells[2].minimum = 10, cells[2].preferred = 60;
    auto slots = table_arrange(cells, 70);
    EXPECT_EQ(slots[0].size, 12);
    // Round one deals 13, 13, 14; the first cell hands back 11, dealt 5 and 6.
    EXPECT_EQ(slots[1].size, 28);
    EXPECT_EQ(slots[2].size, 30);
    EXPECT_EQ(slots[2].offset, 40);
    int total = 0;
    for (const auto& s : slots)
        total += s.size;
    EXPECT_EQ(total, 70);
}

TEST(Table, MarginsAndAnchorsInsideSlots)
{
    // A MAX_SIDE cell sits at the end of its slot; margins are part of the slot.
    std::vector<TableCell> cells(2);
    cells[0].mode = AnchorMode::MIN_SIDE;
    cells[0].m1 = 4;
    cells[0].minimum = cells[0].preferred = 10;
    cells[1].mode = AnchorMode::MAX_SIDE;
    cells[1].m2 = 6;
    cells[1].minimum = cells[1].preferred = 10;
    auto slots = table_arrange(cells, 30);
    EXPECT_EQ(slots[0].offset, 4);
    EXPECT_EQ(slots[0].size, 10);
    EXPECT_EQ(slots[1].offset, 14);
    EXPECT_EQ(slots[1].size, 10);
}

TEST(Table, MeasureCountsMarginsButDesignRaisesOnlyPreference)
{
    auto cells = two_cells();
    cells[0].mode = AnchorMode::BOTH_SIDE;
    cells[0].m1 = 3;
    cells[0].m2 = 2;
    TableMeasure m = table_measure(cells, 0);
    EXPECT_EQ(m.preferred, 75);
    EXPECT_EQ(m.minimum, 55);
    m = table_measure(cells, 200);
    EXPECT_EQ(m.preferred, 200);
    EXPECT_EQ(m.minimum, 55);
}

TEST(Table, HugeValuesDoNotOverflow)
{
    std::vector<TableCell> cells(2);
    cells[0].minimum = cells[0].preferred = 1 << 29;
    cells[1].minimum = cells[1].preferred = 1 << 29;
    auto slots = table_arrange(cells, 1 << 20);
    EXPECT_EQ(slots[0].size, 1 << 19);
    EXPECT_EQ(slots[1].size, 1 << 19);
}

} // namespace

namespace {

// What every arrangement must give, whatever the cells: an answer, one slot a cell, no
// negative size, and slots inside the table when the minima fit.
void expect_sane(const std::vector<TableCell>& cells, int length)
{
    auto slots = table_arrange(cells, length);
    ASSERT_EQ(slots.size(), cells.size());
    for (const auto& s : slots)
        EXPECT_GE(s.size, 0);
    (void)table_measure(cells, length);
}

TEST(HostileTable, PreferencesBelowMinimaNeverShrinkACellOrLoop)
{
    // The first child prefers less than its minimum: it keeps its minimum, and the other
    // child still grows to its preference instead of losing what the first "gives back".
    std::vector<TableCell> cells(2);
    cells[0].minimum = 50, cells[0].preferred = 10;
    cells[1].minimum = 10, cells[1].preferred = 30;
    auto slots = table_arrange(cells, 200);
    EXPECT_EQ(slots[0].size, 50);
    EXPECT_EQ(slots[1].offset, 50);
    EXPECT_EQ(slots[1].size, 30);
    // Less room than the preferences: the budget goes to the child that can grow.
    slots = table_arrange(cells, 70);
    EXPECT_EQ(slots[0].size, 50);
    EXPECT_EQ(slots[1].size, 20);
    // The measure agrees: the minimum counts where the preference is below it.
    TableMeasure m = table_measure(cells, 0);
    EXPECT_EQ(m.preferred, 80);
    EXPECT_EQ(m.minimum, 60);

    // Negative lengths from a skin count as nothing.
    cells[0].minimum = -40, cells[0].preferred = -90;
    slots = table_arrange(cells, 100);
    EXPECT_EQ(slots[0].size, 0);
    EXPECT_EQ(slots[1].size, 30);
}

TEST(HostileTable, ExtremeValuesGiveAnAnswer)
{
    const int big = std::numeric_limits<int>::max();
    const int small = std::numeric_limits<int>::min();
    std::vector<TableCell> cells(5);
    cells[0].minimum = big, cells[0].preferred = small;
    cells[1].minimum = small, cells[1].preferred = big, cells[1].ratio = big;
    cells[2].minimum = 0, cells[2].preferred = big, cells[2].ratio = big;
    cells[3].minimum = big, cells[3].preferred = big;
    cells[4].minimum = 1, cells[4].preferred = 3, cells[4].ratio = 1;
    for (int length : { 0, 1, 7, 1000, big })
        expect_sane(cells, length);
    cells[0].minimum = 0;
    cells[3].minimum = cells[3].preferred = 0;
    for (int length : { 1, 7, 1000, big })
        expect_sane(cells, length);

    // Many cells that can each take a little: the rounds end, and the table is filled.
    std::vector<TableCell> many(500);
    for (size_t i = 0; i < many.size(); ++i) {
        many[i].minimum = static_cast<int>(i % 7);
        many[i].preferred = static_cast<int>(i % 7 + i % 3);
    }
    auto slots = table_arrange(many, 2000);
    long long total = 0;
    for (const auto& s : slots)
        total += s.size;
    EXPECT_EQ(total, 500 / 7 * 21 + 3 + 500 / 3 * 3 + 1) << "every preference met, the rest unused";
}

TEST(HostileTable, RandomCellsAlwaysGiveSaneSlots)
{
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto value = [&]() -> int {
        switch (next() % 4) {
        case 0: return static_cast<int>(next() % 200) - 50;
        case 1: return static_cast<int>(next() % 20);
        case 2: return static_cast<int>(next()) * 97;
        default: return 0;
        }
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<TableCell> cells(next() % 6);
        for (auto& c : cells) {
            c.mode = static_cast<AnchorMode>(next() % 7);
            c.m1 = static_cast<int>(next() % 30) - 5;
            c.m2 = static_cast<int>(next() % 30) - 5;
            c.minimum = value();
            c.preferred = value();
            c.ratio = value();
        }
        expect_sane(cells, value());
    }
}

} // namespace
