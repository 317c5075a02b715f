#include "device_scan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace copperfold {
namespace {

std::int32_t ModelCode(const std::uint8_t (&inquiry)[128]) {
    const std::string_view model(reinterpret_cast<const char*>(inquiry) + 44, 4);
    if (model == "4327") return 1;
    if (model == "3452") return 2;
    if (model == "4353") return 3;
    return 0;
}

// The letters of one record, never more than the field holds.
std::string_view Letters(const common::DeviceTableEntry& entry) {
    return {entry.driveLetters, std::min<std::size_t>(entry.driveLetterCount, sizeof entry.driveLetters)};
}

std::size_t UsedRecords(const common::DeviceTable& table) {
    return std::min<std::size_t>(table.count, common::kMaxDevices);
}

}  // namespace

void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table) {
    table.count = 0;
    std::memset(table.entries, 0, sizeof table.entries);
    std::uint8_t kept = 0;
    for (std::size_t j = 0; j < devio::kDeviceListRecords; ++j) {
        const devio::DeviceListEntry& source = list.entries[j];
        if (source.hubDepth == 0 || source.connected == 0 || source.disk.isTovi == 0) continue;
        common::DeviceTableEntry& record = table.entries[kept++];
        record.listIndex = static_cast<std::uint8_t>(j);
        // The list's own copy of the path (the reference field is an address in the process
        // that filled the list, which need not be this one). Always NUL-terminated here.
        const std::size_t pathLength = strnlen(source.disk.devicePath, sizeof source.disk.devicePath);
        std::memcpy(record.devicePath, source.disk.devicePath, std::min(pathLength, sizeof record.devicePath - 1));
        record.driveLetterCount = std::min<std::uint8_t>(source.disk.driveLetterCount, sizeof source.disk.driveLetters);
        std::memcpy(record.driveLetters, source.disk.driveLetters, record.driveLetterCount);
        record.vendorId = source.vendorId;
        record.productId = source.productId;
        record.modelCode = ModelCode(source.disk.inquiryData);
    }
    table.count = kept;
}

bool IsDeviceLetter(const common::DeviceTable& table, wchar_t letter) {
    for (std::size_t i = 0; i < UsedRecords(table); ++i) {
        for (const char c : Letters(table.entries[i])) {
            if (static_cast<wchar_t>(static_cast<unsigned char>(c)) == letter) return true;
        }
    }
    return false;
}

std::uint32_t DeviceLetterMask(const common::DeviceTable& table) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < UsedRecords(table); ++i) {
        for (const char c : Letters(table.entries[i])) {
            if (c >= 'A' && c <= 'Z') mask |= 1u << (c - 'A');
        }
    }
    return mask;
}

}  // namespace copperfold
