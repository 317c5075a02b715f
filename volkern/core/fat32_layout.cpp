#include "fat32_layout.h"

namespace volkern {
namespace {

constexpr std::uint64_t kMiB = 2048;  // in sectors

// Clusters that fit beside two FATs of `fatSectors` each.
std::uint64_t ClustersFor(std::uint64_t sectors, std::uint64_t reserved, std::uint64_t fatSectors,
                          std::uint64_t sectorsPerCluster) {
    const std::uint64_t used = reserved + kFatCount * fatSectors;
    return used >= sectors ? 0 : (sectors - used) / sectorsPerCluster;
}

// A FAT of `fatSectors` holds 128 entries a sector, two of them reserved.
bool FatHolds(std::uint64_t fatSectors, std::uint64_t clusters) { return fatSectors * 128 >= clusters + 2; }

// The smallest FAT for `clusters`.
std::uint64_t FatSectorsFor(std::uint64_t clusters) { return (clusters + 2 + 127) / 128; }

// The smallest FAT that covers the clusters left beside it.
std::uint64_t SmallestFat(std::uint64_t sectors, std::uint64_t reserved, std::uint64_t sectorsPerCluster) {
    std::uint64_t fat = (sectors - reserved + 2 * sectorsPerCluster) / (128 * sectorsPerCluster + kFatCount) + 1;
    while (fat > 1 && FatHolds(fat - 1, ClustersFor(sectors, reserved, fat - 1, sectorsPerCluster))) --fat;
    while (!FatHolds(fat, ClustersFor(sectors, reserved, fat, sectorsPerCluster))) ++fat;
    return fat;
}

}  // namespace

std::uint32_t DefaultSectorsPerCluster(std::uint64_t sectors) {
    if (sectors <= 260 * kMiB) return 1;
    if (sectors <= 8 * 1024 * kMiB) return 8;
    if (sectors <= 16 * 1024 * kMiB) return 16;
    if (sectors <= 32 * 1024 * kMiB) return 32;
    return 64;
}

LayoutPlan PlanFat32(std::uint64_t volumeStart, std::uint64_t sectors, std::uint32_t sectorsPerCluster) {
    LayoutPlan plan;
    if (sectorsPerCluster == 0) sectorsPerCluster = DefaultSectorsPerCluster(sectors);
    if (sectorsPerCluster > 128 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0) {
        plan.error = LayoutError::BadClusterSize;
        return plan;
    }
    if (sectors > 0xFFFFFFFFu || volumeStart > 0xFFFFFFFFu) {
        plan.error = LayoutError::TooLarge;
        return plan;
    }
    // Room at least for the reserved area, two FATs of the minimum cluster count and those
    // clusters? Padding to the boundary comes on top unless the volume's start makes it nil; the
    // exact count of clusters below decides.
    const std::uint64_t minimum = kMinReservedSectors + kFatCount * FatSectorsFor(kMinFat32Clusters) +
                                  std::uint64_t{kMinFat32Clusters} * sectorsPerCluster;
    if (sectors < minimum) {
        plan.error = LayoutError::TooSmall;
        return plan;
    }

    // FATs sized for the smallest reserved area fix where the data area starts: on the first
    // boundary after them.
    const std::uint64_t firstFat = SmallestFat(sectors, kMinReservedSectors, sectorsPerCluster);
    const std::uint64_t dataUnaligned = volumeStart + kMinReservedSectors + kFatCount * firstFat;
    const std::uint64_t dataAligned = (dataUnaligned + kAlignmentSectors - 1) / kAlignmentSectors * kAlignmentSectors;
    const std::uint64_t dataOffset = dataAligned - volumeStart;
    const std::uint64_t clusters = dataOffset >= sectors ? 0 : (sectors - dataOffset) / sectorsPerCluster;
    // The alignment took clusters away: FATs sized for what is left can be smaller, and the
    // reserved area takes up what they give back, so the data area stays where it is.
    const std::uint64_t finalFat = FatSectorsFor(clusters);
    const std::uint64_t reserved = dataOffset - kFatCount * finalFat;
    if (clusters < kMinFat32Clusters) {
        plan.error = LayoutError::TooSmall;
        return plan;
    }
    if (clusters > kMaxFat32Clusters) {
        plan.error = LayoutError::TooLarge;
        return plan;
    }
    plan.layout.volumeStart = volumeStart;
    plan.layout.totalSectors = static_cast<std::uint32_t>(sectors);
    plan.layout.sectorsPerCluster = sectorsPerCluster;
    plan.layout.reservedSectors = static_cast<std::uint32_t>(reserved);
    plan.layout.fatSectors = static_cast<std::uint32_t>(finalFat);
    plan.layout.clusters = static_cast<std::uint32_t>(clusters);
    return plan;
}

}  // namespace volkern
