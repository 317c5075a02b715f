#pragma once
// Where the parts of a FAT32 volume go: reserved sectors, two FATs, the data area. Pure
// arithmetic, shared by the writer and by the root-sector lookup.

#include <cstdint>
#include <optional>

namespace volkern {

inline constexpr std::uint32_t kMinFat32Clusters = 65525;
inline constexpr std::uint32_t kMaxFat32Clusters = 0x0FFFFFF4;  // cluster numbers up to 0x0FFFFFF5
inline constexpr std::uint32_t kMinReservedSectors = 32;
inline constexpr std::uint32_t kFatCount = 2;
inline constexpr std::uint32_t kAlignmentSectors = 2048;  // 1 MiB
inline constexpr std::uint32_t kRootCluster = 2;

struct Fat32Layout {
    std::uint64_t volumeStart = 0;   // sector of the boot sector on the target (the hidden sectors)
    std::uint32_t totalSectors = 0;  // the volume's size
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatSectors = 0;  // one FAT
    std::uint32_t clusters = 0;    // data clusters, numbered from 2
    std::uint32_t fatCount = kFatCount;
    std::uint32_t rootCluster = kRootCluster;

    std::uint64_t FatStart(std::uint32_t fat) const {
        return volumeStart + reservedSectors + std::uint64_t{fat} * fatSectors;
    }
    std::uint64_t DataStart() const { return FatStart(fatCount); }
    std::uint64_t ClusterStart(std::uint32_t cluster) const {
        return DataStart() + std::uint64_t{cluster - 2} * sectorsPerCluster;
    }
    std::uint64_t RootSector() const { return ClusterStart(rootCluster); }
};

enum class LayoutError { None, BadClusterSize, TooSmall, TooLarge };

struct LayoutPlan {
    Fat32Layout layout;
    LayoutError error = LayoutError::None;
};

// The cluster size (in sectors) chosen for a volume of `sectors` sectors.
std::uint32_t DefaultSectorsPerCluster(std::uint64_t sectors);

// A volume of `sectors` sectors starting at `volumeStart` on its disk, with `sectorsPerCluster`
// (0 = DefaultSectorsPerCluster). The data area starts on a 1 MiB boundary of the disk.
LayoutPlan PlanFat32(std::uint64_t volumeStart, std::uint64_t sectors, std::uint32_t sectorsPerCluster);

}  // namespace volkern
