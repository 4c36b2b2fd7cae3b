// The default-keyboard switch: the selector's copy in the startup folder placed afresh or
// removed, also when it is read-only or a folder.
#include <gtest/gtest.h>

#include <windows.h>

#include "settings_app/DefaultKeyboard.h"
#include "tests/settings_app/SettingsTestFiles.h"

namespace {

const std::u16string kSource = u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe";
const std::u16string kCopy = u"\\Windows\\StartUp\\mk_select.exe";

struct Switch : DeviceRootTest {
    void SetUp() override { device.writeFile(kSource, "selector v2"); }
    DWORD attributes(const std::u16string& path) { return GetFileAttributes(path.c_str()); }
};

TEST_F(Switch, OnPlacesAFreshCopyEvenOverAReadOnlyOne)
{
    EXPECT_FALSE(DefaultKeyboard::is_default());
    DefaultKeyboard::apply(true, FileInfo(kSelectorSource));
    EXPECT_TRUE(DefaultKeyboard::is_default());
    EXPECT_EQ(device.readFile(kCopy), "selector v2");

    device.writeFile(kCopy, "selector v1");
    ASSERT_TRUE(SetFileAttributes(kCopy.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributes(kSource.c_str(), FILE_ATTRIBUTE_READONLY));
    DefaultKeyboard::apply(true, FileInfo(kSelectorSource));
    EXPECT_EQ(device.readFile(kCopy), "selector v2");
    EXPECT_EQ(attributes(kSource) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Switch, OffRemovesTheCopyEvenReadOnlyOrAFolder)
{
    DefaultKeyboard::apply(false, FileInfo(kSelectorSource)); // nothing there: nothing happens
    EXPECT_FALSE(DefaultKeyboard::is_default());

    device.writeFile(kCopy, "selector v1");
    ASSERT_TRUE(SetFileAttributes(kCopy.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DefaultKeyboard::is_default());
    DefaultKeyboard::apply(false, FileInfo(kSelectorSource));
    EXPECT_FALSE(device.exists(kCopy));
    EXPECT_FALSE(DefaultKeyboard::is_default());

    ASSERT_TRUE(CreateDirectory(kCopy.c_str(), nullptr));
    DefaultKeyboard::apply(false, FileInfo(kSelectorSource));
    EXPECT_EQ(attributes(kCopy), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(device.exists(u"\\Windows\\StartUp"));
}

TEST_F(Switch, FileInfoRecordsWhatWasThere)
{
    FileInfo missing(u"%startup%/mk_select.exe");
    EXPECT_FALSE(missing.exists());
    EXPECT_EQ(missing.path, kCopy);
    missing.clear_read_only(); // harmless

    FileInfo source(kSelectorSource);
    ASSERT_TRUE(source.exists());
    EXPECT_EQ(source.size, 11u);
    EXPECT_EQ(source.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // Clearing works from the record: a file made read-only after it was taken stays so.
    ASSERT_TRUE(SetFileAttributes(kSource.c_str(), FILE_ATTRIBUTE_READONLY));
    source.clear_read_only();
    EXPECT_NE(attributes(kSource) & FILE_ATTRIBUTE_READONLY, 0u);
    FileInfo(kSelectorSource).clear_read_only();
    EXPECT_EQ(attributes(kSource) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Switch, AMissingSourceLeavesNoCopy)
{
    ASSERT_TRUE(DeleteFile(kSource.c_str()));
    DefaultKeyboard::apply(true, FileInfo(kSelectorSource));
    EXPECT_FALSE(DefaultKeyboard::is_default());
}

}
