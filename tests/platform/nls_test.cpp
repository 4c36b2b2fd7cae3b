#include <windows.h>

#include <gtest/gtest.h>

#include <string>

TEST(CodePages, CountsAsThePlatformDoes)
{
    // Size query, terminator included for -1.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xd0\x96\xf0\x9f\x98\x80", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xd0\x96\xf0\x9f\x98\x80", 6, nullptr, 0), 3);
    WCHAR wide[4] = { 1, 1, 1, 1 };
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xd0\x96\xf0\x9f\x98\x80", -1, wide, 4), 4);
    EXPECT_EQ(std::u16string(wide), (std::u16string { 0x0416, 0xD83D, 0xDE00 }));

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", 4, wide, 3), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", 0, wide, 4), 0) << "nothing to convert";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abcd", 4, wide, 4), 0) << "only UTF-8 is known";

    char bytes[8] = {};
    const WCHAR text[] = { 0x20AC, u'x', 0 };
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, 8, nullptr, nullptr), 5);
    EXPECT_STREQ(bytes, "\xe2\x82\xacx");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 2, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 2, bytes, 8, "?", &used), 0) << "no default character for UTF-8";
}
