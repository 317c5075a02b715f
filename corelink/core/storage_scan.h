#pragma once
// The storage view of device discovery: the disk and CD-ROM interfaces of USB mass-storage
// devices, asked by SCSI who they are, with their drive letters. The USB port walk joins its
// records with this view.

#include <cstdint>

#include "common/core/device_list.h"
#include "device_operations.h"

namespace corelink {

// Fills `list` (kDiskPathListRecords records) from index 0; records it does not reach are left
// as they were. `productFilterOff`: every answering interface counts as the maker's. Returns 1
// when some interface answered INQUIRY.
int ScanDiskPathBySymbolicName(Device& device, devio::DiskPathEntry* list, bool productFilterOff);

// Asks the drives C: to Z: (24 records, record k for 'C' + k) by INQUIRY. Returns 1 when some
// drive answered.
int ScanDiskPath(Device& device, devio::DiskPathEntry* list);

}  // namespace corelink
