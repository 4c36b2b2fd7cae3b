#pragma once
// Anchor arithmetic of one axis and the table allocation that "htable" and "vtable" share.
// Pure integer functions, so that every layout rule is testable without elements.
#include <optional>
#include <string_view>
#include <vector>

enum class AnchorMode {
    MIN_SIDE = 0,
    BOTH_SIDE = 1,
    MAX_SIDE = 2,
    RATIO = 3,
    CENTER = 4,
    MIN_SIDE_NO_SIZE = 5,
    MAX_SIDE_NO_SIZE = 6,
};

// Exact names only; anything else is no mode (the caller keeps BOTH_SIDE).
std::optional<AnchorMode> anchor_mode_from_name(std::u16string_view name);
const char* anchor_mode_name(AnchorMode mode);

namespace anchor {

// Parent length a child of length `length` needs with margins m1 (before) and m2 (after).
int need(AnchorMode mode, int m1, int length, int m2);
// The margins that stay fixed whatever the parent's length.
int margins(AnchorMode mode, int m1, int m2);
// Child length in a parent of length `parent` when the child wants `wanted`; never negative.
int size(AnchorMode mode, int m1, int wanted, int m2, int parent);
// Child offset from the parent's start for a child of length `child_size`.
int offset(AnchorMode mode, int m1, int child_size, int m2, int parent);

} // namespace anchor

// One visible child of a table, seen along the table's axis.
struct TableCell {
    AnchorMode mode = AnchorMode::BOTH_SIDE;
    int m1 = 0;
    int m2 = 0;
    int preferred = 0;
    int minimum = 0;
    int ratio = 0;
};

struct TableSlot {
    int offset; // from the table's start
    int size;
};

struct TableMeasure {
    int preferred;
    int minimum;
};

// Measure along the table axis: design length raises the preferred length only.
TableMeasure table_measure(const std::vector<TableCell>& cells, int design_length);
// Places the cells one after another in a table of length `length`.
std::vector<TableSlot> table_arrange(const std::vector<TableCell>& cells, int length);
