#include <simhost.h>
#include <winbase.h>

#include <gtest/gtest.h>

namespace {

struct VirtualClock : ::testing::Test {
    void TearDown() override { SimUseRealClock(); }
};

TEST_F(VirtualClock, MovesOnlyWhenAskedAndWrapsAt32Bits)
{
    SimUseVirtualClock(0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    Sleep(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u);
    SimAdvanceTicks(5);
    EXPECT_EQ(GetTickCount(), 0x15u);
    // Elapsed time computed in unsigned arithmetic survives the wrap, as device code expects.
    EXPECT_EQ(GetTickCount() - 0xFFFFFFF0u, 0x25u);
}

TEST(RealClock, AdvancesWithSleep)
{
    SimUseRealClock();
    DWORD start = GetTickCount();
    Sleep(20);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 2000u);
}

}
