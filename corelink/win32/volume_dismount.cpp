#include "volume_dismount.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/core/usb_ioctl_layout.h"
#include "debug_trace.h"

namespace corelink::com {
namespace {

constexpr std::uint32_t kFsctlDismountVolume = 0x90020;
constexpr std::uint32_t kReadWrite = devio::kGenericRead | devio::kGenericWrite;
constexpr std::uint32_t kShareReadWrite = devio::kShareRead | devio::kShareWrite;

void TraceDeviceNumberError(std::uint32_t code) {
    char text[64];
    std::snprintf(text, sizeof text, "GetDeviceNumber_Err=%x", static_cast<unsigned>(code));
    Trace(text);
}

void TraceDismountError(std::uint32_t code) {
    char text[64];
    std::snprintf(text, sizeof text, "DisMount_Err=%x", static_cast<unsigned>(code));
    Trace(text);
}

// An open volume, closed with the scope.
class Volume {
public:
    Volume(devio::DeviceStack& stack, const std::string& path) : stack_(stack) {
        std::uint32_t error = 0;
        handle_ = stack.Open(path, kReadWrite, kShareReadWrite, devio::kOpenExisting, 0, error);
    }
    ~Volume() {
        if (Valid()) stack_.Close(handle_);
    }
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;
    bool Valid() const { return handle_ != devio::kInvalidDeviceHandle; }
    devio::DeviceHandle Handle() const { return handle_; }

private:
    devio::DeviceStack& stack_;
    devio::DeviceHandle handle_ = devio::kInvalidDeviceHandle;
};

// True when the volume has exactly one extent, on disk `number`.
bool OnlyOnDisk(devio::DeviceStack& stack, devio::DeviceHandle volume, std::uint32_t number) {
    std::array<std::uint8_t, 248> reply{};
    std::uint32_t returned = 0, error = 0;
    if (!stack.Control(volume, devio::kIoctlVolumeGetVolumeDiskExtents, nullptr, 0, reply.data(),
                       static_cast<std::uint32_t>(reply.size()), returned, error) ||
        returned < devio::kVolumeDiskExtentsFixedSize) {
        return false;
    }
    std::uint32_t count = 0;
    devio::DiskExtent extent{};
    std::memcpy(&count, reply.data(), sizeof count);
    std::memcpy(&extent, reply.data() + devio::kVolumeDiskExtentsHeaderSize, sizeof extent);
    return count == 1 && extent.DiskNumber == number;
}

}  // namespace

bool DiskDeviceNumber(devio::DeviceStack& stack, devio::DeviceHandle handle, std::uint32_t& number,
                      std::uint32_t& error) {
    devio::StorageDeviceNumber reply{};
    std::uint32_t returned = 0;
    error = 0;
    if (!stack.Control(handle, devio::kIoctlStorageGetDeviceNumber, nullptr, 0, &reply, sizeof reply, returned,
                       error)) {
        if (error == 0) error = devio::kErrorGenFailure;
        return false;
    }
    number = reply.DeviceNumber;
    return true;
}

int DismountVolumeOf(devio::DeviceStack& stack, devio::DeviceHandle disk, bool force) {
    Trace("DisMountVolume");
    if (stack.SystemMajorVersion() == 6 && !force) return 1;
    std::uint32_t number = 0, error = 0;
    if (!DiskDeviceNumber(stack, disk, number, error)) {
        TraceDeviceNumberError(error);
        return 0;
    }
    std::vector<std::string> names;
    if (!stack.EnumerateVolumes(names)) return 1;
    for (std::string name : names) {
        if (!name.empty() && name.back() == '\\') name.pop_back();
        Volume volume(stack, name);
        if (!volume.Valid() || !OnlyOnDisk(stack, volume.Handle(), number)) continue;
        std::uint32_t returned = 0;
        if (!stack.Control(volume.Handle(), kFsctlDismountVolume, nullptr, 0, nullptr, 0, returned, error)) {
            TraceDismountError(error);
            return 0;
        }
        return 1;
    }
    return 1;
}

}  // namespace corelink::com
