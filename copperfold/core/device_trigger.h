#pragma once
// The platform-free half of Copperfold's device messages from Dockline: keeping the last
// copy-data record, finding the pressed device's record, telling whether a record changed, and
// choosing the jobs whose target lies on one of the device's drive letters.
//
// Any program on the desktop can send these messages, so nothing here trusts the record: a
// short or missing payload leaves the rest of the table zero, an index outside the table
// selects nothing, a path without its terminating NUL ends at the field's end, and a letter
// count larger than the letter field counts only the field's letters.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/core/device_table.h"
#include "common/core/device_table_build.h"
#include "copy_engine.h"

namespace copperfold {

inline constexpr std::size_t kDeviceTableBytes = sizeof(common::DeviceTable);

// The last copy-data record received.
struct ReceivedDeviceData {
    bool present = false;    // a copy-data record has arrived since start-up
    std::uint64_t data = 0;  // its dwData: a device's list index or a volume unit mask
    common::DeviceTable table{};
};

// Keeps `data` and the first min(size, 26628) bytes of `bytes`; the rest of the table is zero.
// A null `bytes` counts as an empty payload whatever `size` says.
void StoreCopyData(ReceivedDeviceData& received, std::uint64_t data, const void* bytes, std::size_t size);

// The record a button message stands for: the valid entry whose list index is the low byte
// of dwData, else the record at that position; none when the byte is 32 or more or no
// copy-data record has arrived.
std::optional<std::size_t> ButtonRecordIndex(const ReceivedDeviceData& received);

// The device path of an entry, ending at its NUL or at the field's end.
using common::DevicePath;
// The entry's drive letters: driveLetterCount of them, at most the field's 26.
using common::DriveLetters;

// Whether a record's device path is one a device's interface can have (\\?\usbstor#disk&...#{...}):
// the device namespace's prefix, then one name with a '#' in it and no separator or drive colon.
// Only such a path is ever opened for a record that came from another program: any other (a
// pipe, a share, a file, a volume) would be opened for whoever sent it.
bool IsDeviceInterfacePath(std::string_view path);

// True when record `index` differs between the tables in model code, letter count or device
// path (compared up to the NUL, never past the field).
bool DeviceRecordChanged(const common::DeviceTable& received, const common::DeviceTable& current, std::size_t index);

// Whether the job's target starts with one of `letters` (exact, case-sensitive; a first character
// outside 7-bit ASCII matches none).
bool TargetOnLetters(const JobRecord& job, std::string_view letters);

// The jobs, in table order, whose target starts with one of the entry's drive
// letters (exact, case-sensitive). Each job is taken once, even when the entry lists its
// letter twice; a target starting with a character outside 7-bit ASCII matches no letter.
void BuildDeviceBatch(const JobRecord* jobs, std::size_t jobCount, const common::DeviceTableEntry& entry,
                      JobBatch& batch);

}  // namespace copperfold
