#include "runtime/Registry.h"
#include "runtime/RegistryWatch.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

const char16_t kTarn[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

using Watch = DeviceRootTest;

TEST_F(Watch, TellsOfChangesSinceTheLastLookThatSawOne)
{
    RegistryWatch watch(kTarn);
    EXPECT_TRUE(watch.changed()) << "nothing was read yet";
    EXPECT_FALSE(watch.changed());
    DWORD value = 0;
    RegReadNumber(kTarn, u"Log", value);
    EXPECT_FALSE(watch.changed()) << "reading is no change";

    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 1));
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());

    // Changes while the caller reads show at the next look, not lost.
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 2));
    ASSERT_TRUE(RegWriteNumber(kTarn, u"Log", 3));
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());

    pid_t child = fork();
    if (child == 0)
        _exit(RegWriteText(u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys", u"Language", u"german") ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(watch.changed()) << "another program's write, below the watched key";
}

TEST_F(Watch, ABadPathCountsEveryLookAsAChange)
{
    RegistryWatch watch(u"HKEY_CURRENT_CONFIG\\Software");
    EXPECT_TRUE(watch.changed());
    EXPECT_TRUE(watch.changed());
}

}
