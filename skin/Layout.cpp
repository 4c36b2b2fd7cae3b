#include "skin/Layout.h"

#include <algorithm>
#include <cstdint>

namespace {

struct ModeName {
    AnchorMode mode;
    const char* name;
};

constexpr ModeName kModeNames[] = {
    {AnchorMode::MIN_SIDE, "MIN_SIDE"},
    {AnchorMode::BOTH_SIDE, "BOTH_SIDE"},
    {AnchorMode::MAX_SIDE, "MAX_SIDE"},
    {AnchorMode::RATIO, "RATIO"},
    {AnchorMode::CENTER, "CENTER"},
    {AnchorMode::MIN_SIDE_NO_SIZE, "MIN_SIDE_NO_SIZE"},
    {AnchorMode::MAX_SIDE_NO_SIZE, "MAX_SIDE_NO_SIZE"},
};

bool equals_ascii(std::u16string_view text, const char* ascii)
{
    size_t i = 0;
    for (; ascii[i]; ++i)
        if (i >= text.size() || text[i] != static_cast<char16_t>(ascii[i]))
            return false;
    return i == text.size();
}

} // namespace

std::optional<AnchorMode> anchor_mode_from_name(std::u16string_view name)
{
    for (const auto& entry : kModeNames)
        if (equals_ascii(name, entry.name))
            return entry.mode;
    return std::nullopt;
}

const char* anchor_mode_name(AnchorMode mode)
{
    for (const auto& entry : kModeNames)
        if (entry.mode == mode)
            return entry.name;
    return "?";
}

namespace anchor {

int need(AnchorMode mode, int m1, int length, int m2)
{
    switch (mode) {
    case AnchorMode::MIN_SIDE:
        return m1 + length;
    case AnchorMode::MAX_SIDE:
        return length + m2;
    case AnchorMode::MIN_SIDE_NO_SIZE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        return 0;
    case AnchorMode::BOTH_SIDE:
    case AnchorMode::RATIO:
    case AnchorMode::CENTER:
        break;
    }
    return m1 + length + m2;
}

int margins(AnchorMode mode, int m1, int m2)
{
    switch (mode) {
    case AnchorMode::MIN_SIDE:
    case AnchorMode::MIN_SIDE_NO_SIZE:
        return m1;
    case AnchorMode::MAX_SIDE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        return m2;
    case AnchorMode::BOTH_SIDE:
    case AnchorMode::RATIO:
    case AnchorMode::CENTER:
        break;
    }
    return m1 + m2;
}

int size(AnchorMode mode, int m1, int wanted, int m2, int parent)
{
    int result = 0;
    switch (mode) {
    case AnchorMode::BOTH_SIDE:
        result = parent - m1 - m2;
        break;
    case AnchorMode::MIN_SIDE:
        result = std::min(parent - m1, wanted);
        break;
    case AnchorMode::MAX_SIDE:
        result = std::min(parent - m2, wanted);
        break;
    case AnchorMode::RATIO:
    case AnchorMode::CENTER:
        result = std::min(parent - m1 - m2, wanted);
        break;
    case AnchorMode::MIN_SIDE_NO_SIZE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        result = wanted;
        break;
    }
    return std::max(result, 0);
}

int offset(AnchorMode mode, int m1, int child_size, int m2, int parent)
{
    switch (mode) {
    case AnchorMode::MAX_SIDE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        return std::max(0, parent - child_size - m2);
    case AnchorMode::CENTER: {
        int half_room = (parent - m1 - m2) / 2;
        int half_size = child_size / 2;
        return half_size >= half_room ? m1 : m1 + half_room - half_size;
    }
    default:
        return m1;
    }
}

} // namespace anchor

TableMeasure table_measure(const std::vector<TableCell>& cells, int design_length)
{
    int preferred = 0;
    int minimum = 0;
    for (const auto& c : cells) {
        int needed = anchor::need(c.mode, c.m1, c.preferred, c.m2);
        preferred += needed;
        minimum += needed - (c.preferred - c.minimum);
    }
    return {std::max(design_length, preferred), std::max(0, minimum)};
}

std::vector<TableSlot> table_arrange(const std::vector<TableCell>& cells, int length)
{
    std::vector<TableSlot> slots;
    slots.reserve(cells.size());

    int fixed = 0;
    int sum_min = 0;
    int sum_pref = 0;
    int growing = 0;
    // The extra room is shared in proportion to the ratios. Dividing by the number of ratio
    // cells instead would hand out more than there is as soon as a ratio exceeds 1; with
    // ratios of 0 and 1 both give the same.
    int64_t ratio_total = 0;
    for (const auto& c : cells) {
        fixed += anchor::margins(c.mode, c.m1, c.m2);
        sum_min += c.minimum;
        sum_pref += c.preferred;
        // Only cells below their preference can grow; counting a cell whose minimum exceeds
        // its preference would deal it shares it never takes and lose them.
        if (c.preferred > c.minimum)
            ++growing;
        if (c.ratio > 0)
            ratio_total += c.ratio;
    }
    const int room = length - fixed;

    auto place = [&](const TableCell& c, int wanted, int slot, int at) {
        int s = anchor::size(c.mode, c.m1, wanted, c.m2, slot);
        int o = anchor::offset(c.mode, c.m1, s, c.m2, slot);
        slots.push_back({at + o, s});
    };

    if (room <= 0) {
        for (size_t i = 0; i < cells.size(); ++i)
            slots.push_back({0, 0});
        return slots;
    }

    int x = 0;
    if (sum_min >= room) {
        // Too little room: every cell shrinks in proportion to its minimum. Products are
        // taken in 64 bits so that large skins cannot overflow.
        int64_t running = 0;
        for (const auto& c : cells) {
            int a = static_cast<int>(running * room / sum_min);
            running += c.minimum;
            int b = static_cast<int>(running * room / sum_min);
            int slot = (b - a) + anchor::margins(c.mode, c.m1, c.m2);
            place(c, b - a, slot, x);
            x += slot;
        }
        return slots;
    }

    std::vector<int> alloc(cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
        alloc[i] = cells[i].minimum;
    int budget;
    int extra;
    if (sum_pref < room) {
        budget = sum_pref - sum_min;
        extra = room - sum_pref;
    } else {
        budget = room - sum_min;
        extra = 0;
    }

    // Growth rounds: the budget is dealt out evenly to the cells still below their
    // preference; what a cell cannot take goes back into the next round.
    while (budget != 0 && growing > 0) {
        int64_t acc = 0;
        int64_t prev = 0;
        int excess = 0;
        int still_growing = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (alloc[i] >= cells[i].preferred)
                continue;
            acc += budget;
            int share = static_cast<int>(acc / growing - prev / growing);
            prev = acc;
            int missing = cells[i].preferred - alloc[i];
            if (share < missing) {
                alloc[i] += share;
                ++still_growing;
            } else {
                excess += share - missing;
                alloc[i] = cells[i].preferred;
            }
        }
        growing = still_growing;
        budget = excess;
    }

    int64_t ratio_sum = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const auto& c = cells[i];
        int s = alloc[i];
        if (c.ratio > 0) {
            int64_t next = ratio_sum + c.ratio;
            s += static_cast<int>(next * extra / ratio_total - ratio_sum * extra / ratio_total);
            ratio_sum = next;
        }
        int slot = s + anchor::margins(c.mode, c.m1, c.m2);
        place(c, s, slot, x);
        x += slot;
    }
    return slots;
}
