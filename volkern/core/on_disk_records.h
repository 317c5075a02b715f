#pragma once
// The on-disk records a FAT32 build writes and reads: the master boot record, the FAT32 boot
// sector, the FSInfo sector and a directory entry. Every field is a little-endian byte array, so
// the records have no padding and read the same on any host; sizes and offsets are pinned below.

#include <array>
#include <cstddef>
#include <cstdint>

namespace volkern {

template <std::size_t N>
struct LittleEndian {
    std::array<std::uint8_t, N> bytes{};

    void Set(std::uint64_t value) {
        for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::uint64_t Get() const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < N; ++i) value |= std::uint64_t{bytes[i]} << (8 * i);
        return value;
    }
};
using Le16 = LittleEndian<2>;
using Le32 = LittleEndian<4>;

inline constexpr std::uint16_t kSectorSignature = 0xAA55;  // bytes 510..511: 55 AA

struct MbrPartitionEntry {
    std::uint8_t status;
    std::array<std::uint8_t, 3> firstChs;
    std::uint8_t type;
    std::array<std::uint8_t, 3> lastChs;
    Le32 firstLba;
    Le32 sectorCount;
};
static_assert(sizeof(MbrPartitionEntry) == 16);

struct MasterBootRecord {
    std::array<std::uint8_t, 440> bootCode;
    Le32 diskSignature;
    Le16 reserved;
    std::array<MbrPartitionEntry, 4> partitions;
    Le16 signature;
};
static_assert(sizeof(MasterBootRecord) == 512);
static_assert(offsetof(MasterBootRecord, diskSignature) == 440);
static_assert(offsetof(MasterBootRecord, partitions) == 446);
static_assert(offsetof(MasterBootRecord, signature) == 510);

inline constexpr std::uint8_t kPartitionTypeFat32Lba = 0x0C;
inline constexpr std::uint8_t kPartitionTypeFat32Chs = 0x0B;
inline constexpr std::uint8_t kPartitionTypeGptProtective = 0xEE;

struct Fat32BootSector {
    std::array<std::uint8_t, 3> jump;
    std::array<char, 8> oemName;
    Le16 bytesPerSector;
    std::uint8_t sectorsPerCluster;
    Le16 reservedSectors;
    std::uint8_t fatCount;
    Le16 rootEntries;     // 0 on FAT32
    Le16 totalSectors16;  // 0 on FAT32
    std::uint8_t media;
    Le16 fatSectors16;  // 0 on FAT32
    Le16 sectorsPerTrack;
    Le16 heads;
    Le32 hiddenSectors;
    Le32 totalSectors32;
    Le32 fatSectors32;
    Le16 extendedFlags;
    Le16 fileSystemVersion;
    Le32 rootCluster;
    Le16 fsInfoSector;
    Le16 backupBootSector;
    std::array<std::uint8_t, 12> reserved;
    std::uint8_t driveNumber;
    std::uint8_t reserved1;
    std::uint8_t bootSignature;  // 0x29: the next three fields are present
    Le32 volumeId;
    std::array<char, 11> volumeLabel;
    std::array<char, 8> fileSystemType;
    std::array<std::uint8_t, 420> bootCode;
    Le16 signature;
};
static_assert(sizeof(Fat32BootSector) == 512);
static_assert(offsetof(Fat32BootSector, bytesPerSector) == 11);
static_assert(offsetof(Fat32BootSector, reservedSectors) == 14);
static_assert(offsetof(Fat32BootSector, media) == 21);
static_assert(offsetof(Fat32BootSector, hiddenSectors) == 28);
static_assert(offsetof(Fat32BootSector, fatSectors32) == 36);
static_assert(offsetof(Fat32BootSector, rootCluster) == 44);
static_assert(offsetof(Fat32BootSector, backupBootSector) == 50);
static_assert(offsetof(Fat32BootSector, bootSignature) == 66);
static_assert(offsetof(Fat32BootSector, volumeLabel) == 71);
static_assert(offsetof(Fat32BootSector, fileSystemType) == 82);
static_assert(offsetof(Fat32BootSector, bootCode) == 90);
static_assert(offsetof(Fat32BootSector, signature) == 510);

inline constexpr std::uint32_t kFsInfoSector = 1;
inline constexpr std::uint32_t kBackupBootSector = 6;  // FSInfo's backup follows it

struct FsInfoSector {
    Le32 leadSignature;  // 0x41615252
    std::array<std::uint8_t, 480> reserved1;
    Le32 structSignature;  // 0x61417272
    Le32 freeClusters;
    Le32 nextFreeCluster;
    std::array<std::uint8_t, 12> reserved2;
    Le32 trailSignature;  // 0xAA550000
};
static_assert(sizeof(FsInfoSector) == 512);
static_assert(offsetof(FsInfoSector, structSignature) == 484);
static_assert(offsetof(FsInfoSector, freeClusters) == 488);
static_assert(offsetof(FsInfoSector, trailSignature) == 508);

inline constexpr std::uint32_t kFsInfoLeadSignature = 0x41615252;
inline constexpr std::uint32_t kFsInfoStructSignature = 0x61417272;
inline constexpr std::uint32_t kFsInfoTrailSignature = 0xAA550000;

struct DirectoryEntry {
    std::array<char, 11> name;
    std::uint8_t attributes;
    std::uint8_t reserved;
    std::uint8_t creationTenths;
    Le16 creationTime;
    Le16 creationDate;
    Le16 accessDate;
    Le16 firstClusterHigh;
    Le16 writeTime;
    Le16 writeDate;
    Le16 firstClusterLow;
    Le32 fileSize;
};
static_assert(sizeof(DirectoryEntry) == 32);
static_assert(offsetof(DirectoryEntry, writeTime) == 22);
static_assert(offsetof(DirectoryEntry, fileSize) == 28);

inline constexpr std::uint8_t kAttributeVolumeLabel = 0x08;

}  // namespace volkern
