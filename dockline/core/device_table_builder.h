#pragma once
// The device table: the maker's plugged-in devices condensed from the component's device list,
// as Dockline keeps it and hands it to Copperfold.

#include <array>
#include <cstdint>

#include "common/core/device_list.h"
#include "common/core/device_table.h"

namespace dockline {

using DeviceList = std::array<devio::DeviceListEntry, devio::kDeviceListRecords>;
static_assert(sizeof(DeviceList) == 80896);

// The model whose button is polled.
inline constexpr std::int32_t kPolledModel = 1;

// 1, 2 or 3 for the model texts "4327", "3452" and "4353" at INQUIRY bytes 44..47, else 0.
std::int32_t ModelCodeOf(const std::uint8_t (&inquiry)[128]);

// Rebuilds `table` from the records of `list` that are connected, in the tree and the maker's.
void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table);

// True when some drive letter of `unitMask` (bit n: 'A' + n) belongs to a listed device.
bool IsKnownDriveMask(const common::DeviceTable& table, std::uint32_t unitMask);

// True when some listed device has its button polled.
bool HasPolledDevice(const common::DeviceTable& table);

}  // namespace dockline
