#include "volkern/core/fat32_layout.h"

#include <gtest/gtest.h>

namespace {

using volkern::LayoutError;
using volkern::PlanFat32;

constexpr std::uint64_t kMiB = 2048;
constexpr std::uint64_t kGiB = 1024 * kMiB;

// What every layout must hold: FAT32's cluster range, FATs that cover every cluster and are no
// bigger than needed, a data area on a 1 MiB boundary of the disk, and all of it inside the volume.
void ExpectSound(const volkern::Fat32Layout& layout) {
    EXPECT_GE(layout.clusters, volkern::kMinFat32Clusters);
    EXPECT_LE(layout.clusters, volkern::kMaxFat32Clusters);
    EXPECT_GE(std::uint64_t{layout.fatSectors} * 128, std::uint64_t{layout.clusters} + 2);
    EXPECT_LT(std::uint64_t{layout.fatSectors - 1} * 128, std::uint64_t{layout.clusters} + 2)
        << "FAT larger than the clusters need";
    EXPECT_EQ(layout.DataStart() % volkern::kAlignmentSectors, 0u);
    EXPECT_GE(layout.reservedSectors, volkern::kMinReservedSectors);
    EXPECT_LE(layout.reservedSectors, 0xFFFFu) << "a 16-bit field";
    EXPECT_LE(layout.DataStart() - layout.volumeStart + std::uint64_t{layout.clusters} * layout.sectorsPerCluster,
              layout.totalSectors);
    // Whatever is left after the last cluster is less than one cluster.
    EXPECT_LT(layout.totalSectors - (layout.DataStart() - layout.volumeStart) -
                  std::uint64_t{layout.clusters} * layout.sectorsPerCluster,
              layout.sectorsPerCluster);
}

TEST(Fat32Layout, ClusterSizeFollowsTheVolumeSize) {
    struct Case {
        std::uint64_t sectors;
        std::uint32_t sectorsPerCluster;
    };
    for (const Case& c : {Case{64 * kMiB, 1}, Case{260 * kMiB, 1}, Case{261 * kMiB, 8}, Case{2 * kGiB, 8},
                          Case{8 * kGiB, 8}, Case{12 * kGiB, 16}, Case{32 * kGiB, 32}, Case{300 * kGiB, 64},
                          Case{0xFFFFFFFFu, 64}}) {
        const auto plan = PlanFat32(0, c.sectors, 0);
        ASSERT_EQ(plan.error, LayoutError::None) << c.sectors;
        EXPECT_EQ(plan.layout.sectorsPerCluster, c.sectorsPerCluster) << c.sectors;
        ExpectSound(plan.layout);
    }
}

TEST(Fat32Layout, KnownSizesGiveTheseFigures) {
    // 64 MiB in 512-byte clusters: 131072 sectors. 130 F >= 131072 - 32 + 2 gives FATs of 1009
    // sectors; 32 + 2 x 1009 = 2050 rounds up to a data area at 4096. The 126976 clusters left
    // need FATs of only 993 sectors (127104 entries), so 2110 reserved sectors.
    const auto small = PlanFat32(0, 64 * kMiB, 0).layout;
    EXPECT_EQ(small.fatSectors, 993u);
    EXPECT_EQ(small.DataStart(), 4096u);
    EXPECT_EQ(small.reservedSectors, 2110u);
    EXPECT_EQ(small.clusters, 131072u - 4096u);
    // 300 GiB in 32 KiB clusters: 8194 F >= 629145600 - 32 + 128 gives 76782; the data area at
    // 32 + 2 x 76782 = 153596 rounds up to 153600.
    const auto large = PlanFat32(0, 300 * kGiB, 0).layout;
    EXPECT_EQ(large.sectorsPerCluster, 64u);
    EXPECT_EQ(large.fatSectors, 76782u);
    EXPECT_EQ(large.DataStart(), 153600u);
    EXPECT_EQ(large.clusters, (629145600u - 153600u) / 64u);
    EXPECT_EQ(large.RootSector(), large.DataStart());
    ExpectSound(large);
}

TEST(Fat32Layout, APartitionAtOneMiBStaysAligned) {
    for (std::uint64_t sectors : {64 * kMiB, 2 * kGiB - 2048, 300 * kGiB - 2048}) {
        const auto plan = PlanFat32(2048, sectors, 0);
        ASSERT_EQ(plan.error, LayoutError::None);
        EXPECT_EQ(plan.layout.volumeStart, 2048u);
        ExpectSound(plan.layout);
    }
    // An odd start (a drive's partition made by another tool) is aligned from the disk's start.
    const auto odd = PlanFat32(63, 64 * kMiB, 0);
    ASSERT_EQ(odd.error, LayoutError::None);
    ExpectSound(odd.layout);
}

TEST(Fat32Layout, ChosenClusterSizesAreHonouredOrRefused) {
    const auto chosen = PlanFat32(0, 2 * kGiB, 16);
    ASSERT_EQ(chosen.error, LayoutError::None);
    EXPECT_EQ(chosen.layout.sectorsPerCluster, 16u);
    ExpectSound(chosen.layout);
    EXPECT_EQ(PlanFat32(0, 2 * kGiB, 3).error, LayoutError::BadClusterSize);
    EXPECT_EQ(PlanFat32(0, 2 * kGiB, 256).error, LayoutError::BadClusterSize);
    // Too few clusters for FAT32 with 32 KiB clusters on 2 GiB.
    EXPECT_EQ(PlanFat32(0, 2 * kGiB, 64).error, LayoutError::TooSmall);
}

TEST(Fat32Layout, SizesOutsideFat32AreRefused) {
    EXPECT_EQ(PlanFat32(0, 0, 0).error, LayoutError::TooSmall);
    EXPECT_EQ(PlanFat32(0, 32 * kMiB, 0).error, LayoutError::TooSmall);
    // The smallest that works with 512-byte clusters: the reserved area and two FATs of 512
    // sectors fit below the data area at 1 MiB, and 65525 clusters follow it.
    for (const std::uint64_t start : {std::uint64_t{0}, std::uint64_t{2048}}) {
        const auto smallest = PlanFat32(start, 2048 + 65525, 1);
        ASSERT_EQ(smallest.error, LayoutError::None) << start;
        EXPECT_EQ(smallest.layout.clusters, 65525u);
        EXPECT_EQ(smallest.layout.DataStart(), start + 2048);
        ExpectSound(smallest.layout);
        EXPECT_EQ(PlanFat32(start, 2048 + 65525 - 1, 1).error, LayoutError::TooSmall) << start;
        EXPECT_EQ(PlanFat32(start, 2048 + 65525, 0).error, LayoutError::None) << "the default cluster size";
    }
    // Each size from there up to the old limit, and a start that needs no padding at all.
    for (std::uint64_t sectors = 2048 + 65525; sectors <= 2048 + 65525 + 40; ++sectors) {
        const auto plan = PlanFat32(0, sectors, 1);
        ASSERT_EQ(plan.error, LayoutError::None) << sectors;
        ExpectSound(plan.layout);
    }
    const auto unpadded = PlanFat32(2048 - 32 - 2 * 512, 32 + 2 * 512 + 65525, 1);
    ASSERT_EQ(unpadded.error, LayoutError::None);
    EXPECT_EQ(unpadded.layout.reservedSectors, 32u);
    ExpectSound(unpadded.layout);
    EXPECT_EQ(PlanFat32(2048 - 32 - 2 * 512, 32 + 2 * 512 + 65525 - 1, 1).error, LayoutError::TooSmall);
    EXPECT_EQ(PlanFat32(0, 0x100000000u, 0).error, LayoutError::TooLarge);
    EXPECT_EQ(PlanFat32(0x100000000u, 64 * kMiB, 0).error, LayoutError::TooLarge);
    // 2 TiB in 512-byte clusters would need more cluster numbers than FAT32 has.
    EXPECT_EQ(PlanFat32(0, 0xFFFFFFFFu, 1).error, LayoutError::TooLarge);
}

}  // namespace
