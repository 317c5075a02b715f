#include "build_operations.h"

#include <array>
#include <cstring>

#include "boot_sector_reader.h"
#include "device_sink.h"
#include "disk_lookup.h"
#include "fat32_layout.h"
#include "fat32_writer.h"

namespace volkern {
namespace {

constexpr std::uint32_t kPartitionStart = kAlignmentSectors;  // 1 MiB
constexpr std::uint32_t kDriveTypeRemovable = 2;
constexpr std::uint32_t kDriveTypeFixed = 3;

std::uint32_t StatusOf(LayoutError error) {
    switch (error) {
        case LayoutError::None: return VOLKERN_OK;
        case LayoutError::BadClusterSize: return VOLKERN_ERROR_BAD_PARAMETER;
        case LayoutError::TooSmall: return VOLKERN_ERROR_SIZE_TOO_SMALL;
        case LayoutError::TooLarge: return VOLKERN_ERROR_SIZE_TOO_LARGE;
    }
    return VOLKERN_ERROR_INTERNAL;
}

BuildResult Failure(std::uint32_t status) { return BuildResult{status, 0}; }

// Where the volume of a request goes on a target of `targetSectors`: the whole target, or a
// partition from 1 MiB to its end.
LayoutPlan PlanOn(std::uint64_t targetSectors, bool partitioned, std::uint32_t sectorsPerCluster) {
    if (!partitioned) return PlanFat32(0, targetSectors, sectorsPerCluster);
    if (targetSectors <= kPartitionStart) return LayoutPlan{{}, LayoutError::TooSmall};
    // MBR entries count 32-bit sectors, so the partition must end below 2^32.
    if (targetSectors > 0xFFFFFFFFu) return LayoutPlan{{}, LayoutError::TooLarge};
    return PlanFat32(kPartitionStart, targetSectors - kPartitionStart, sectorsPerCluster);
}

bool WritePartitioned(SectorSink& sink, std::uint64_t diskSectors, std::uint32_t diskSignature,
                      const Fat32Layout& layout, const VolumeIdentity& identity) {
    const MasterBootRecord record =
        MakeMasterBootRecord(diskSignature, static_cast<std::uint32_t>(layout.volumeStart), layout.totalSectors);
    return WritePartitionTable(sink, diskSectors, record) && WriteFat32(sink, layout, identity);
}

// The disk signature already in sector 0, kept so that the system knows the disk again; else
// the volume's serial number.
std::uint32_t DiskSignature(SectorSink& sink, std::uint32_t serial) {
    std::array<std::uint8_t, kSectorSize> sector{};
    if (!sink.Read(0, sector)) return serial;
    MasterBootRecord record;
    std::memcpy(&record, sector.data(), sizeof record);
    const auto kept = static_cast<std::uint32_t>(record.diskSignature.Get());
    return record.signature.Get() == kSectorSignature && kept != 0 ? kept : serial;
}

char DriveLetter(int drive) {
    if (drive >= 0 && drive < 26) return static_cast<char>('A' + drive);
    if (drive >= 'A' && drive <= 'Z') return static_cast<char>(drive);
    if (drive >= 'a' && drive <= 'z') return static_cast<char>(drive - 'a' + 'A');
    return 0;
}

bool IsSystemLetter(const SystemFacts& system, char letter) {
    return system.systemLetters.find(letter) != std::string::npos;
}

}  // namespace

BuildResult CreateImage(ImageFiles& files, const FormatRequest& request) {
    if (request.path.empty()) return Failure(VOLKERN_ERROR_BAD_PARAMETER);
    const LayoutPlan plan = PlanOn(request.sectorCount, request.partitionedImage, request.sectorsPerCluster);
    if (plan.error != LayoutError::None) return Failure(StatusOf(plan.error));
    std::uint32_t error = VOLKERN_OK;
    const auto image = files.Create(request.path, request.sectorCount, request.replaceImage, error);
    if (!image) return Failure(error != VOLKERN_OK ? error : VOLKERN_ERROR_OPEN_FAILED);
    const bool written = request.partitionedImage
                             ? WritePartitioned(*image, request.sectorCount, request.identity.serial, plan.layout,
                                                request.identity)
                             : WriteFat32(*image, plan.layout, request.identity);
    if (!written || !image->Keep()) return Failure(VOLKERN_ERROR_WRITE_FAILED);
    return BuildResult{VOLKERN_OK, static_cast<std::uint32_t>(plan.layout.RootSector())};
}

BuildResult BuildDrive(devio::DeviceStack& stack, const SystemFacts& system, int drive, const FormatRequest& request) {
    const char letter = DriveLetter(drive);
    if (letter == 0 || (stack.LogicalDriveMask() & (1u << (letter - 'A'))) == 0) {
        return Failure(VOLKERN_ERROR_BAD_DRIVE);
    }
    if (IsSystemLetter(system, letter)) return Failure(VOLKERN_ERROR_SYSTEM_DRIVE);
    const std::uint32_t type = stack.DriveType(std::string(1, letter) + ":\\");
    if (type != kDriveTypeRemovable && type != kDriveTypeFixed) return Failure(VOLKERN_ERROR_BAD_DRIVE);

    const auto systemDisks = SystemDisks(stack, system.systemLetters);
    if (!systemDisks) return Failure(VOLKERN_ERROR_SYSTEM_UNKNOWN);
    OpenDevice volume(stack, VolumePathOf(letter), devio::kGenericRead | devio::kGenericWrite);
    if (!volume.Valid()) return Failure(VOLKERN_ERROR_OPEN_FAILED);
    const auto extents = ExtentsOf(stack, volume.Handle());
    if (!extents || extents->size() != 1) return Failure(VOLKERN_ERROR_BAD_DRIVE);
    const devio::DiskExtent extent = extents->front();
    if (systemDisks->count(extent.DiskNumber) != 0) return Failure(VOLKERN_ERROR_SYSTEM_DRIVE);
    if (extent.StartingOffset < 0 || extent.ExtentLength <= 0 || extent.StartingOffset % kSectorSize != 0) {
        return Failure(VOLKERN_ERROR_BAD_DRIVE);
    }
    const auto first = static_cast<std::uint64_t>(extent.StartingOffset) / kSectorSize;
    const auto available = static_cast<std::uint64_t>(extent.ExtentLength) / kSectorSize;
    if (request.sectorCount > available) return Failure(VOLKERN_ERROR_SIZE_TOO_LARGE);
    const std::uint64_t sectors = request.sectorCount != 0 ? request.sectorCount : available;

    const auto capacity = ReadDiskCapacity(stack, volume.Handle());
    if (!capacity) return Failure(VOLKERN_ERROR_READ_FAILED);
    if (capacity->sectorSize != kSectorSize) return Failure(VOLKERN_ERROR_SECTOR_SIZE);
    if (first + sectors > capacity->sectors) return Failure(VOLKERN_ERROR_BAD_DRIVE);

    const LayoutPlan plan = PlanFat32(first, sectors, request.sectorsPerCluster);
    if (plan.error != LayoutError::None) return Failure(StatusOf(plan.error));
    if (!LockAndDismount(volume)) return Failure(VOLKERN_ERROR_VOLUME_IN_USE);

    DeviceSink sink(stack, volume.Handle(), first, sectors);
    if (!WriteFat32(sink, plan.layout, request.identity)) return Failure(VOLKERN_ERROR_WRITE_FAILED);
    return BuildResult{VOLKERN_OK, static_cast<std::uint32_t>(plan.layout.RootSector() - first)};
}

BuildResult BuildPhysicalDisk(devio::DeviceStack& stack, const SystemFacts& system, std::uint32_t deviceNumber,
                              const FormatRequest& request, bool unmount) {
    const auto systemDisks = SystemDisks(stack, system.systemLetters);
    if (!systemDisks) return Failure(VOLKERN_ERROR_SYSTEM_UNKNOWN);
    if (systemDisks->count(deviceNumber) != 0) return Failure(VOLKERN_ERROR_SYSTEM_DISK);
    const auto path = DiskPathOf(stack, deviceNumber);
    if (!path) return Failure(VOLKERN_ERROR_NO_SUCH_DISK);
    OpenDevice disk(stack, *path, devio::kGenericRead | devio::kGenericWrite);
    if (!disk.Valid()) return Failure(VOLKERN_ERROR_OPEN_FAILED);
    // The disk opened must still be the one asked for.
    if (DeviceNumberOf(stack, disk.Handle()) != deviceNumber) return Failure(VOLKERN_ERROR_NO_SUCH_DISK);

    const auto capacity = ReadDiskCapacity(stack, disk.Handle());
    if (!capacity) return Failure(VOLKERN_ERROR_READ_FAILED);
    if (capacity->sectorSize != kSectorSize) return Failure(VOLKERN_ERROR_SECTOR_SIZE);
    if (request.sectorCount > capacity->sectors) return Failure(VOLKERN_ERROR_SIZE_TOO_LARGE);
    const std::uint64_t sectors = request.sectorCount != 0 ? request.sectorCount : capacity->sectors;
    const LayoutPlan plan = PlanOn(sectors, true, request.sectorsPerCluster);
    if (plan.error != LayoutError::None) return Failure(StatusOf(plan.error));

    VolumeLocks locks(stack);
    if (unmount && !locks.LockDisk(deviceNumber)) return Failure(VOLKERN_ERROR_VOLUME_IN_USE);
    // The whole disk: a partition table that covers only part of it still clears the GPT remains
    // at the disk's end.
    DeviceSink sink(stack, disk.Handle(), 0, capacity->sectors);
    const std::uint32_t signature = DiskSignature(sink, request.identity.serial);
    if (!WritePartitioned(sink, capacity->sectors, signature, plan.layout, request.identity)) {
        return Failure(VOLKERN_ERROR_WRITE_FAILED);
    }
    std::uint32_t error = 0;
    disk.Request(kIoctlDiskUpdateProperties, error);  // the system reads the new partition table
    return BuildResult{VOLKERN_OK, static_cast<std::uint32_t>(plan.layout.RootSector())};
}

BuildResult RootSectorOf(ImageFiles& files, const FormatRequest& request) {
    if (request.path.empty()) {
        const LayoutPlan plan = PlanOn(request.sectorCount, request.partitionedImage, request.sectorsPerCluster);
        if (plan.error != LayoutError::None) return Failure(StatusOf(plan.error));
        return BuildResult{VOLKERN_OK, static_cast<std::uint32_t>(plan.layout.RootSector())};
    }
    const auto image = files.OpenForReading(request.path);
    if (!image) return Failure(VOLKERN_ERROR_OPEN_FAILED);
    const VolumeFound found = FindFat32Volume(*image);
    if (found.error == ReadError::ReadFailed) return Failure(VOLKERN_ERROR_READ_FAILED);
    if (found.error == ReadError::NotFat32) return Failure(VOLKERN_ERROR_NOT_FAT32);
    const std::uint64_t root = found.layout.RootSector();
    if (root > 0xFFFFFFFFu) return Failure(VOLKERN_ERROR_NOT_FAT32);
    return BuildResult{VOLKERN_OK, static_cast<std::uint32_t>(root)};
}

}  // namespace volkern
