#pragma once
// Word layout of "text" and "edit": the text is split into words that keep their measured
// width, the white space after them and the line feeds before them; lines are filled greedily
// when wrapping. Measuring is passed in so that the rules are testable without fonts.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "skin/elements/Align.h"

struct PreparedText {
    std::u16string text;
    // source_index[i] is the index in the original text of prepared character i; one extra
    // entry maps the end.
    std::vector<int> source_index;
};

// Tabs become four spaces; without wrap, carriage returns and line feeds become spaces.
PreparedText prepare_text(std::u16string_view text, bool wrap);

struct LaidWord {
    int start;  // into the prepared text
    int length;
    int x;      // from the box's left edge, alignment applied
    int width;
};

struct LaidLine {
    std::vector<LaidWord> words;
    int first;  // prepared index of the line's first character (its first word, or the feed)
    int end;    // prepared index after the line's last character, white space included
    int width;  // from the first word's start to the last word's end
};

struct TextLayout {
    std::vector<LaidLine> lines;
    int width = 0; // the widest line
};

using MeasureFn = std::function<int(std::u16string_view)>;

TextLayout layout_text(std::u16string_view prepared, const MeasureFn& measure, int box_width,
    bool wrap, HAlign halign);
