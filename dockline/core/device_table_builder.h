#pragma once
// The device table: the maker's plugged-in devices condensed from the component's device list,
// as Dockline keeps it and hands it to Copperfold.

#include <array>
#include <cstdint>

#include "common/core/device_list.h"
#include "common/core/device_table.h"
#include "common/core/device_table_build.h"

namespace dockline {

using DeviceList = std::array<devio::DeviceListEntry, devio::kDeviceListRecords>;
static_assert(sizeof(DeviceList) == 80896);

// The model whose button is polled.
inline constexpr std::int32_t kPolledModel = 1;

using common::ModelCodeOf;

// Rebuilds `table` from the records of `list` that are connected, in the tree and the maker's,
// with their product texts (the notice shows them); the table Dockline sends is zero besides.
inline void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table) {
    table.reserved[0] = table.reserved[1] = table.reserved[2] = 0;
    common::BuildDeviceTable(list, table, common::ProductText::Fill);
}

// True when some drive letter of `unitMask` (bit n: 'A' + n) belongs to a listed device.
bool IsKnownDriveMask(const common::DeviceTable& table, std::uint32_t unitMask);

// True when some listed device has its button polled.
bool HasPolledDevice(const common::DeviceTable& table);

}  // namespace dockline
