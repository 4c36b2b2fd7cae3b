#include "skin/elements/Layout.h"

#include <algorithm>
#include <cstdint>
#include <climits>

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

// Lengths and margins come from skins: the sums are taken in 64 bits and brought back into
// the int range, so that absurd values give absurd but defined places.
namespace {

int clamped(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

int need(AnchorMode mode, int m1, int length, int m2)
{
    switch (mode) {
    case AnchorMode::MIN_SIDE:
        return clamped(int64_t(m1) + length);
    case AnchorMode::MAX_SIDE:
        return clamped(int64_t(length) + m2);
    case AnchorMode::MIN_SIDE_NO_SIZE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        return 0;
    case AnchorMode::BOTH_SIDE:
    case AnchorMode::RATIO:
    case AnchorMode::CENTER:
        break;
    }
    return clamped(int64_t(m1) + length + m2);
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
    return clamped(int64_t(m1) + m2);
}

int size(AnchorMode mode, int m1, int wanted, int m2, int parent)
{
    int64_t result = 0;
    switch (mode) {
    case AnchorMode::BOTH_SIDE:
        result = int64_t(parent) - m1 - m2;
        break;
    case AnchorMode::MIN_SIDE:
        result = std::min<int64_t>(int64_t(parent) - m1, wanted);
        break;
    case AnchorMode::MAX_SIDE:
        result = std::min<int64_t>(int64_t(parent) - m2, wanted);
        break;
    case AnchorMode::RATIO:
    case AnchorMode::CENTER:
        result = std::min<int64_t>(int64_t(parent) - m1 - m2, wanted);
        break;
    case AnchorMode::MIN_SIDE_NO_SIZE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        result = wanted;
        break;
    }
    return clamped(std::max<int64_t>(result, 0));
}

int offset(AnchorMode mode, int m1, int child_size, int m2, int parent)
{
    switch (mode) {
    case AnchorMode::MAX_SIDE:
    case AnchorMode::MAX_SIDE_NO_SIZE:
        return clamped(std::max<int64_t>(0, int64_t(parent) - child_size - m2));
    case AnchorMode::CENTER: {
        int64_t half_room = (int64_t(parent) - m1 - m2) / 2;
        int64_t half_size = child_size / 2;
        return half_size >= half_room ? m1 : clamped(m1 + half_room - half_size);
    }
    default:
        return m1;
    }
}

} // namespace anchor

namespace {

int clamp_int(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// A skin may give a child a preferred length below its minimum, or a negative one: the
// minimum is at least 0 and the preference at least the minimum, so that growth never
// shrinks a cell and every sum below is of lengths that can only add up.
std::vector<TableCell> sane(const std::vector<TableCell>& cells)
{
    std::vector<TableCell> out = cells;
    for (TableCell& c : out) {
        c.minimum = std::max(c.minimum, 0);
        c.preferred = std::max(c.preferred, c.minimum);
    }
    return out;
}

} // namespace

TableMeasure table_measure(const std::vector<TableCell>& given, int design_length)
{
    int64_t preferred = 0;
    int64_t minimum = 0;
    for (const auto& c : sane(given)) {
        int64_t needed = anchor::need(c.mode, c.m1, c.preferred, c.m2);
        preferred += needed;
        minimum += needed - (static_cast<int64_t>(c.preferred) - c.minimum);
    }
    return {std::max(design_length, clamp_int(preferred)), clamp_int(std::max<int64_t>(0, minimum))};
}

std::vector<TableSlot> table_arrange(const std::vector<TableCell>& given, int length)
{
    const std::vector<TableCell> cells = sane(given);
    std::vector<TableSlot> slots;
    slots.reserve(cells.size());

    int64_t fixed = 0;
    int64_t sum_min = 0;
    int64_t sum_pref = 0;
    int growing = 0;
    // The extra room is shared in proportion to the ratios. Dividing by the number of ratio
    // cells instead would hand out more than there is as soon as a ratio exceeds 1; with
    // ratios of 0 and 1 both give the same.
    int64_t ratio_total = 0;
    for (const auto& c : cells) {
        fixed += anchor::margins(c.mode, c.m1, c.m2);
        sum_min += c.minimum;
        sum_pref += c.preferred;
        // Only cells below their preference can grow; counting a cell whose minimum reaches
        // its preference would deal it shares it never takes and lose them.
        if (c.preferred > c.minimum)
            ++growing;
        if (c.ratio > 0)
            ratio_total += c.ratio;
    }
    // Negative margins may promise more room than an int holds; nothing can use more.
    const int64_t room = std::min<int64_t>(static_cast<int64_t>(length) - fixed, INT32_MAX);

    auto place = [&](const TableCell& c, int wanted, int slot, int at) {
        int s = anchor::size(c.mode, c.m1, wanted, c.m2, slot);
        int o = anchor::offset(c.mode, c.m1, s, c.m2, slot);
        slots.push_back({clamp_int(int64_t(at) + o), s});
    };

    if (room <= 0) {
        for (size_t i = 0; i < cells.size(); ++i)
            slots.push_back({0, 0});
        return slots;
    }

    int x = 0;
    if (sum_min >= room) {
        // Too little room: every cell shrinks in proportion to its minimum (sum_min > 0 here).
        // Products are taken in 128 bits so that large skins cannot overflow.
        using wide = __int128;
        int64_t running = 0;
        for (const auto& c : cells) {
            int a = static_cast<int>(wide(running) * room / sum_min);
            running += c.minimum;
            int b = static_cast<int>(wide(running) * room / sum_min);
            int slot = clamp_int(static_cast<int64_t>(b - a) + anchor::margins(c.mode, c.m1, c.m2));
            place(c, b - a, slot, x);
            x = clamp_int(static_cast<int64_t>(x) + slot);
        }
        return slots;
    }

    // From here sum_min < room <= INT32_MAX, so every allocation fits an int.
    std::vector<int64_t> alloc(cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
        alloc[i] = cells[i].minimum;
    int64_t budget;
    int64_t extra;
    if (sum_pref < room) {
        budget = sum_pref - sum_min;
        extra = room - sum_pref;
    } else {
        budget = room - sum_min;
        extra = 0;
    }

    // Growth rounds: the budget is dealt out evenly to the cells still below their
    // preference; what a cell cannot take goes back into the next round. A round either
    // places the whole budget or fills a cell, so there are at most one more rounds than
    // cells; the bound only makes that certain.
    for (size_t round = 0; budget > 0 && growing > 0 && round <= cells.size(); ++round) {
        int64_t acc = 0;
        int64_t prev = 0;
        int64_t excess = 0;
        int still_growing = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            if (alloc[i] >= cells[i].preferred)
                continue;
            acc += budget;
            int64_t share = acc / growing - prev / growing;
            prev = acc;
            int64_t missing = cells[i].preferred - alloc[i];
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
        int64_t s = alloc[i];
        if (c.ratio > 0) {
            int64_t next = ratio_sum + c.ratio;
            // Ratios come from the skin: their products with the room may pass 64 bits.
            using wide = __int128;
            s += static_cast<int64_t>(wide(next) * extra / ratio_total - wide(ratio_sum) * extra / ratio_total);
            ratio_sum = next;
        }
        int slot = clamp_int(s + anchor::margins(c.mode, c.m1, c.m2));
        place(c, clamp_int(s), slot, x);
        x = clamp_int(static_cast<int64_t>(x) + slot);
    }
    return slots;
}
