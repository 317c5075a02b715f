#pragma once
// Pieces of the USB walk that its tests reach directly.

#include "common/core/device_list.h"
#include "device_operations.h"

namespace corelink {

// Joins a port record with the storage view (`disks`: kDiskPathListRecords records): by the
// record's parent id prefix (lower-cased in the record), then by its serial number. On a match
// the record takes the disk's index and a copy of it; true then.
bool MatchPortRecord(Device& device, devio::DeviceListEntry& record, const devio::DiskPathEntry* disks);

}  // namespace corelink
