#pragma once
// Finding disks and volumes through the device I/O seam: the disk with a device number, the disk
// extents of a drive letter, the disks that hold the system's own volumes, and the locks that
// keep a disk's volumes out of the way while it is formatted.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/core/device_stack.h"
#include "common/core/usb_ioctl_layout.h"

namespace volkern {

inline constexpr std::uint32_t kFsctlLockVolume = 0x90018;
inline constexpr std::uint32_t kFsctlUnlockVolume = 0x9001C;
inline constexpr std::uint32_t kFsctlDismountVolume = 0x90020;
inline constexpr std::uint32_t kIoctlDiskUpdateProperties = 0x70140;

// "\\.\X:" for a drive letter.
std::string VolumePathOf(char letter);

// A device opened for the length of a scope.
class OpenDevice {
public:
    OpenDevice(devio::DeviceStack& stack, const std::string& path, std::uint32_t access);
    ~OpenDevice();
    OpenDevice(OpenDevice&& other) noexcept;
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;
    OpenDevice& operator=(OpenDevice&&) = delete;

    bool Valid() const { return handle_ != devio::kInvalidDeviceHandle; }
    devio::DeviceHandle Handle() const { return handle_; }
    std::uint32_t Error() const { return error_; }
    // A control request without data either way.
    bool Request(std::uint32_t code, std::uint32_t& error);

private:
    devio::DeviceStack* stack_;
    devio::DeviceHandle handle_ = devio::kInvalidDeviceHandle;
    std::uint32_t error_ = 0;
};

// The device number of an open disk or volume; nothing when the request fails or it is no disk.
std::optional<std::uint32_t> DeviceNumberOf(devio::DeviceStack& stack, devio::DeviceHandle handle);

// The disk extents of an open volume; nothing when they cannot be read.
std::optional<std::vector<devio::DiskExtent>> ExtentsOf(devio::DeviceStack& stack, devio::DeviceHandle handle);

// The interface path of the one disk with `deviceNumber`; nothing when none or several answer.
std::optional<std::string> DiskPathOf(devio::DeviceStack& stack, std::uint32_t deviceNumber);

// The disks that hold the volumes of `systemLetters` (the system's own drives). Letters the
// stack does not show are skipped; nothing when a shown letter's disks cannot be read.
std::optional<std::set<std::uint32_t>> SystemDisks(devio::DeviceStack& stack, const std::string& systemLetters);

// Locks and dismounts an open volume; the lock ends when its handle closes. False when the
// volume is in use. A stack whose volumes have no file system to lock (a simulated one) answers
// "not supported", which counts as locked.
bool LockAndDismount(OpenDevice& volume);

// Locks and dismounts volumes for the length of a scope (the locks end when the handles close).
class VolumeLocks {
public:
    explicit VolumeLocks(devio::DeviceStack& stack) : stack_(stack) {}
    // Every present volume with an extent on `deviceNumber`. False when one is in use.
    bool LockDisk(std::uint32_t deviceNumber);

private:
    devio::DeviceStack& stack_;
    std::vector<OpenDevice> locked_;
};

}  // namespace volkern
