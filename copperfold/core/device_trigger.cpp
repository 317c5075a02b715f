#include "device_trigger.h"

#include <algorithm>
#include <cstring>


namespace copperfold {

void StoreCopyData(ReceivedDeviceData& received, std::uint64_t data, const void* bytes, std::size_t size) {
    received.present = true;
    received.data = data;
    received.table = {};
    if (bytes == nullptr) return;
    std::memcpy(&received.table, bytes, std::min(size, kDeviceTableBytes));
}

std::optional<std::size_t> ButtonRecordIndex(const ReceivedDeviceData& received) {
    if (!received.present) return std::nullopt;
    const std::size_t listIndex = received.data & 0xFF;
    if (listIndex >= common::kMaxDevices) return std::nullopt;
    // Dockline sends the device's list index; its table keeps valid entries first, so the
    // pressed device is found by that index and the position is only the fallback.
    const std::size_t valid = std::min<std::size_t>(received.table.count, common::kMaxDevices);
    for (std::size_t k = 0; k < valid; ++k) {
        if (received.table.entries[k].listIndex == listIndex) return k;
    }
    return listIndex;
}

bool DeviceRecordChanged(const common::DeviceTable& received, const common::DeviceTable& current, std::size_t index) {
    if (index >= common::kMaxDevices) return false;
    const common::DeviceTableEntry& a = received.entries[index];
    const common::DeviceTableEntry& b = current.entries[index];
    return a.modelCode != b.modelCode || a.driveLetterCount != b.driveLetterCount || DevicePath(a) != DevicePath(b);
}

bool IsDeviceInterfacePath(std::string_view path) {
    if (!path.starts_with("\\\\?\\") && !path.starts_with("\\\\.\\")) return false;
    const std::string_view name = path.substr(4);
    return name.find('#') != std::string_view::npos && name.find_first_of("\\/:") == std::string_view::npos;
}

bool TargetOnLetters(const JobRecord& job, std::string_view letters) {
    if (job.target.empty() || job.target.front() >= 0x80 || job.target.front() == 0) return false;
    return letters.find(static_cast<char>(job.target.front())) != std::string_view::npos;
}

void BuildDeviceBatch(const JobRecord* jobs, std::size_t jobCount, const common::DeviceTableEntry& entry,
                      JobBatch& batch) {
    batch.count = 0;
    const std::string_view letters = DriveLetters(entry);
    for (std::size_t j = 0; j < jobCount && batch.count < 255; ++j) {
        if (TargetOnLetters(jobs[j], letters)) batch.entries[batch.count++] = jobs[j];
    }
}

}  // namespace copperfold
