#pragma once
// Device lists as the component fills them, for the tests of the device table and the watch.

#include <cstring>
#include <memory>
#include <string>

#include "dockline/core/device_table_builder.h"

namespace dockline_test {

struct ListedDevice {
    std::size_t index;
    std::string model;    // INQUIRY bytes 44..47
    std::string letters;
    std::string path;
    std::string product = "USB Enclosure";
    std::uint16_t vendorId = 0x1A2B;
    std::uint16_t productId = 0x3C4D;
};

inline void Put(dockline::DeviceList& list, const ListedDevice& device) {
    devio::DeviceListEntry& record = list.at(device.index);
    record.hubDepth = 1;
    record.connected = 1;
    record.vendorId = device.vendorId;
    record.productId = device.productId;
    record.disk.present = 1;
    record.disk.isTovi = 1;
    std::memcpy(record.disk.inquiryData + 36, "QKTR", 4);
    std::memcpy(record.disk.inquiryData + 44, device.model.data(), std::min<std::size_t>(device.model.size(), 4));
    std::memcpy(record.disk.inquiryData + 16, device.product.data(), std::min<std::size_t>(device.product.size(), 16));
    std::memcpy(record.disk.devicePath, device.path.data(), std::min<std::size_t>(device.path.size(), 254));
    record.disk.driveLetterCount = static_cast<std::uint8_t>(device.letters.size());
    std::memcpy(record.disk.driveLetters, device.letters.data(), std::min<std::size_t>(device.letters.size(), 25));
}

inline std::uint32_t Mask(char letter) { return std::uint32_t{1} << (letter - 'A'); }

}  // namespace dockline_test
