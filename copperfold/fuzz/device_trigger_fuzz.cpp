// Fuzzes the handling of a copy-data record from an unknown sender: storing it, finding the
// pressed device, comparing its record with the current table, telling whether its path may be
// opened and choosing the jobs.
// Input: 8 bytes of dwData, 2 bytes of the claimed size, then the payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include "copperfold/core/device_trigger.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const JobRecord jobs[] = {{L"C:\\s", L"E:\\a", JobType::Sync, {}},     {L"C:\\s", L"F:\\b", JobType::Backup, {}},
                                     {L"C:\\s", L"e:\\c", JobType::Backup, {}},   {L"C:\\s", L"", JobType::Backup, {}},
                                     {L"C:\\s", L"\u0145:\\d", JobType::Sync, {}}, {L"C:\\s", L"Z:\\e", JobType::Restore, {}}};
    if (size < 10) return 0;
    std::uint64_t dwData = 0;
    std::memcpy(&dwData, data, 8);
    const std::size_t claimed = static_cast<std::size_t>(data[8] | (data[9] << 8)) * 2;
    const std::uint8_t* payload = data + 10;
    const std::size_t available = size - 10;

    copperfold::ReceivedDeviceData received;
    // The claimed size never exceeds what the sender really holds (the system copies cbData).
    copperfold::StoreCopyData(received, dwData, available ? payload : nullptr, claimed < available ? claimed : available);
    const auto index = copperfold::ButtonRecordIndex(received);
    if (!index) return 0;
    const common::DeviceTable current{};
    (void)copperfold::DeviceRecordChanged(received.table, current, *index);
    const std::string path = copperfold::DevicePath(received.table.entries[*index]);
    if (path.size() > sizeof received.table.entries[*index].devicePath) std::abort();
    // A path that may be opened never leaves the device namespace for a pipe, share or file.
    if (copperfold::IsDeviceInterfacePath(path) && path.find_first_of("\\/:", 4) != std::string::npos) std::abort();
    auto batch = std::make_unique<copperfold::JobBatch>();
    copperfold::BuildDeviceBatch(jobs, std::size(jobs), received.table.entries[*index], *batch);
    for (int i = 0; i < batch->count; ++i) {
        if (copperfold::DriveLetters(received.table.entries[*index]).find(static_cast<char>(batch->entries[i].target[0])) ==
            std::string_view::npos)
            std::abort();
    }
    return 0;
}
