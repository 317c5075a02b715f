#pragma once
// A simulated machine as a rig file describes it (the format: rig/README.md). Paths are UTF-8
// and already resolved against the rig file's folder; texts sent to programs are 8-bit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fault_rules.h"
#include "nand_config.h"

namespace rig {

// Bounds of a rig file; the parser refuses anything beyond them.
inline constexpr std::size_t kMaxRigFileSize = 1024 * 1024;
inline constexpr std::size_t kMaxLineLength = 4096;
inline constexpr std::size_t kMaxEnclosures = 32;
inline constexpr std::size_t kMaxDrivesPerEnclosure = 25;
inline constexpr std::size_t kMaxInterfacePathLength = 254;  // the programs keep 255 bytes with the NUL
inline constexpr std::size_t kMaxFilePathLength = 1024;
inline constexpr std::size_t kMaxNameLength = 64;
inline constexpr std::size_t kMaxControllers = 8;
inline constexpr std::size_t kMaxHubs = 16;
inline constexpr std::size_t kMaxVolumes = 32;
inline constexpr std::size_t kMaxExtentsPerVolume = 8;
inline constexpr std::size_t kMaxStringsPerEnclosure = 16;
inline constexpr std::size_t kMaxHubPorts = 15;
inline constexpr std::size_t kMaxStringLength = 126;  // a string descriptor holds 126 UTF-16 units
inline constexpr std::uint64_t kMaxSectors = 0x100000000;  // READ CAPACITY(10) reports a 32-bit last LBA

// GetDriveType's answers for the rig's letters.
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveCdrom = 5;

struct DriveMapping {
    char letter = 'A';   // upper case
    std::string folder;  // the host folder the letter stands for
};

// One string descriptor: its index and language; the text is ASCII.
struct UsbString {
    std::uint16_t language = 0x0409;
    std::uint8_t index = 0;
    std::string text;
};

enum class PartitionStyle { Mbr, Gpt };

// Where a device hangs in the USB tree: a controller's root hub or an external hub, and the port.
struct UsbAttachment {
    std::string parent;  // the name of a [controller] or [hub]; empty: not in the USB tree
    std::uint8_t port = 0;
    std::uint8_t speed = 2;  // 0 low, 1 full, 2 high, 3 SuperSpeed
};

struct ControllerConfig {
    std::string name;
    std::string path;     // the host controller interface path
    std::string rootHub;  // the root hub's name, as IOCTL_USB_GET_ROOT_HUB_NAME answers it
    std::uint8_t ports = 4;
    int line = 0;
};

struct HubConfig {
    std::string name;
    std::string hubName;  // what IOCTL_USB_GET_NODE_CONNECTION_NAME answers for its port
    std::uint16_t usbVendorId = 0;
    std::uint16_t usbProductId = 0;
    std::uint8_t ports = 4;
    std::string driverKey;
    UsbAttachment attachment;
    int line = 0;
};

struct VolumeExtent {
    std::string enclosure;  // by name
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct VolumeConfig {
    std::string guid;  // "{...}": the volume is "\\?\Volume{...}\"
    char letter = 0;   // 0: no drive letter
    std::vector<VolumeExtent> extents;
    int line = 0;
};

struct EnclosureConfig {
    std::string name;  // optional; unique when given
    std::uint16_t usbVendorId = 0;
    std::uint16_t usbProductId = 0;
    std::string inquiryVendor = "TOVI";          // up to 8 characters
    std::string inquiryProduct = "USB Enclosure";  // up to 16
    std::string inquiryRevision = "1.00";        // up to 4
    std::string signature = "QKTR";              // exactly 4, INQUIRY bytes 36..39
    std::string model = "4327";                  // exactly 4, INQUIRY bytes 44..47
    std::uint64_t sectors = 0;
    std::uint32_t sectorSize = 512;
    std::string interfacePath;  // the storage interface path the programs open
    std::vector<DriveMapping> drives;
    bool removable = false;  // drive type and the INQUIRY removable bit
    bool buttonPressed = false;  // initial state
    bool notReady = false;       // initial state
    FaultRules faults{};         // initial state: commands answered with a failure
    std::string imagePath;       // the sparse backing image
    std::string ataModel;        // IDENTIFY texts; defaults filled by the parser
    std::string ataSerial;
    std::string ataFirmware;
    // USB identity and place; defaults filled by the parser.
    UsbAttachment attachment;
    std::uint16_t bcdUsb = 0x0200;
    std::uint16_t bcdDevice = 0x0100;
    std::vector<UsbString> strings;  // manufacturer 1, product 2, serial number 3
    std::string instance;            // the registry instance key under Enum\USB\VID_xxxx&PID_yyyy
    std::string parentIdPrefix;      // empty: none
    std::string driverKey;
    PartitionStyle partitionStyle = PartitionStyle::Mbr;
    std::uint32_t diskSignature = 0;  // MBR
    std::uint32_t deviceNumber = 0;   // IOCTL_STORAGE_GET_DEVICE_NUMBER
    // The CD-ROM interface the enclosure also presents; none while the letter is 0. Its path is
    // the storage interface path with "#disk&" replaced by "#cdrom&" (filled by the parser).
    char cdromLetter = 0;
    std::string cdromPath;
    // `kind = flash`: a flash controller with a raw NAND (nand.present).
    NandConfig nand;
    bool nandKeysGiven = false;
    int line = 0;  // where the section starts, for messages
};

struct RigConfig {
    std::string rigPath;
    std::string statePath;
    std::string logPath;
    std::uint32_t systemMajorVersion = 6;
    std::vector<EnclosureConfig> enclosures;
    std::vector<ControllerConfig> controllers;
    std::vector<HubConfig> hubs;
    std::vector<VolumeConfig> volumes;
};

}  // namespace rig
