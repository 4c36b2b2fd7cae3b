#pragma once
#include <string_view>

enum class HAlign { LEFT = 0, CENTER = 1, RIGHT = 2, JUSTIFY = 3 };
enum class VAlign { TOP = 0, VCENTER = 1, BOTTOM = 2 };

// Unknown or missing names give CENTER / VCENTER.
HAlign halign_from_name(std::u16string_view name);
VAlign valign_from_name(std::u16string_view name);
