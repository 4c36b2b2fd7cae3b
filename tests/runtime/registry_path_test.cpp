#include "runtime/Registry.h"
#include "tests/support/DeviceRoot.h"

#include <winreg.h>

#include <gtest/gtest.h>

namespace {

using RegistryPaths = DeviceRootTest;

TEST_F(RegistryPaths, RootNameAndSubkey)
{
    ASSERT_TRUE(RegWriteNumber(u"HKEY_LOCAL_MACHINE\\Software", u"N", 5));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software", 0, 0, &key), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueEx(key, u"N", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 5u);
    RegCloseKey(key);

    DWORD out = 99;
    EXPECT_FALSE(RegWriteNumber(u"HKEY_CURRENT_CONFIG\\Software", u"N", 1));
    EXPECT_FALSE(RegReadNumber(u"HKEY_CURRENT_CONFIG\\Software", u"N", out));
    EXPECT_FALSE(RegWriteNumber(u"Software\\Tarn", u"N", 1));
    EXPECT_FALSE(RegWriteNumber(u"HKEY_USERSX\\Software", u"N", 1));
    EXPECT_FALSE(RegDeleteKey(u"HKEY_CURRENT_CONFIG\\Software"));
    EXPECT_EQ(out, 99u);

    // Each root in turn, including the one that is a prefix of no other.
    for (auto root : { u"HKEY_CLASSES_ROOT", u"HKEY_USERS", u"HKEY_CURRENT_USER" }) {
        std::u16string path = std::u16string(root) + u"\\A\\B";
        ASSERT_TRUE(RegWriteText(path, u"T", u"x")) << "root " << std::string(path.begin(), path.end());
        std::u16string text;
        EXPECT_TRUE(RegReadText(path, u"T", text));
        EXPECT_EQ(text, u"x");
    }
}

TEST_F(RegistryPaths, TypesMustMatch)
{
    const char16_t* tarn = u"HKEY_CURRENT_USER\\Software\\Tarn";
    ASSERT_TRUE(RegWriteText(tarn, u"Text", u"Русский"));
    ASSERT_TRUE(RegWriteNumber(tarn, u"Number", 0xFFFFFFFFu));
    ASSERT_TRUE(RegWriteText(tarn, u"Empty", u""));

    DWORD number = 7;
    EXPECT_FALSE(RegReadNumber(tarn, u"Text", number));
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(RegReadNumber(tarn, u"Number", number));
    EXPECT_EQ(number, 0xFFFFFFFFu);

    std::u16string text = u"unchanged";
    EXPECT_FALSE(RegReadText(tarn, u"Number", text));
    EXPECT_FALSE(RegReadText(tarn, u"Missing", text));
    EXPECT_EQ(text, u"unchanged");
    EXPECT_TRUE(RegReadText(tarn, u"Text", text));
    EXPECT_EQ(text, u"Русский");
    EXPECT_TRUE(RegReadText(tarn, u"Empty", text));
    EXPECT_EQ(text, u"");

    // Values written by other code: a number of the wrong size, a string without its zero,
    // a zero-length string and one with a zero inside.
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn", 0, nullptr, 0, 0, nullptr, &key, &disposition), ERROR_SUCCESS);
    const BYTE two[2] = { 1, 0 };
    RegSetValueEx(key, u"Short", 0, REG_DWORD, two, 2);
    const char16_t raw[] = { u'a', u'b', u'\0', u'c' };
    RegSetValueEx(key, u"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 4);
    RegSetValueEx(key, u"Inner", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 8);
    RegSetValueEx(key, u"Zero", 0, REG_SZ, nullptr, 0);
    RegCloseKey(key);
    number = 3;
    EXPECT_FALSE(RegReadNumber(tarn, u"Short", number));
    EXPECT_EQ(number, 3u);
    EXPECT_TRUE(RegReadText(tarn, u"Raw", text));
    EXPECT_EQ(text, u"ab");
    EXPECT_TRUE(RegReadText(tarn, u"Inner", text));
    EXPECT_EQ(text, u"ab");
    text.assign(1, u'x');
    EXPECT_TRUE(RegReadText(tarn, u"Zero", text));
    EXPECT_EQ(text, u"");
}

TEST_F(RegistryPaths, ReadingCreatesTheKeyAndDeleteRemovesTheTree)
{
    DWORD number = 0;
    EXPECT_FALSE(RegReadNumber(u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys", u"Language", number));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn\\Magnikeys", 0, 0, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_TRUE(RegWriteNumber(u"HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32", u"", 1));
    EXPECT_TRUE(RegDeleteKey(u"HKEY_CLASSES_ROOT\\CLSID\\{X}"));
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", 0, 0, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegDeleteKey(u"HKEY_CLASSES_ROOT\\CLSID\\{X}"));
}


TEST_F(RegistryPaths, StringsOfAnOpenKeyFitTheReadersRoomAndMissingKeysStayMissing)
{
    ASSERT_TRUE(RegWriteText(u"HKEY_CURRENT_USER\\ControlPanel\\SIP", u"DefaultIM", u"1234567"));
    std::u16string text = u"unchanged";
    // Seven characters, the zero written with them and a spare zero fit in nine, not in eight.
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, u"ControlPanel\\SIP", u"DefaultIM", text, 8));
    EXPECT_EQ(text, u"unchanged");
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, u"ControlPanel\\SIP", u"DefaultIM", text, 9));
    EXPECT_EQ(text, u"1234567");

    EXPECT_FALSE(RegReadString(HKEY_CLASSES_ROOT, u"CLSID\\{Y}\\IsSIPInputMethod", nullptr, text, 8));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{Y}", 0, 0, &key), ERROR_FILE_NOT_FOUND)
        << "a reader made the key it looked for";
    ASSERT_TRUE(RegWriteNumber(u"HKEY_CURRENT_USER\\ControlPanel\\SIP", u"Number", 1));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, u"ControlPanel\\SIP", u"Number", text, 64));
    EXPECT_EQ(text, u"1234567");
}

}
