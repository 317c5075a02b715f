#include "boot_sector_reader.h"

#include <array>
#include <cstring>

#include "on_disk_records.h"

namespace volkern {

std::optional<Fat32Layout> ParseFat32BootSector(std::span<const std::uint8_t, kSectorSize> sector,
                                                std::uint64_t volumeStart) {
    Fat32BootSector boot;
    std::memcpy(&boot, sector.data(), sizeof(boot));
    if (boot.signature.Get() != kSectorSignature) return std::nullopt;
    if (boot.bytesPerSector.Get() != kSectorSize) return std::nullopt;
    const std::uint32_t spc = boot.sectorsPerCluster;
    if (spc == 0 || spc > 128 || (spc & (spc - 1)) != 0) return std::nullopt;
    // FAT32 marks: no fixed root directory, no 16-bit sizes.
    if (boot.rootEntries.Get() != 0 || boot.fatSectors16.Get() != 0 || boot.totalSectors16.Get() != 0) {
        return std::nullopt;
    }
    const std::uint64_t reserved = boot.reservedSectors.Get();
    const std::uint64_t fats = boot.fatCount;
    const std::uint64_t fatSectors = boot.fatSectors32.Get();
    const std::uint64_t total = boot.totalSectors32.Get();
    if (reserved == 0 || fats == 0 || fats > 2 || fatSectors == 0) return std::nullopt;
    const std::uint64_t dataStart = reserved + fats * fatSectors;  // below 2^34: no overflow
    if (dataStart >= total) return std::nullopt;
    const std::uint64_t clusters = (total - dataStart) / spc;
    if (clusters < 1 || clusters > kMaxFat32Clusters || fatSectors * 128 < clusters + 2) return std::nullopt;
    const std::uint64_t root = boot.rootCluster.Get();
    if (root < 2 || root >= clusters + 2) return std::nullopt;

    Fat32Layout layout;
    layout.volumeStart = volumeStart;
    layout.totalSectors = static_cast<std::uint32_t>(total);
    layout.sectorsPerCluster = spc;
    layout.reservedSectors = static_cast<std::uint32_t>(reserved);
    layout.fatSectors = static_cast<std::uint32_t>(fatSectors);
    layout.clusters = static_cast<std::uint32_t>(clusters);
    layout.fatCount = static_cast<std::uint32_t>(fats);
    layout.rootCluster = static_cast<std::uint32_t>(root);
    return layout;
}

std::optional<std::uint32_t> FirstFat32Partition(std::span<const std::uint8_t, kSectorSize> sector) {
    MasterBootRecord record;
    std::memcpy(&record, sector.data(), sizeof(record));
    if (record.signature.Get() != kSectorSignature) return std::nullopt;
    for (const MbrPartitionEntry& entry : record.partitions) {
        if (entry.type != kPartitionTypeFat32Lba && entry.type != kPartitionTypeFat32Chs) continue;
        const auto first = static_cast<std::uint32_t>(entry.firstLba.Get());
        if (first != 0 && entry.sectorCount.Get() != 0) return first;
    }
    return std::nullopt;
}

VolumeFound FindFat32Volume(SectorSink& target) {
    VolumeFound found;
    std::array<std::uint8_t, kSectorSize> sector{};
    if (!target.Read(0, sector)) {
        found.error = ReadError::ReadFailed;
        return found;
    }
    if (const auto layout = ParseFat32BootSector(sector, 0)) {
        found.layout = *layout;
        return found;
    }
    const auto partition = FirstFat32Partition(sector);
    if (!partition) {
        found.error = ReadError::NotFat32;
        return found;
    }
    if (!target.Read(*partition, sector)) {
        found.error = ReadError::ReadFailed;
        return found;
    }
    const auto layout = ParseFat32BootSector(sector, *partition);
    if (!layout) {
        found.error = ReadError::NotFat32;
        return found;
    }
    found.layout = *layout;
    return found;
}

}  // namespace volkern
