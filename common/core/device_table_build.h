#pragma once
// The device table built from the component's device list, and the bounded reads of a table
// that arrived from elsewhere. Both programs build their tables here, by the same rules.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/core/device_list.h"
#include "common/core/device_table.h"

namespace common {

// 1, 2 or 3 for the model texts "4327", "3452" and "4353" at INQUIRY bytes 44..47, else 0.
std::int32_t ModelCodeOf(const std::uint8_t (&inquiry)[128]);

enum class ProductText { Fill, LeaveZero };

// Rebuilds `table` from the records that are connected, in the tree and the maker's, in list
// order; each record's listIndex is its position in `list`. The path comes from the record's
// own copy (the reference field is an address in the process that filled the list) and always
// ends in a NUL; the letter count never exceeds its field. The reserved bytes are left alone.
void BuildDeviceTable(std::span<const devio::DeviceListEntry, devio::kDeviceListRecords> list, DeviceTable& table,
                      ProductText productText);

// The records a table's count names, never more than it holds.
inline std::size_t UsedRecords(const DeviceTable& table) {
    return table.count < kMaxDevices ? table.count : kMaxDevices;
}

// The device path of one record, ending at its NUL or at the field's end.
inline std::string DevicePath(const DeviceTableEntry& entry) {
    std::size_t length = 0;
    while (length < sizeof entry.devicePath && entry.devicePath[length] != '\0') ++length;
    return std::string(entry.devicePath, length);
}

// The letters of one record, never more than the field holds.
inline std::string_view DriveLetters(const DeviceTableEntry& entry) {
    const std::size_t count =
        entry.driveLetterCount < sizeof entry.driveLetters ? entry.driveLetterCount : sizeof entry.driveLetters;
    return {entry.driveLetters, count};
}

}  // namespace common
