#pragma once
// The hub and storage control requests the rig answers: their codes and the byte layouts of
// their requests and replies, as the platform's headers lay them out. Defined here once; the
// handlers copy these structures to and from the caller's buffers with memcpy.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace devio {

static_assert(std::endian::native == std::endian::little, "the layouts below are little-endian");

// --- control codes
inline constexpr std::uint32_t kIoctlUsbGetRootHubName = 0x220408;  // on a host controller handle
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = 0x220408;  // same code, on a hub handle
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformationEx = 0x220448;
inline constexpr std::uint32_t kIoctlUsbGetDescriptorFromNodeConnection = 0x220410;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = 0x220414;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionDriverKeyName = 0x220420;
inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
inline constexpr std::uint32_t kIoctlDiskGetDriveLayoutEx = 0x70050;
inline constexpr std::uint32_t kIoctlVolumeGetVolumeDiskExtents = 0x560000;

// --- error codes of these requests
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;

// --- USB descriptors
inline constexpr std::uint8_t kDescriptorDevice = 1;
inline constexpr std::uint8_t kDescriptorConfiguration = 2;
inline constexpr std::uint8_t kDescriptorString = 3;
inline constexpr std::uint8_t kDescriptorInterface = 4;
inline constexpr std::uint8_t kDescriptorEndpoint = 5;

#pragma pack(push, 1)

struct UsbDeviceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};
static_assert(sizeof(UsbDeviceDescriptor) == 18);
static_assert(offsetof(UsbDeviceDescriptor, idVendor) == 8);
static_assert(offsetof(UsbDeviceDescriptor, iManufacturer) == 14);

struct UsbHubDescriptor {
    std::uint8_t bDescriptorLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bNumberOfPorts;
    std::uint16_t wHubCharacteristics;
    std::uint8_t bPowerOnToPowerGood;
    std::uint8_t bHubControlCurrent;
    std::uint8_t bRemoveAndPowerMask[64];
};
static_assert(sizeof(UsbHubDescriptor) == 71);

// USB_NODE_INFORMATION with its USB_HUB_INFORMATION.
struct UsbNodeInformation {
    std::uint32_t NodeType;  // 0 = UsbHub
    UsbHubDescriptor HubDescriptor;
    std::uint8_t HubIsBusPowered;
};
static_assert(sizeof(UsbNodeInformation) == 76);
static_assert(offsetof(UsbNodeInformation, HubDescriptor) + offsetof(UsbHubDescriptor, bNumberOfPorts) == 6);

struct UsbPipeInfo {
    std::uint8_t endpointDescriptor[7];
    std::uint32_t ScheduleOffset;
};
static_assert(sizeof(UsbPipeInfo) == 11);

// USB_NODE_CONNECTION_INFORMATION_EX without its PipeList (which follows at offset 35).
struct UsbNodeConnectionInformationEx {
    std::uint32_t ConnectionIndex;
    UsbDeviceDescriptor DeviceDescriptor;
    std::uint8_t CurrentConfigurationValue;
    std::uint8_t Speed;
    std::uint8_t DeviceIsHub;
    std::uint16_t DeviceAddress;
    std::uint32_t NumberOfOpenPipes;
    std::uint32_t ConnectionStatus;  // 0 no device, 1 device connected
};
static_assert(sizeof(UsbNodeConnectionInformationEx) == 35);
static_assert(offsetof(UsbNodeConnectionInformationEx, DeviceDescriptor) == 4);
static_assert(offsetof(UsbNodeConnectionInformationEx, Speed) == 23);
static_assert(offsetof(UsbNodeConnectionInformationEx, DeviceIsHub) == 24);
static_assert(offsetof(UsbNodeConnectionInformationEx, ConnectionStatus) == 31);

// USB_DESCRIPTOR_REQUEST without its Data (which follows at offset 12).
struct UsbDescriptorRequest {
    std::uint32_t ConnectionIndex;
    std::uint8_t bmRequest;
    std::uint8_t bRequest;
    std::uint16_t wValue;  // descriptor type << 8 | index
    std::uint16_t wIndex;  // language of a string descriptor
    std::uint16_t wLength;
};
static_assert(sizeof(UsbDescriptorRequest) == 12);
static_assert(offsetof(UsbDescriptorRequest, wValue) == 6);

