#pragma once
// The component's discovery records, as callers receive them: the storage view (DiskPathEntry,
// 32 per DiskPathList), the USB view joined with it (DeviceListEntry, 32 per DeviceList), the
// hub records of the hub scan (HubListRecord, 32 per HubList) and the internal list of
// interface paths. Integers little-endian; text fields ANSI, NUL-terminated within their size.

#include <cstddef>
#include <cstdint>

namespace devio {

inline constexpr std::size_t kDiskPathListRecords = 32;
inline constexpr std::size_t kDeviceListRecords = 32;
inline constexpr std::size_t kHubListRecords = 32;
inline constexpr std::size_t kInterfacePathListEntries = 192;
inline constexpr std::size_t kPortChainTiers = 5;

#pragma pack(push, 1)
struct DiskPathEntry {
    std::uint8_t present;           // the interface answered INQUIRY
    std::uint8_t ready;             // TEST UNIT READY delivered with status 0
    std::uint8_t isTovi;            // the maker's product
    std::uint8_t inquiryData[128];  // the INQUIRY reply
    std::uint8_t capacity[8];       // READ CAPACITY reply as received; zero when not read
    char devicePath[255];           // the storage interface path
    std::uint8_t driveLetterCount;
    char driveLetters[25];          // 'A'..'Z'
    std::uint32_t devInst;          // device node of the interface
    char hardwareId[260];           // first hardware identifier of the parent USB device
};

struct DeviceListEntry {
    std::uint8_t diskIndex;         // index of the matched DiskPathEntry of the same scan
    std::uint8_t reserved;
    std::uint16_t vendorId;
    std::uint16_t productId;
    std::uint8_t speed;             // 0 low, 1 full, 2 high, 3 SuperSpeed
    char hubPath[257];
    std::uint32_t hubPortCount;
    std::uint32_t portIndex;        // from 1
    std::uint8_t hubDepth;          // 1 = root hub
    std::uint8_t portChain[2 * kPortChainTiers];
    std::uint8_t connected;
    std::uint8_t changed;
    char symbolicName[255];
    char parentIdPrefix[260];
    char serialNumber[260];
    std::uint32_t diskPathRef;      // address of disk.devicePath in the filling process (low 32 bits)
    char driverKeyName[260];
    char manufacturer[260];
    char product[260];
    DiskPathEntry disk;
};

struct HubListRecord {
    char parentHubPath[255];
    std::uint8_t parentPortCount;
    std::uint8_t parentPort;
    std::uint8_t connectionStatus;  // 1 = device connected
    std::uint8_t connectionSpeed;
    std::uint8_t changed;
    char hubPath[255];              // "\\.\" + the hub's name
    std::uint8_t massStoragePorts[4][5];  // ports 1..4: port count, port, status, speed, 0
    std::uint8_t reserved;
    std::uint16_t vendorId;
    std::uint16_t productId;
};

struct InterfacePathEntry {
    char path[256];
    std::uint32_t devInst;
};

struct InterfacePathList {
    std::uint32_t count;
    InterfacePathEntry entries[kInterfacePathListEntries];
};
#pragma pack(pop)

static_assert(sizeof(DiskPathEntry) == 684);
static_assert(offsetof(DiskPathEntry, inquiryData) == 3);
static_assert(offsetof(DiskPathEntry, capacity) == 131);
static_assert(offsetof(DiskPathEntry, devicePath) == 139);
static_assert(offsetof(DiskPathEntry, driveLetterCount) == 394);
static_assert(offsetof(DiskPathEntry, driveLetters) == 395);
static_assert(offsetof(DiskPathEntry, devInst) == 420);
static_assert(offsetof(DiskPathEntry, hardwareId) == 424);
static_assert(sizeof(DiskPathEntry) * kDiskPathListRecords == 21888);

static_assert(sizeof(DeviceListEntry) == 2528);
static_assert(offsetof(DeviceListEntry, vendorId) == 2);
static_assert(offsetof(DeviceListEntry, productId) == 4);
static_assert(offsetof(DeviceListEntry, speed) == 6);
static_assert(offsetof(DeviceListEntry, hubPath) == 7);
static_assert(offsetof(DeviceListEntry, hubPortCount) == 264);
static_assert(offsetof(DeviceListEntry, portIndex) == 268);
static_assert(offsetof(DeviceListEntry, hubDepth) == 272);
static_assert(offsetof(DeviceListEntry, portChain) == 273);
static_assert(offsetof(DeviceListEntry, connected) == 283);
static_assert(offsetof(DeviceListEntry, changed) == 284);
static_assert(offsetof(DeviceListEntry, symbolicName) == 285);
static_assert(offsetof(DeviceListEntry, parentIdPrefix) == 540);
static_assert(offsetof(DeviceListEntry, serialNumber) == 800);
static_assert(offsetof(DeviceListEntry, diskPathRef) == 1060);
static_assert(offsetof(DeviceListEntry, driverKeyName) == 1064);
static_assert(offsetof(DeviceListEntry, manufacturer) == 1324);
static_assert(offsetof(DeviceListEntry, product) == 1584);
static_assert(offsetof(DeviceListEntry, disk) == 1844);
static_assert(offsetof(DeviceListEntry, disk) + offsetof(DiskPathEntry, devicePath) == 1983);
static_assert(sizeof(DeviceListEntry) * kDeviceListRecords == 80896);

static_assert(sizeof(HubListRecord) == 540);
static_assert(offsetof(HubListRecord, parentPortCount) == 255);
static_assert(offsetof(HubListRecord, parentPort) == 256);
static_assert(offsetof(HubListRecord, connectionStatus) == 257);
static_assert(offsetof(HubListRecord, connectionSpeed) == 258);
static_assert(offsetof(HubListRecord, changed) == 259);
static_assert(offsetof(HubListRecord, hubPath) == 260);
static_assert(offsetof(HubListRecord, massStoragePorts) == 515);
static_assert(offsetof(HubListRecord, vendorId) == 536);
static_assert(offsetof(HubListRecord, productId) == 538);
static_assert(sizeof(HubListRecord) * kHubListRecords == 17280);

static_assert(sizeof(InterfacePathEntry) == 260);
static_assert(sizeof(InterfacePathList) == 4 + 192 * 260);

}  // namespace devio
