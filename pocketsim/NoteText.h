#pragma once
// The note pad's text and caret, and the editing that keys and characters do to them. Lines
// end with "\n"; the caret is an index into the text.
#include <string>
#include <string_view>

namespace pocketsim {

class NoteText {
public:
    const std::u16string& text() const { return m_text; }
    size_t caret() const { return m_caret; }
    void set_caret(size_t index) { m_caret = std::min(index, m_text.size()); }

    void insert(std::u16string_view s);
    void backspace();
    void delete_forward();
    void delete_word_back();
    void delete_word_forward();
    void left();
    void right();
    void word_left();
    void word_right();
    void home();
    void end();
    void text_start() { m_caret = 0; }
    void text_end() { m_caret = m_text.size(); }
    // Up and down keep the column where the line is long enough.
    void up();
    void down();

    // Line and column of the caret, and the caret index of a line and column.
    size_t line_of_caret() const;
    size_t column_of_caret() const;
    size_t index_of(size_t line, size_t column) const;
    size_t line_count() const;
    std::u16string_view line(size_t index) const;

private:
    size_t line_start(size_t index) const;
    size_t line_end(size_t index) const;

    std::u16string m_text;
    size_t m_caret = 0;
};

}
