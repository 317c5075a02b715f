#pragma once
// DeviceTable: the condensed list of the maker's plugged-in enclosures that Dockline builds
// from the component's device list and sends to Copperfold in a copy-data message.

#include <array>
#include <cstddef>
#include <cstdint>

namespace common {

inline constexpr std::size_t kMaxDevices = 32;

#pragma pack(push, 1)
struct DeviceTableEntry {
    std::uint8_t listIndex;           // index of the source record in the component's device list
    std::uint8_t reserved1[3];
    std::int32_t modelCode;           // 1, 2 or 3 after the INQUIRY model text, else 0
    char devicePath[255];             // NUL-terminated interface path of the disk (system code page)
    std::uint8_t driveLetterCount;
    char driveLetters[26];            // 'A'..'Z', driveLetterCount of them, the rest zero
    char productText[16];             // INQUIRY product identification
    std::uint8_t reserved2[2];
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint8_t reserved3[520];
};

struct DeviceTable {
    std::uint8_t count;
    std::uint8_t reserved[3];
    DeviceTableEntry entries[kMaxDevices];
};
#pragma pack(pop)

static_assert(sizeof(DeviceTableEntry) == 832);
static_assert(offsetof(DeviceTableEntry, modelCode) == 4);
static_assert(offsetof(DeviceTableEntry, devicePath) == 8);
static_assert(offsetof(DeviceTableEntry, driveLetterCount) == 263);
static_assert(offsetof(DeviceTableEntry, driveLetters) == 264);
static_assert(offsetof(DeviceTableEntry, productText) == 290);
static_assert(offsetof(DeviceTableEntry, vendorId) == 308);
static_assert(offsetof(DeviceTableEntry, productId) == 310);
static_assert(sizeof(DeviceTable) == 26628);
static_assert(offsetof(DeviceTable, entries) == 4);

}  // namespace common
