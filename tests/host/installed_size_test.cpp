// The installed size: each file rounded up to whole KiB, summed in 32 bits.
#include "install/installed_size.h"

#include <gtest/gtest.h>

TEST(InstalledSize, RoundsEachFileUpToWholeKiB)
{
    EXPECT_EQ(0u, SizeInKiB(0));
    EXPECT_EQ(1u, SizeInKiB(1));
    EXPECT_EQ(1u, SizeInKiB(1024));
    EXPECT_EQ(2u, SizeInKiB(1025));
    EXPECT_EQ(4194304u, SizeInKiB(std::uint64_t(4) << 30));  // 4 GiB: beyond 32-bit byte counts
}

TEST(InstalledSize, AddsTheRoundedSizesOfTheThreeFiles)
{
    // Application, help file and Uninstall.exe of a real build.
    std::uint32_t total = SizeInKiB(29622560) + SizeInKiB(35326) + SizeInKiB(9122080);
    EXPECT_EQ(28929u + 35u + 8909u, total);
    EXPECT_EQ(37873u, total);
}
