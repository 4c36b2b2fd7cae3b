#include "kbfiles/KeyValueFile.h"
#include "runtime/TextFile.h"

#include <charconv>
#include <string>

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; }
bool isLineEnd(char16_t c) { return c == u'\r' || c == u'\n'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t skipBlanks(std::u16string_view text, size_t i)
{
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

size_t skipDigits(std::u16string_view text, size_t i)
{
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

// Converts the whole of a number already scanned (ASCII, an optional sign) with the
// locale-independent converter; false when it is out of range.
template <typename T>
bool convert(std::u16string_view text, T& out)
{
    std::string number(text.begin(), text.end());
    if (!number.empty() && number[0] == '+')
        number.erase(0, 1);
    T value {};
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || ptr != number.data() + number.size())
        return false;
    out = value;
    return true;
}

}

bool ParseDouble(std::u16string_view text, double& out, size_t* end)
{
    size_t start = skipBlanks(text, 0);
    size_t i = start;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    size_t intStart = i;
    i = skipDigits(text, i);
    bool digits = i > intStart;
    if (i < text.size() && text[i] == u'.') {
        size_t fracStart = i + 1;
        size_t fracEnd = skipDigits(text, fracStart);
        if (digits || fracEnd > fracStart) {
            digits = digits || fracEnd > fracStart;
            i = fracEnd;
        }
    }
    if (!digits)
        return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        size_t e = i + 1;
        if (e < text.size() && (text[e] == u'+' || text[e] == u'-'))
            ++e;
        size_t expEnd = skipDigits(text, e);
        if (expEnd > e)
            i = expEnd;
    }
    // Out of range (1e999) is not a number this system can use.
    if (!convert(text.substr(start, i - start), out))
        return false;
    if (end)
        *end = i;
    return true;
}

bool ParseInt(std::u16string_view text, int32_t& out, size_t* end)
{
    size_t start = skipBlanks(text, 0);
    size_t i = start;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    size_t digitsEnd = skipDigits(text, i);
    if (digitsEnd == i)
        return false;
    if (!convert(text.substr(start, digitsEnd - start), out))
        return false;
    if (end)
        *end = digitsEnd;
    return true;
}

bool ParsePair(std::u16string_view text, int32_t& first, int32_t& second)
{
    int32_t a = 0, b = 0;
    size_t end = 0;
    if (!ParseInt(text, a, &end) || !ParseInt(text.substr(end), b))
        return false;
    first = a;
    second = b;
    return true;
}

bool ParseBool(std::u16string_view text, bool& out)
{
    for (std::u16string_view yes : { u"true", u"True", u"TRUE", u"1" }) {
        if (text == yes) {
            out = true;
            return true;
        }
    }
    for (std::u16string_view no : { u"false", u"False", u"FALSE", u"0" }) {
        if (text == no) {
            out = false;
            return true;
        }
    }
    return false;
}

bool KeyValueFile::load(std::u16string_view path)
{
    m_values.clear();
    auto text = ReadTextFile(path);
    if (!text)
        return false;
    parse(*text);
    return true;
}

void KeyValueFile::parse(std::u16string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        size_t lineEnd = i;
        while (lineEnd < text.size() && !isLineEnd(text[lineEnd]))
            ++lineEnd;
        std::u16string_view line = text.substr(i, lineEnd - i);
        i = lineEnd + 1;

        size_t keyStart = skipBlanks(line, 0);
        size_t keyEnd = keyStart;
        while (keyEnd < line.size() && !isBlank(line[keyEnd]) && line[keyEnd] != u'=')
            ++keyEnd;
        if (keyEnd == keyStart)
            continue;
        size_t valueStart = keyEnd;
        if (valueStart < line.size())
            valueStart = line[valueStart] == u'=' ? valueStart + 1 : skipBlanks(line, valueStart);
        m_values.insert_or_assign(std::u16string(line.substr(keyStart, keyEnd - keyStart)), std::u16string(line.substr(valueStart)));
    }
}

const std::u16string* KeyValueFile::find(std::u16string_view key) const
{
    auto it = m_values.find(key);
    return it == m_values.end() ? nullptr : &it->second;
}

bool KeyValueFile::read_double(std::u16string_view key, double& out) const
{
    const std::u16string* value = find(key);
    return value && ParseDouble(*value, out);
}

bool KeyValueFile::read_int(std::u16string_view key, int32_t& out) const
{
    const std::u16string* value = find(key);
    return value && ParseInt(*value, out);
}

bool KeyValueFile::read_pair(std::u16string_view key, int32_t& first, int32_t& second) const
{
    const std::u16string* value = find(key);
    return value && ParsePair(*value, first, second);
}

bool KeyValueFile::read_bool(std::u16string_view key, bool& out) const
{
    const std::u16string* value = find(key);
    return value && ParseBool(*value, out);
}

bool KeyValueFile::read_text(std::u16string_view key, std::u16string& out) const
{
    const std::u16string* value = find(key);
    if (!value)
        return false;
    out = *value;
    return true;
}
