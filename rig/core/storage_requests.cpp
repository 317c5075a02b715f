#include "storage_requests.h"

#include <cstring>

#include "reply_buffer.h"

namespace rig {
namespace {

constexpr std::uint8_t kMbrTypeNtfs = 0x07;
constexpr std::int64_t kGptFirstUsable = 34 * 512;
constexpr std::int64_t kGptBackupArea = 33 * 512;
constexpr std::uint32_t kGptMaxPartitions = 128;
// The basic data partition type, in the structure's byte order.
constexpr std::uint8_t kGptBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                            0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

// A stable identity for the rig's disks and partitions: "RIG", the device number, the partition.
void RigGuid(std::uint8_t (&out)[16], std::uint32_t deviceNumber, std::uint32_t partition) {
    std::memset(out, 0, sizeof out);
    std::memcpy(out, "RIG", 3);
    std::memcpy(out + 4, &deviceNumber, sizeof deviceNumber);
    std::memcpy(out + 8, &partition, sizeof partition);
}

std::vector<std::uint8_t> DriveLayout(const MachineView& view, std::size_t index) {
    const EnclosureConfig& disk = view.Config().enclosures[index];
    const auto extents = view.ExtentsOn(index);
    const bool gpt = disk.partitionStyle == PartitionStyle::Gpt;
    DriveLayoutInformationExHeader header{};
    header.PartitionStyle = gpt ? kPartitionStyleGpt : kPartitionStyleMbr;
    header.PartitionCount = static_cast<std::uint32_t>(extents.size());
    const auto capacity = static_cast<std::int64_t>(disk.sectors * disk.sectorSize);
    if (gpt) {
        RigGuid(header.Gpt.DiskId, disk.deviceNumber, 0);
        header.Gpt.StartingUsableOffset = kGptFirstUsable;
        header.Gpt.UsableLength = capacity > kGptFirstUsable + kGptBackupArea
                                      ? capacity - kGptFirstUsable - kGptBackupArea
                                      : 0;
        header.Gpt.MaxPartitionCount = kGptMaxPartitions;
    } else {
        header.Mbr.Signature = disk.diskSignature;
    }
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, header);
    for (std::size_t n = 0; n < extents.size(); ++n) {
        PartitionInformationEx entry{};
        entry.PartitionStyle = header.PartitionStyle;
        entry.StartingOffset = static_cast<std::int64_t>(extents[n].offset);
        entry.PartitionLength = static_cast<std::int64_t>(extents[n].length);
        entry.PartitionNumber = static_cast<std::uint32_t>(n + 1);
        if (gpt) {
            std::memcpy(entry.Gpt.PartitionType, kGptBasicData, sizeof kGptBasicData);
            RigGuid(entry.Gpt.PartitionId, disk.deviceNumber, entry.PartitionNumber);
        } else {
            entry.Mbr.PartitionType = kMbrTypeNtfs;
            entry.Mbr.RecognizedPartition = 1;
            entry.Mbr.HiddenSectors = static_cast<std::uint32_t>(extents[n].offset / disk.sectorSize);
        }
        AppendBytes(reply, entry);
    }
    return reply;
}

}  // namespace

bool AnswerDiskRequest(const MachineView& view, std::size_t enclosure, std::uint32_t controlCode, void* output,
                       std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
    if (controlCode == kIoctlStorageGetDeviceNumber) {
        const StorageDeviceNumber number{kFileDeviceDisk, view.Config().enclosures[enclosure].deviceNumber, 0};
        std::vector<std::uint8_t> reply;
        AppendBytes(reply, number);
        return CopyReply(reply, reply.size(), output, outputSize, returned, lastError);
    }
    if (controlCode == kIoctlDiskGetDriveLayoutEx) {
        // The whole layout or nothing: a buffer without room for every entry is too small.
        const auto reply = DriveLayout(view, enclosure);
        return CopyReply(reply, reply.size(), output, outputSize, returned, lastError);
    }
    returned = 0;
    lastError = devio::kErrorNotSupported;
    return false;
}

bool AnswerVolumeRequest(const MachineView& view, const VolumeView& volume, std::uint32_t controlCode, void* output,
                         std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
    returned = 0;
    if (controlCode == kIoctlStorageGetDeviceNumber) {
        // A volume on one disk is that disk's partition, numbered from 1 by offset.
        if (volume.extents.size() != 1) {
            lastError = devio::kErrorNotSupported;
            return false;
        }
        const auto& [index, extent] = volume.extents.front();
        const auto onDisk = view.ExtentsOn(index);
        std::uint32_t partition = 0;
        for (std::size_t n = 0; n < onDisk.size(); ++n) {
            if (onDisk[n].offset == extent.offset) partition = static_cast<std::uint32_t>(n + 1);
        }
        const StorageDeviceNumber number{kFileDeviceDisk, view.Config().enclosures[index].deviceNumber, partition};
        std::vector<std::uint8_t> reply;
        AppendBytes(reply, number);
        return CopyReply(reply, reply.size(), output, outputSize, returned, lastError);
    }
    if (controlCode != kIoctlVolumeGetVolumeDiskExtents) {
        lastError = devio::kErrorNotSupported;
        return false;
    }
    std::vector<std::uint8_t> reply;
    AppendBytes(reply, static_cast<std::uint32_t>(volume.extents.size()));
    AppendBytes(reply, std::uint32_t{0});  // the extents are 8-byte aligned
    for (const auto& [index, extent] : volume.extents) {
        DiskExtent disk{};
        disk.DiskNumber = view.Config().enclosures[index].deviceNumber;
        disk.StartingOffset = static_cast<std::int64_t>(extent.offset);
        disk.ExtentLength = static_cast<std::int64_t>(extent.length);
        AppendBytes(reply, disk);
    }
    if (!CopyReply(reply, kVolumeDiskExtentsFixedSize, output, outputSize, returned, lastError)) return false;
    if (returned < reply.size()) {
        // The count and the extents that fit; the caller asks again with room for all.
        returned = static_cast<std::uint32_t>(kVolumeDiskExtentsHeaderSize +
                                              (returned - kVolumeDiskExtentsHeaderSize) / sizeof(DiskExtent) *
                                                  sizeof(DiskExtent));
        lastError = kErrorMoreData;
        return false;
    }
    return true;
}

}  // namespace rig
