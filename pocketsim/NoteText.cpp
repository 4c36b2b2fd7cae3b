#include "pocketsim/NoteText.h"

#include <algorithm>

namespace pocketsim {

namespace {

bool isWordChar(char16_t c)
{
    return c != u' ' && c != u'\n' && c != u'\t';
}

}

size_t NoteText::line_start(size_t index) const
{
    while (index > 0 && m_text[index - 1] != u'\n')
        --index;
    return index;
}

size_t NoteText::line_end(size_t index) const
{
    while (index < m_text.size() && m_text[index] != u'\n')
        ++index;
    return index;
}

void NoteText::insert(std::u16string_view s)
{
    m_text.insert(m_caret, s);
    m_caret += s.size();
}

void NoteText::backspace()
{
    if (m_caret == 0)
        return;
    // A surrogate pair goes as one character.
    size_t n = (m_caret >= 2 && m_text[m_caret - 1] >= 0xDC00 && m_text[m_caret - 1] < 0xE000
                   && m_text[m_caret - 2] >= 0xD800 && m_text[m_caret - 2] < 0xDC00)
        ? 2
        : 1;
    m_caret -= n;
    m_text.erase(m_caret, n);
}

void NoteText::delete_forward()
{
    if (m_caret >= m_text.size())
        return;
    size_t n = (m_caret + 1 < m_text.size() && m_text[m_caret] >= 0xD800 && m_text[m_caret] < 0xDC00
                   && m_text[m_caret + 1] >= 0xDC00 && m_text[m_caret + 1] < 0xE000)
        ? 2
        : 1;
    m_text.erase(m_caret, n);
}

void NoteText::delete_word_back()
{
    size_t end = m_caret;
    word_left();
    m_text.erase(m_caret, end - m_caret);
}

void NoteText::delete_word_forward()
{
    size_t start = m_caret;
    word_right();
    m_text.erase(start, m_caret - start);
    m_caret = start;
}

void NoteText::left()
{
    if (m_caret == 0)
        return;
    --m_caret;
    if (m_caret > 0 && m_text[m_caret] >= 0xDC00 && m_text[m_caret] < 0xE000 && m_text[m_caret - 1] >= 0xD800
        && m_text[m_caret - 1] < 0xDC00)
        --m_caret;
}

void NoteText::right()
{
    if (m_caret >= m_text.size())
        return;
    ++m_caret;
    if (m_caret < m_text.size() && m_text[m_caret] >= 0xDC00 && m_text[m_caret] < 0xE000
        && m_text[m_caret - 1] >= 0xD800 && m_text[m_caret - 1] < 0xDC00)
        ++m_caret;
}

void NoteText::word_left()
{
    while (m_caret > 0 && !isWordChar(m_text[m_caret - 1]))
        --m_caret;
    while (m_caret > 0 && isWordChar(m_text[m_caret - 1]))
        --m_caret;
}

void NoteText::word_right()
{
    while (m_caret < m_text.size() && isWordChar(m_text[m_caret]))
        ++m_caret;
    while (m_caret < m_text.size() && !isWordChar(m_text[m_caret]))
        ++m_caret;
}

void NoteText::home()
{
    m_caret = line_start(m_caret);
}

void NoteText::end()
{
    m_caret = line_end(m_caret);
}

void NoteText::up()
{
    size_t line = line_of_caret();
    if (line == 0) {
        m_caret = 0;
        return;
    }
    m_caret = index_of(line - 1, column_of_caret());
}

void NoteText::down()
{
    size_t line = line_of_caret();
    if (line + 1 >= line_count()) {
        m_caret = m_text.size();
        return;
    }
    m_caret = index_of(line + 1, column_of_caret());
}

size_t NoteText::line_of_caret() const
{
    return static_cast<size_t>(std::count(m_text.begin(), m_text.begin() + static_cast<std::ptrdiff_t>(m_caret), u'\n'));
}

size_t NoteText::column_of_caret() const
{
    return m_caret - line_start(m_caret);
}

size_t NoteText::line_count() const
{
    return static_cast<size_t>(std::count(m_text.begin(), m_text.end(), u'\n')) + 1;
}

std::u16string_view NoteText::line(size_t index) const
{
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        size_t nl = m_text.find(u'\n', start);
        if (nl == std::u16string::npos)
            return {};
        start = nl + 1;
    }
    return std::u16string_view(m_text).substr(start, line_end(start) - start);
}

size_t NoteText::index_of(size_t line, size_t column) const
{
    size_t start = 0;
    for (size_t i = 0; i < line; ++i) {
        size_t nl = m_text.find(u'\n', start);
        if (nl == std::u16string::npos)
            return m_text.size();
        start = nl + 1;
    }
    return std::min(start + column, line_end(start));
}

}
