// The layout fuzz targets' seeds and the inputs that once broke them, each on a fresh device.
#include <gtest/gtest.h>

#include "tests/fuzz/FuzzInputs.h"
#include "tests/fuzz/LayoutFuzz.h"
#include "tests/support/DeviceRoot.h"

TEST(LayoutFuzzInputs, LayoutFilesReplay)
{
    auto inputs = FuzzInputs("layout_files");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        TempDeviceRoot device;
        FuzzLayoutFiles(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        // Whatever the files held, the keyboard is left with a layout that loads.
        LayoutSelection layouts;
        std::u16string text, short_name;
        EXPECT_TRUE(layouts.load(text, short_name, false, false));
        EXPECT_GE(text.size(), size_t(3 * kRowLength));
    }
}

TEST(LayoutFuzzInputs, LayoutSelectionRoundTrips)
{
    auto inputs = FuzzInputs("layout_selection");
    ASSERT_FALSE(inputs.empty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        TempDeviceRoot device;
        const char* broken = FuzzLayoutSelection(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(broken, nullptr) << broken;
    }
}
