#include "runtime/Text.h"

#include <windows.h>

#include <climits>

// The platform converts; texts too long for its int counts are converted in pieces that end
// on a character boundary.
std::u16string Utf16FromUtf8(std::string_view in)
{
    std::u16string out;
    while (!in.empty()) {
        size_t take = in.size();
        if (take > INT_MAX / 2) {
            take = INT_MAX / 2;
            for (int back = 0; back < 3 && (static_cast<unsigned char>(in[take]) & 0xC0) == 0x80; ++back)
                --take;
        }
        int count = static_cast<int>(take);
        int needed = MultiByteToWideChar(CP_UTF8, 0, in.data(), count, nullptr, 0);
        size_t at = out.size();
        out.resize(at + static_cast<size_t>(needed));
        MultiByteToWideChar(CP_UTF8, 0, in.data(), count, out.data() + at, needed);
        in.remove_prefix(take);
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view in)
{
    std::string out;
    while (!in.empty()) {
        size_t take = in.size();
        if (take > INT_MAX / 4) {
            take = INT_MAX / 4;
            if (in[take - 1] >= 0xD800 && in[take - 1] <= 0xDBFF)
                --take;
        }
        int count = static_cast<int>(take);
        const WCHAR* wide = in.data();
        int needed = WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
        size_t at = out.size();
        out.resize(at + static_cast<size_t>(needed));
        WideCharToMultiByte(CP_UTF8, 0, wide, count, out.data() + at, needed, nullptr, nullptr);
        in.remove_prefix(take);
    }
    return out;
}
