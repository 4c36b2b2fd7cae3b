#include "skin/text/TextLayout.h"

#include <algorithm>

namespace {

// White space that separates words. A no-break space (U+00A0) is part of its word: that is
// what it is typed for ("10\u00A0km" stays on one line).
bool is_space(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x3000;
}

bool is_high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

struct Word {
    int start;
    int length;
    int width;
    int spaces;     // white-space characters after the word (not counting line feeds)
    int feeds;      // line feeds before the word
};

// A cut at `at` would split a character outside the basic plane into its two halves.
bool splits_pair(std::u16string_view word, int at)
{
    return at > 0 && at < static_cast<int>(word.size()) && is_high_surrogate(word[at - 1]) && is_low_surrogate(word[at]);
}

// Length of the longest prefix of `word` that fits into `room` (at least one character, so
// that a line always makes progress), never ending inside a surrogate pair.
int fitting_prefix(std::u16string_view word, int room, const MeasureFn& measure)
{
    int lo = 1;
    int hi = static_cast<int>(word.size());
    while (lo < hi) {
        int mid = (lo + hi + 1) / 2;
        if (measure(word.substr(0, mid)) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    if (splits_pair(word, lo))
        lo += lo == 1 ? 1 : -1;
    return lo;
}

} // namespace

PreparedText prepare_text(std::u16string_view text, bool wrap)
{
    PreparedText out;
    out.text.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'\t') {
            for (int k = 0; k < 4; ++k) {
                out.text.push_back(u' ');
                out.source_index.push_back(static_cast<int>(i));
            }
            continue;
        }
        if (!wrap && (c == u'\r' || c == u'\n'))
            c = u' ';
        out.text.push_back(c);
        out.source_index.push_back(static_cast<int>(i));
    }
    out.source_index.push_back(static_cast<int>(text.size()));
    return out;
}

TextLayout layout_text(std::u16string_view text, const MeasureFn& measure, int box_width,
    bool wrap, HAlign halign)
{
    const int space = measure(u" ");
    const int n = static_cast<int>(text.size());

    // Words with the white space after them and the feeds before them. A trailing feed
    // opens an empty last line, kept as a word of length 0.
    std::vector<Word> words;
    int i = 0;
    int feeds = 0;
    while (i < n && is_space(text[i])) {
        if (text[i] == u'\n')
            ++feeds;
        ++i;
    }
    while (i < n) {
        Word w{i, 0, 0, 0, feeds};
        while (i < n && !is_space(text[i]))
            ++i;
        w.length = i - w.start;
        w.width = measure(text.substr(w.start, w.length));
        feeds = 0;
        while (i < n && is_space(text[i])) {
            if (text[i] == u'\n')
                ++feeds;
            else if (text[i] != u'\r' && feeds == 0)
                ++w.spaces;
            ++i;
        }
        words.push_back(w);
    }
    if (feeds > 0 || words.empty())
        words.push_back({n, 0, 0, 0, feeds});

    TextLayout layout;
    auto new_line = [&](int first) {
        layout.lines.push_back({{}, first, first, 0});
        return &layout.lines.back();
    };
    LaidLine* line = new_line(0);
    int pen = 0; // where the next word would start on the current line

    auto put = [&](int start, int length, int width) {
        if (length > 0) {
            if (line->words.empty())
                line->first = start;
            line->words.push_back({start, length, pen, width});
            line->width = pen + width;
        }
        pen += width;
        line->end = start + length;
    };

    for (const Word& w : words) {
        for (int f = 0; f < w.feeds; ++f) {
            line->end = std::max(line->end, w.start);
            line = new_line(w.start);
            pen = 0;
        }
        if (w.length == 0)
            continue;
        if (wrap && box_width > 0) {
            if (!line->words.empty() && pen + w.width > box_width) {
                line = new_line(w.start);
                pen = 0;
            }
            // A word wider than a whole line is split over as many lines as it needs.
            int start = w.start;
            int left = w.length;
            int width = w.width;
            while (pen == 0 && width > box_width && left > 1) {
                int take = fitting_prefix(text.substr(start, left), box_width, measure);
                if (take >= left)
                    break;
                put(start, take, measure(text.substr(start, take)));
                line = new_line(start + take);
                pen = 0;
                start += take;
                left -= take;
                width = measure(text.substr(start, left));
            }
            put(start, left, width);
        } else {
            put(w.start, w.length, w.width);
        }
        pen += w.spaces * space;
        line->end = w.start + w.length + w.spaces;
    }

    for (LaidLine& l : layout.lines) {
        layout.width = std::max(layout.width, l.width);
        int shift = 0;
        if (halign == HAlign::CENTER)
            shift = (box_width - l.width) / 2;
        else if (halign == HAlign::RIGHT)
            shift = box_width - l.width;
        if (!wrap && shift < 0 && halign == HAlign::CENTER)
            shift = 0;
        for (LaidWord& w : l.words)
            w.x += shift;
    }
    return layout;
}
