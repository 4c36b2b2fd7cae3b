#include "kbfiles/WideCase.h"

char16_t WideUpper(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return char16_t(c - 32);
    if (c < 0x80)
        return c;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return char16_t(c - 32);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs alternate, upper first, except in the run from U+0139 to U+0148 and from
        // U+0179 to U+017E, where the lower letter is the even one; U+0131 and U+0138 have none.
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        bool oddRuns = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRuns)
            return (c % 2 == 0) ? char16_t(c - 1) : c;
        return (c % 2 == 1) ? char16_t(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
        return char16_t(c - 32);
    if (c == 0x3C2)
        return 0x3A3;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return char16_t(c - 37);
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return char16_t(c - 63);
    if (c >= 0x430 && c <= 0x44F)
        return char16_t(c - 32);
    if (c >= 0x450 && c <= 0x45F)
        return char16_t(c - 80);
    if (c >= 0x460 && c <= 0x4FF && c != 0x482 && !(c >= 0x483 && c <= 0x489) && !(c >= 0x4C0 && c <= 0x4CF)) {
        return (c % 2 == 1) ? char16_t(c - 1) : c;
    }
    return c;
}

char16_t WideLower(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return char16_t(c + 32);
    if (c < 0x80)
        return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return char16_t(c + 32);
    if (c == 0x178)
        return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c == 0x130 ? u'i' : c;
        bool oddRuns = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRuns)
            return (c % 2 == 1) ? char16_t(c + 1) : c;
        return (c % 2 == 0) ? char16_t(c + 1) : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return char16_t(c + 32);
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return char16_t(c + 37);
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return char16_t(c + 63);
    if (c >= 0x410 && c <= 0x42F)
        return char16_t(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return char16_t(c + 80);
    if (c >= 0x460 && c <= 0x4FF && c != 0x482 && !(c >= 0x483 && c <= 0x489) && !(c >= 0x4C0 && c <= 0x4CF)) {
        return (c % 2 == 0) ? char16_t(c + 1) : c;
    }
    return c;
}

std::u16string WideUpper(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = WideUpper(c);
    return out;
}

std::u16string WideLower(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = WideLower(c);
    return out;
}
