#include "device_table_build.h"

#include <algorithm>
#include <cstring>

namespace common {

namespace {

// Copies at most `limit` characters of a NUL-terminated text that may lack its NUL.
void CopyText(char* to, const char* from, std::size_t limit) {
    const auto* end = static_cast<const char*>(std::memchr(from, 0, limit));
    const std::size_t length = end ? static_cast<std::size_t>(end - from) : limit;
    std::memcpy(to, from, length);
}

}  // namespace

std::int32_t ModelCodeOf(const std::uint8_t (&inquiry)[128]) {
    const std::string_view model(reinterpret_cast<const char*>(inquiry + 44), 4);
    if (model == "4327") return 1;
    if (model == "3452") return 2;
    if (model == "4353") return 3;
    return 0;
}

void BuildDeviceTable(std::span<const devio::DeviceListEntry, devio::kDeviceListRecords> list, DeviceTable& table,
                      ProductText productText) {
    table.count = 0;
    std::memset(table.entries, 0, sizeof table.entries);
    for (std::size_t index = 0; index < list.size(); ++index) {
        const devio::DeviceListEntry& record = list[index];
        if (record.hubDepth == 0 || record.connected == 0 || record.disk.isTovi == 0) continue;
        const devio::DiskPathEntry& disk = record.disk;
        DeviceTableEntry& entry = table.entries[table.count++];
        entry.listIndex = static_cast<std::uint8_t>(index);
        entry.vendorId = record.vendorId;
        entry.productId = record.productId;
        // The product identification is INQUIRY bytes 16..31; the byte after it stays 0.
        if (productText == ProductText::Fill) {
            CopyText(entry.productText, reinterpret_cast<const char*>(disk.inquiryData + 16), sizeof entry.productText);
        }
        // The path field of the table is one byte shorter than the disk's, so it always ends in a NUL.
        CopyText(entry.devicePath, disk.devicePath, sizeof entry.devicePath - 1);
        const std::size_t letters = std::min<std::size_t>(disk.driveLetterCount, sizeof disk.driveLetters);
        entry.driveLetterCount = static_cast<std::uint8_t>(letters);
        std::memcpy(entry.driveLetters, disk.driveLetters, letters);
        entry.modelCode = ModelCodeOf(disk.inquiryData);
    }
}

}  // namespace common
