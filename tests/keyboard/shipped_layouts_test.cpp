// The layouts the keyboard ships with, installed from the built data tree: every one loads to
// whole rows in every state, and every character reaches the application with a virtual key
// unless it is one of the few sent as characters only.
#include "kbfiles/KeyValueFile.h"
#include "keyboard/KeyboardForm.h"
#include "kbfiles/LayoutSelection.h"
#include "runtime/Text.h"
#include "tests/keyboard/KeyboardData.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// No key of the US keyboard carries these (or, for "=", the key-value files cannot name it as
// a key); they are sent as characters without a virtual key.
const std::u16string kCharactersOnly = u"=«»№…€£¥¢§°±×÷•©®™¶µ¹²³¼½¾";

TEST(ShippedLayouts, EveryLayoutLoadsWholeRowsInEveryState)
{
    TempDeviceRoot device;
    InstallKeyboardData(device);
    LayoutSelection selection;
    EXPECT_EQ(selection.current(), u"english");
    EXPECT_EQ(selection.second(), u"russian");
    KeyValueFile list;
    ASSERT_TRUE(list.load(kLayoutListPath));
    ASSERT_EQ(list.values().size(), 4u);
    for (const auto& [key, name] : list.values()) {
        SCOPED_TRACE(Utf8FromUtf16(name));
        EXPECT_TRUE(selection.is_valid(name));
        selection.set_current(name);
        for (bool extra : { false, true }) {
            for (bool shift : { false, true }) {
                std::u16string text, shortName;
                ASSERT_TRUE(selection.load(text, shortName, shift, extra));
                EXPECT_TRUE(text.size() == 33 || text.size() == 44) << text.size();
                // Four symbol rows, so that the four-row form has no key left without a
                // character; the three-row form drops the last row.
                if (extra) {
                    EXPECT_EQ(text.size(), 44u);
                } else {
                    EXPECT_EQ(text.size() == 44, selection.needs_extended());
                    EXPECT_EQ(shortName.size(), 2u);
                }
            }
        }
    }
    selection.set_current(u"russian");
    EXPECT_TRUE(selection.needs_extended());
}

TEST(ShippedLayouts, EveryCharacterHasAVirtualKeyOrIsSentAsCharacter)
{
    TempDeviceRoot device;
    InstallKeyboardData(device);
    LayoutSelection selection;
    KeyValueFile list;
    ASSERT_TRUE(list.load(kLayoutListPath));
    std::set<char16_t> charactersOnlyUsed;
    for (const auto& [key, name] : list.values()) {
        selection.set_current(name);
        for (bool extra : { false, true }) {
            for (bool shift : { false, true }) {
                std::u16string text, shortName;
                ASSERT_TRUE(selection.load(text, shortName, shift, extra));
                for (size_t i = 0; i < text.size(); ++i) {
                    char16_t c = text[i];
                    if (extra && i == 32)
                        continue; // the settings key's place
                    bool arrow = c >= kArrowLeft && c <= kArrowDown;
                    if (arrow || selection.virtual_key(c) != 0)
                        continue;
                    if (kCharactersOnly.find(c) != std::u16string::npos) {
                        charactersOnlyUsed.insert(c);
                        continue;
                    }
                    ADD_FAILURE() << Utf8FromUtf16(name) << (extra ? " symbols" : "") << (shift ? " shifted" : "")
                                  << ": no virtual key for \"" << Utf8FromUtf16(std::u16string(1, c)) << "\"";
                }
            }
        }
    }
    // The list stays short and honest: each of its characters is actually on a layout.
    EXPECT_EQ(charactersOnlyUsed.size(), kCharactersOnly.size());
}

TEST(ShippedLayouts, PerLayoutKeysWinOverTheSharedOnes)
{
    TempDeviceRoot device;
    InstallKeyboardData(device);
    LayoutSelection selection;
    EXPECT_EQ(selection.virtual_key(u'q'), 81);
    EXPECT_EQ(selection.virtual_key(u','), 188);
    selection.set_current(u"russian");
    EXPECT_EQ(selection.virtual_key(u'й'), 81);
    EXPECT_EQ(selection.virtual_key(u'Ж'), 186);
    EXPECT_EQ(selection.virtual_key(u'.'), 191);
    selection.set_current(u"deutch");
    EXPECT_EQ(selection.virtual_key(u'ß'), 219);
    EXPECT_EQ(selection.virtual_key(u'z'), 90);
    selection.set_current(u"french");
    EXPECT_EQ(selection.virtual_key(u'é'), 50);
    EXPECT_EQ(selection.virtual_key(u'a'), 65);
}

} // namespace
