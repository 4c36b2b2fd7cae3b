// The language fuzz target's seeds and the inputs that once broke it, on an installed device.
#include <gtest/gtest.h>

#include "tests/fuzz/FuzzInputs.h"
#include "tests/fuzz/LanguageFuzz.h"
#include "tests/settings_app/SettingsRun.h"

TEST(LanguageFuzzInputs, Replay)
{
    auto inputs = FuzzInputs("language");
    ASSERT_FALSE(inputs.empty());
    TempDeviceRoot device;
    InstallSettingsData(device);
    FuzzSettingsProgram program;
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        FuzzLanguage(program, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        // The file just loaded is the language in force, whatever it held.
        EXPECT_EQ(program.language.name(), u"fuzz");
    }
}
