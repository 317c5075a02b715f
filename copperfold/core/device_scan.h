#pragma once
// The document's device table from the component's device list, and the questions the drive
// trees ask of it.

#include <cstdint>

#include "common/core/device_list.h"
#include "common/core/device_table.h"

namespace copperfold {

#pragma pack(push, 1)
struct DeviceList {
    devio::DeviceListEntry entries[devio::kDeviceListRecords];
};
#pragma pack(pop)
static_assert(sizeof(DeviceList) == 80896);

// Rebuilds `table` from a scan: count and the 32 records anew (the three header bytes after
// the count are kept). An entry is kept when it sits on a hub, is connected and is the maker's
// disk; kept entries fill the records in list order.
void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table);

// True when `letter` is a drive letter of one of the table's first `count` records.
bool IsDeviceLetter(const common::DeviceTable& table, wchar_t letter);

// Bit n set for drive letter 'A' + n of every record of the table.
std::uint32_t DeviceLetterMask(const common::DeviceTable& table);

// The drive letters (bit n: 'A' + n) of the USB storage devices of a scan that did not answer
// it: on a hub, connected, with a storage interface that refused INQUIRY. Without
// administrator rights that is every USB disk, the enclosure's among them: whether one is the
// maker's is not known then.
std::uint32_t UnansweredDeviceLetters(const DeviceList& list);

}  // namespace copperfold
