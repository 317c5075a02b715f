#include "fat32_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace volkern {
namespace {

constexpr std::uint32_t kFatEntryMask = 0x0FFFFFFF;
constexpr std::uint8_t kMediaFixed = 0xF8;
constexpr std::uint32_t kGptSectors = 34;  // protective MBR, header and 32 sectors of entries

// A tiny boot program: a volume that is not bootable says so by halting (cli; hlt; jmp $-1).
constexpr std::uint8_t kHaltLoop[] = {0xFA, 0xF4, 0xEB, 0xFD};

using Sector = std::array<std::uint8_t, kSectorSize>;

template <typename Record>
Sector SectorOf(const Record& record) {
    static_assert(sizeof(Record) == kSectorSize);
    Sector sector;
    std::memcpy(sector.data(), &record, sizeof(Record));
    return sector;
}

bool WriteSector(SectorSink& sink, std::uint64_t at, const Sector& sector) { return sink.Write(at, sector); }

FsInfoSector MakeFsInfo(const Fat32Layout& layout) {
    FsInfoSector info{};
    info.leadSignature.Set(kFsInfoLeadSignature);
    info.structSignature.Set(kFsInfoStructSignature);
    info.freeClusters.Set(layout.clusters - 1);  // the root directory holds one
    info.nextFreeCluster.Set(layout.rootCluster + 1);
    info.trailSignature.Set(kFsInfoTrailSignature);
    return info;
}

// The first sector of a FAT: the media entry, the end-of-chain marker of entry 1 (clean, no
// errors) and the root directory's one-cluster chain.
Sector FatHead(const Fat32Layout& layout) {
    Sector sector{};
    auto put = [&](std::uint32_t entry, std::uint32_t value) {
        Le32 le;
        le.Set(value);
        std::copy(le.bytes.begin(), le.bytes.end(), sector.begin() + entry * 4);
    };
    put(0, 0x0FFFFF00u | kMediaFixed);
    put(1, kFatEntryMask);
    put(layout.rootCluster, kFatEntryMask);
    return sector;
}

Sector RootHead(const VolumeIdentity& identity) {
    Sector sector{};
    if (!identity.HasLabel()) return sector;
    DirectoryEntry entry{};
    entry.name = identity.label;
    entry.attributes = kAttributeVolumeLabel;
    entry.writeDate.Set(identity.dosDate);
    entry.writeTime.Set(identity.dosTime);
    std::memcpy(sector.data(), &entry, sizeof(entry));
    return sector;
}

// CHS of `lba` on the customary 255-head, 63-sector geometry; past cylinder 1023 the maximum.
std::array<std::uint8_t, 3> ChsOf(std::uint64_t lba) {
    constexpr std::uint64_t kHeads = 255, kSectorsPerTrack = 63;
    std::uint64_t cylinder = lba / (kHeads * kSectorsPerTrack);
    std::uint64_t head = (lba / kSectorsPerTrack) % kHeads;
    std::uint64_t sector = lba % kSectorsPerTrack + 1;
    if (cylinder > 1023) {
        cylinder = 1023;
        head = 254;
        sector = 63;
    }
    return {static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(sector | ((cylinder >> 2) & 0xC0)),
            static_cast<std::uint8_t>(cylinder & 0xFF)};
}

}  // namespace

Fat32BootSector MakeBootSector(const Fat32Layout& layout, const VolumeIdentity& identity) {
    Fat32BootSector boot{};
    boot.jump = {0xEB, 0x58, 0x90};
    boot.oemName = identity.oemName;
    boot.bytesPerSector.Set(kSectorSize);
    boot.sectorsPerCluster = static_cast<std::uint8_t>(layout.sectorsPerCluster);
    boot.reservedSectors.Set(layout.reservedSectors);
    boot.fatCount = static_cast<std::uint8_t>(layout.fatCount);
    boot.media = kMediaFixed;
    boot.sectorsPerTrack.Set(63);
    boot.heads.Set(255);
    boot.hiddenSectors.Set(layout.volumeStart);
    boot.totalSectors32.Set(layout.totalSectors);
    boot.fatSectors32.Set(layout.fatSectors);
    boot.rootCluster.Set(layout.rootCluster);
    boot.fsInfoSector.Set(kFsInfoSector);
    boot.backupBootSector.Set(kBackupBootSector);
    boot.driveNumber = 0x80;
    boot.bootSignature = 0x29;
    boot.volumeId.Set(identity.serial);
    boot.volumeLabel = identity.HasLabel() ? identity.label : std::array<char, 11>{'N', 'O', ' ', 'N', 'A', 'M',
                                                                                    'E', ' ', ' ', ' ', ' '};
    boot.fileSystemType = {'F', 'A', 'T', '3', '2', ' ', ' ', ' '};
    std::copy(std::begin(kHaltLoop), std::end(kHaltLoop), boot.bootCode.begin());
    boot.signature.Set(kSectorSignature);
    return boot;
}

bool WriteFat32(SectorSink& sink, const Fat32Layout& layout, const VolumeIdentity& identity) {
    const std::uint64_t start = layout.volumeStart;
    const Sector zero{};
    if (!WriteSector(sink, start, zero)) return false;
    if (!sink.Zero(start + 1, layout.reservedSectors - 1)) return false;
    for (std::uint32_t fat = 0; fat < layout.fatCount; ++fat) {
        if (!sink.Zero(layout.FatStart(fat), layout.fatSectors)) return false;
    }
    if (!sink.Zero(layout.RootSector(), layout.sectorsPerCluster)) return false;

    const Sector fatHead = FatHead(layout);
    for (std::uint32_t fat = 0; fat < layout.fatCount; ++fat) {
        if (!WriteSector(sink, layout.FatStart(fat), fatHead)) return false;
    }
    if (!WriteSector(sink, layout.RootSector(), RootHead(identity))) return false;

    const Sector info = SectorOf(MakeFsInfo(layout));
    const Sector boot = SectorOf(MakeBootSector(layout, identity));
    return WriteSector(sink, start + kFsInfoSector, info) && WriteSector(sink, start + kBackupBootSector + 1, info) &&
           WriteSector(sink, start + kBackupBootSector, boot) && WriteSector(sink, start, boot);
}

MasterBootRecord MakeMasterBootRecord(std::uint32_t diskSignature, std::uint32_t firstLba, std::uint32_t sectors) {
    MasterBootRecord record{};
    std::copy(std::begin(kHaltLoop), std::end(kHaltLoop), record.bootCode.begin());
    record.diskSignature.Set(diskSignature);
    MbrPartitionEntry& entry = record.partitions[0];
    entry.firstChs = ChsOf(firstLba);
    entry.type = kPartitionTypeFat32Lba;
    entry.lastChs = ChsOf(std::uint64_t{firstLba} + sectors - 1);
    entry.firstLba.Set(firstLba);
    entry.sectorCount.Set(sectors);
    record.signature.Set(kSectorSignature);
    return record;
}

bool WritePartitionTable(SectorSink& sink, std::uint64_t diskSectors, const MasterBootRecord& record) {
    if (!sink.Zero(1, std::min<std::uint64_t>(kGptSectors - 1, diskSectors - 1))) return false;
    if (diskSectors > 2 * kGptSectors && !sink.Zero(diskSectors - (kGptSectors - 1), kGptSectors - 1)) return false;
    return WriteSector(sink, 0, SectorOf(record));
}

}  // namespace volkern
