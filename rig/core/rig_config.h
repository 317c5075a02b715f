#pragma once
// A simulated machine as a rig file describes it (the format: rig/README.md). Paths are UTF-8
// and already resolved against the rig file's folder; texts sent to programs are 8-bit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rig {

// Bounds of a rig file; the parser refuses anything beyond them.
inline constexpr std::size_t kMaxRigFileSize = 1024 * 1024;
inline constexpr std::size_t kMaxLineLength = 4096;
inline constexpr std::size_t kMaxEnclosures = 32;
inline constexpr std::size_t kMaxDrivesPerEnclosure = 25;
inline constexpr std::size_t kMaxInterfacePathLength = 254;  // the programs keep 255 bytes with the NUL
inline constexpr std::size_t kMaxFilePathLength = 1024;
inline constexpr std::size_t kMaxNameLength = 64;
inline constexpr std::uint64_t kMaxSectors = 0x100000000;  // READ CAPACITY(10) reports a 32-bit last LBA

// GetDriveType's answers for the rig's letters.
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;

struct DriveMapping {
    char letter = 'A';   // upper case
    std::string folder;  // the host folder the letter stands for
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
    std::string imagePath;       // the sparse backing image
    std::string ataModel;        // IDENTIFY texts; defaults filled by the parser
    std::string ataSerial;
    std::string ataFirmware;
    int line = 0;  // where the section starts, for messages
};

struct RigConfig {
    std::string rigPath;
    std::string statePath;
    std::string logPath;
    std::uint32_t systemMajorVersion = 6;
    std::vector<EnclosureConfig> enclosures;
};

}  // namespace rig
