#pragma once
// Reads where an existing FAT32 volume keeps its root directory, from bytes found on an image or
// disk. Every field is checked before it is used: whatever the sectors hold, nothing is read
// outside them and no arithmetic overflows.

#include <cstdint>
#include <optional>
#include <span>

#include "fat32_layout.h"
#include "sector_sink.h"

namespace volkern {

// The layout a FAT32 boot sector describes, placed at `volumeStart`; nothing when the sector is
// not a consistent FAT32 boot sector with 512-byte sectors.
std::optional<Fat32Layout> ParseFat32BootSector(std::span<const std::uint8_t, kSectorSize> sector,
                                                std::uint64_t volumeStart);

// The first FAT32 partition (types 0x0B, 0x0C) of a master boot record: its first sector.
std::optional<std::uint32_t> FirstFat32Partition(std::span<const std::uint8_t, kSectorSize> sector);

enum class ReadError { None, ReadFailed, NotFat32 };

struct VolumeFound {
    Fat32Layout layout;
    ReadError error = ReadError::None;
};

// The FAT32 volume on a target: at sector 0, or in the first FAT32 partition of sector 0's MBR.
VolumeFound FindFat32Volume(SectorSink& target);

}  // namespace volkern
