#include "skin/text/FontDescriptor.h"

#include "skin/text/FontDesc.h"

#include <algorithm>
#include <climits>
#include <cwctype>

namespace {

class Scanner {
public:
    explicit Scanner(std::u16string_view text)
        : m_text(text)
    {
    }

    void skipSpace()
    {
        while (m_at < m_text.size() && std::iswspace(wint_t(m_text[m_at])))
            ++m_at;
    }

    bool atEnd() const { return m_at >= m_text.size(); }

    // White space, an optional sign, then one or more decimal digits (saturating).
    bool integer(int& value)
    {
        skipSpace();
        size_t at = m_at;
        bool negative = false;
        if (at < m_text.size() && (m_text[at] == u'+' || m_text[at] == u'-'))
            negative = m_text[at++] == u'-';
        long long v = 0;
        size_t digits = 0;
        for (; at < m_text.size() && m_text[at] >= u'0' && m_text[at] <= u'9'; ++at, ++digits)
            v = std::min<long long>(v * 10 + (m_text[at] - u'0'), 1LL << 32);
        if (!digits)
            return false;
        m_at = at;
        v = negative ? -v : v;
        value = int(std::clamp<long long>(v, INT_MIN, INT_MAX));
        return true;
    }

    std::u16string_view rest() const { return m_text.substr(std::min(m_at, m_text.size())); }

private:
    std::u16string_view m_text;
    size_t m_at = 0;
};

} // namespace

void ParseFontDescriptor(std::u16string_view text, FontDesc& desc)
{
    Scanner s(text);
    s.skipSpace();
    if (s.atEnd())
        return;
    int value = 0;
    if (!s.integer(value)) {
        desc.size = 0;
        return;
    }
    desc.size = value;
    if (!s.integer(value))
        return;
    desc.bold = value != 0;
    if (!s.integer(value))
        return;
    desc.italic = value != 0;
    if (!s.integer(value))
        return;
    desc.underline = value != 0;
    s.skipSpace();
    if (!s.rest().empty())
        desc.face = std::u16string(s.rest());
}