#pragma pack(pop)

// USB_ROOT_HUB_NAME: ActualLength then the wide name (NUL-terminated) at offset 4.
inline constexpr std::size_t kRootHubNameFixedSize = 6;  // sizeof with its one WCHAR
inline constexpr std::size_t kRootHubNameTextOffset = 4;
// USB_NODE_CONNECTION_NAME and USB_NODE_CONNECTION_DRIVERKEY_NAME: ConnectionIndex,
// ActualLength, then the wide name at offset 8.
inline constexpr std::size_t kConnectionNameFixedSize = 10;
inline constexpr std::size_t kConnectionNameTextOffset = 8;

// --- storage replies (natural alignment)

struct StorageDeviceNumber {
    std::uint32_t DeviceType;  // FILE_DEVICE_DISK = 7
    std::uint32_t DeviceNumber;
    std::uint32_t PartitionNumber;
};
static_assert(sizeof(StorageDeviceNumber) == 12);
inline constexpr std::uint32_t kFileDeviceDisk = 7;

inline constexpr std::uint32_t kPartitionStyleMbr = 0;
inline constexpr std::uint32_t kPartitionStyleGpt = 1;

struct DriveLayoutInformationMbr {
    std::uint32_t Signature;
    std::uint32_t CheckSum;
};

struct DriveLayoutInformationGpt {
    std::uint8_t DiskId[16];
    std::int64_t StartingUsableOffset;
    std::int64_t UsableLength;
    std::uint32_t MaxPartitionCount;
};
static_assert(sizeof(DriveLayoutInformationGpt) == 40);

// DRIVE_LAYOUT_INFORMATION_EX up to its PartitionEntry array.
struct DriveLayoutInformationExHeader {
    std::uint32_t PartitionStyle;
    std::uint32_t PartitionCount;
    union {
        DriveLayoutInformationMbr Mbr;
        DriveLayoutInformationGpt Gpt;
    };
};
static_assert(sizeof(DriveLayoutInformationExHeader) == 48);
static_assert(offsetof(DriveLayoutInformationExHeader, Mbr) == 8);

struct PartitionInformationMbr {
    std::uint8_t PartitionType;
    std::uint8_t BootIndicator;
    std::uint8_t RecognizedPartition;
    std::uint32_t HiddenSectors;
    std::uint8_t PartitionId[16];
};
static_assert(sizeof(PartitionInformationMbr) == 24);

struct PartitionInformationGpt {
    std::uint8_t PartitionType[16];
    std::uint8_t PartitionId[16];
    std::uint64_t Attributes;
    std::uint16_t Name[36];
};
static_assert(sizeof(PartitionInformationGpt) == 112);

// PARTITION_INFORMATION_EX.
struct PartitionInformationEx {
    std::uint32_t PartitionStyle;
    std::int64_t StartingOffset;
    std::int64_t PartitionLength;
    std::uint32_t PartitionNumber;
    std::uint8_t RewritePartition;
    std::uint8_t IsServicePartition;
    union {
        PartitionInformationMbr Mbr;
        PartitionInformationGpt Gpt;
    };
};
static_assert(sizeof(PartitionInformationEx) == 144);
static_assert(offsetof(PartitionInformationEx, StartingOffset) == 8);
static_assert(offsetof(PartitionInformationEx, PartitionNumber) == 24);
static_assert(offsetof(PartitionInformationEx, Mbr) == 32);
inline constexpr std::size_t kDriveLayoutRequestSize = 192;  // the header and one entry

struct DiskExtent {
    std::uint32_t DiskNumber;
    std::int64_t StartingOffset;
    std::int64_t ExtentLength;
};
static_assert(sizeof(DiskExtent) == 24);
static_assert(offsetof(DiskExtent, StartingOffset) == 8);

// VOLUME_DISK_EXTENTS up to its Extents array (which starts at offset 8).
inline constexpr std::size_t kVolumeDiskExtentsHeaderSize = 8;
inline constexpr std::size_t kVolumeDiskExtentsFixedSize = 32;  // sizeof with its one extent

}  // namespace devio
