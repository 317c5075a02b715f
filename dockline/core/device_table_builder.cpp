#include "device_table_builder.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace dockline {

namespace {

// Copies at most `limit` characters of a NUL-terminated text that may lack its NUL.
void CopyText(char* to, const char* from, std::size_t limit) {
    const auto* end = static_cast<const char*>(std::memchr(from, 0, limit));
    const std::size_t length = end ? static_cast<std::size_t>(end - from) : limit;
    std::memcpy(to, from, length);
}

void FillEntry(const devio::DeviceListEntry& record, std::uint8_t listIndex, common::DeviceTableEntry& entry) {
    const devio::DiskPathEntry& disk = record.disk;
    entry.listIndex = listIndex;
    entry.vendorId = record.vendorId;
    entry.productId = record.productId;
    // The product identification is INQUIRY bytes 16..31; the byte after it stays 0.
    CopyText(entry.productText, reinterpret_cast<const char*>(disk.inquiryData + 16), sizeof entry.productText);
    // The path field of the table is one byte shorter than the disk's, so it always ends in a NUL.
    CopyText(entry.devicePath, disk.devicePath, sizeof entry.devicePath - 1);
    const std::size_t letters = std::min<std::size_t>(disk.driveLetterCount, sizeof disk.driveLetters);
    entry.driveLetterCount = static_cast<std::uint8_t>(letters);
    std::memcpy(entry.driveLetters, disk.driveLetters, letters);
    entry.modelCode = ModelCodeOf(disk.inquiryData);
}

}  // namespace

std::int32_t ModelCodeOf(const std::uint8_t (&inquiry)[128]) {
    const std::string_view model(reinterpret_cast<const char*>(inquiry + 44), 4);
    if (model == "4327") return 1;
    if (model == "3452") return 2;
    if (model == "4353") return 3;
    return 0;
}

void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table) {
    std::memset(&table, 0, sizeof table);
    for (std::size_t index = 0; index < list.size(); ++index) {
        const devio::DeviceListEntry& record = list[index];
        if (record.hubDepth == 0 || record.connected == 0 || record.disk.isTovi == 0) continue;
        FillEntry(record, static_cast<std::uint8_t>(index), table.entries[table.count]);
        ++table.count;
    }
}

bool IsKnownDriveMask(const common::DeviceTable& table, std::uint32_t unitMask) {
    const std::size_t count = std::min<std::size_t>(table.count, common::kMaxDevices);
    for (int bit = 0; bit < 26; ++bit) {
        if ((unitMask & (std::uint32_t{1} << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        for (std::size_t i = 0; i < count; ++i) {
            const common::DeviceTableEntry& entry = table.entries[i];
            const std::size_t letters = std::min<std::size_t>(entry.driveLetterCount, sizeof entry.driveLetters);
            if (std::find(entry.driveLetters, entry.driveLetters + letters, letter) != entry.driveLetters + letters) {
                return true;
            }
        }
    }
    return false;
}

bool HasPolledDevice(const common::DeviceTable& table) {
    const std::size_t count = std::min<std::size_t>(table.count, common::kMaxDevices);
    return std::any_of(table.entries, table.entries + count,
                       [](const common::DeviceTableEntry& entry) { return entry.modelCode == kPolledModel; });
}

}  // namespace dockline
