#include "device_scan.h"

#include "common/core/device_table_build.h"

namespace copperfold {

using common::DriveLetters;
using common::UsedRecords;

void BuildDeviceTable(const DeviceList& list, common::DeviceTable& table) {
    // Copperfold's own scan leaves the product texts empty; only Dockline's notice shows them.
    common::BuildDeviceTable(list.entries, table, common::ProductText::LeaveZero);
}

bool IsDeviceLetter(const common::DeviceTable& table, wchar_t letter) {
    for (std::size_t i = 0; i < UsedRecords(table); ++i) {
        for (const char c : DriveLetters(table.entries[i])) {
            if (static_cast<wchar_t>(static_cast<unsigned char>(c)) == letter) return true;
        }
    }
    return false;
}

std::uint32_t DeviceLetterMask(const common::DeviceTable& table) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < UsedRecords(table); ++i) {
        for (const char c : DriveLetters(table.entries[i])) {
            if (c >= 'A' && c <= 'Z') mask |= 1u << (c - 'A');
        }
    }
    return mask;
}

std::uint32_t UnansweredDeviceLetters(const DeviceList& list) {
    std::uint32_t mask = 0;
    for (const devio::DeviceListEntry& entry : list.entries) {
        const devio::DiskPathEntry& disk = entry.disk;
        if (entry.hubDepth == 0 || entry.connected == 0 || disk.present != 0 || disk.devicePath[0] == 0) continue;
        const std::size_t count = disk.driveLetterCount < sizeof disk.driveLetters ? disk.driveLetterCount
                                                                                   : sizeof disk.driveLetters;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = disk.driveLetters[i];
            if (c >= 'A' && c <= 'Z') mask |= 1u << (c - 'A');
        }
    }
    return mask;
}

}  // namespace copperfold
