#include "disk_lookup.h"

#include <array>
#include <cstring>
#include <utility>

namespace volkern {
namespace {

const devio::Guid kDiskInterfaces{0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr std::uint32_t kQueryOnly = 0;  // no data access: enough for the storage queries
constexpr std::uint32_t kReadWrite = devio::kGenericRead | devio::kGenericWrite;
constexpr std::uint32_t kShareAll = devio::kShareRead | devio::kShareWrite;
constexpr std::size_t kMaxExtents = 8;

}  // namespace

std::string VolumePathOf(char letter) { return std::string("\\\\.\\") + letter + ":"; }

OpenDevice::OpenDevice(devio::DeviceStack& stack, const std::string& path, std::uint32_t access) : stack_(&stack) {
    handle_ = stack.Open(path, access, kShareAll, devio::kOpenExisting, 0, error_);
}

OpenDevice::~OpenDevice() {
    if (Valid()) stack_->Close(handle_);
}

OpenDevice::OpenDevice(OpenDevice&& other) noexcept
    : stack_(other.stack_), handle_(std::exchange(other.handle_, devio::kInvalidDeviceHandle)), error_(other.error_) {}

bool OpenDevice::Request(std::uint32_t code, std::uint32_t& error) {
    std::uint32_t returned = 0;
    error = 0;
    return stack_->Control(handle_, code, nullptr, 0, nullptr, 0, returned, error);
}

std::optional<std::uint32_t> DeviceNumberOf(devio::DeviceStack& stack, devio::DeviceHandle handle) {
    devio::StorageDeviceNumber number{};
    std::uint32_t returned = 0, error = 0;
    if (!stack.Control(handle, devio::kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, returned,
                       error) ||
        returned < sizeof number || number.DeviceType != devio::kFileDeviceDisk) {
        return std::nullopt;
    }
    return number.DeviceNumber;
}

std::optional<std::vector<devio::DiskExtent>> ExtentsOf(devio::DeviceStack& stack, devio::DeviceHandle handle) {
    std::array<std::uint8_t, devio::kVolumeDiskExtentsHeaderSize + kMaxExtents * sizeof(devio::DiskExtent)> reply{};
    std::uint32_t returned = 0, error = 0;
    if (!stack.Control(handle, devio::kIoctlVolumeGetVolumeDiskExtents, nullptr, 0, reply.data(),
                       static_cast<std::uint32_t>(reply.size()), returned, error) ||
        returned < devio::kVolumeDiskExtentsHeaderSize) {
        return std::nullopt;
    }
    std::uint32_t count = 0;
    std::memcpy(&count, reply.data(), sizeof count);
    if (count == 0 || count > kMaxExtents ||
        returned < devio::kVolumeDiskExtentsHeaderSize + count * sizeof(devio::DiskExtent)) {
        return std::nullopt;
    }
    std::vector<devio::DiskExtent> extents(count);
    std::memcpy(extents.data(), reply.data() + devio::kVolumeDiskExtentsHeaderSize, count * sizeof(devio::DiskExtent));
    return extents;
}

std::optional<std::string> DiskPathOf(devio::DeviceStack& stack, std::uint32_t deviceNumber) {
    std::vector<devio::DeviceInterface> disks;
    if (!stack.EnumerateInterfaces(kDiskInterfaces, disks)) return std::nullopt;
    std::optional<std::string> found;
    for (const auto& disk : disks) {
        OpenDevice device(stack, disk.path, kQueryOnly);
        if (!device.Valid() || DeviceNumberOf(stack, device.Handle()) != deviceNumber) continue;
        if (found) return std::nullopt;  // two disks answer the same number: neither is certain
        found = disk.path;
    }
    return found;
}

std::optional<std::set<std::uint32_t>> SystemDisks(devio::DeviceStack& stack, const std::string& systemLetters) {
    std::set<std::uint32_t> disks;
    const std::uint32_t mask = stack.LogicalDriveMask();
    for (char letter : systemLetters) {
        if (letter < 'A' || letter > 'Z' || (mask & (1u << (letter - 'A'))) == 0) continue;
        OpenDevice volume(stack, VolumePathOf(letter), kQueryOnly);
        if (!volume.Valid()) return std::nullopt;
        const auto extents = ExtentsOf(stack, volume.Handle());
        if (!extents) return std::nullopt;
        for (const auto& extent : *extents) disks.insert(extent.DiskNumber);
    }
    return disks;
}

bool LockAndDismount(OpenDevice& volume) {
    std::uint32_t error = 0;
    if (!volume.Request(kFsctlLockVolume, error) && error != devio::kErrorNotSupported) return false;
    volume.Request(kFsctlDismountVolume, error);
    return true;
}

bool VolumeLocks::LockDisk(std::uint32_t deviceNumber) {
    std::vector<std::string> names;
    if (!stack_.EnumerateVolumes(names)) return true;  // no volumes listed: nothing mounted to lock
    for (const auto& name : names) {
        // A volume opens by its name without the trailing backslash, or by its drive letter.
        std::vector<std::string> paths{name.size() > 1 && name.back() == '\\' ? name.substr(0, name.size() - 1) : name};
        std::vector<std::string> mountPoints;
        if (stack_.VolumePathNames(name, mountPoints)) {
            for (const auto& point : mountPoints) {
                if (point.size() >= 2 && point[1] == ':') paths.push_back(VolumePathOf(point[0]));
            }
        }
        for (const auto& path : paths) {
            OpenDevice volume(stack_, path, kReadWrite);
            if (!volume.Valid()) continue;
            const auto extents = ExtentsOf(stack_, volume.Handle());
            if (!extents) break;
            bool onDisk = false;
            for (const auto& extent : *extents) onDisk = onDisk || extent.DiskNumber == deviceNumber;
            if (onDisk) {
                if (!LockAndDismount(volume)) return false;
                locked_.push_back(std::move(volume));
            }
            break;
        }
    }
    return true;
}

}  // namespace volkern
