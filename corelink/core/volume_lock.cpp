#include "corelink/core/volume_lock.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/core/usb_ioctl_layout.h"

namespace corelink {
namespace {

using devio::DeviceHandle;
using devio::kInvalidDeviceHandle;

constexpr std::uint32_t kExtentsReplySize = 248;  // the count and ten extents
constexpr std::uint32_t kVistaMajorVersion = 6;

// "<label><code>" with the code in `hex` or decimal.
void TraceCode(Device& device, const char* label, unsigned code, bool hex = true) {
    char number[16];
    std::snprintf(number, sizeof number, hex ? "%x" : "%d", code);
    device.tracer.Trace((std::string(label) + number + (hex ? "" : ")")).c_str());
}

bool NoDataRequest(Device& device, DeviceHandle handle, std::uint32_t code, std::uint32_t& lastError) {
    std::uint32_t returned = 0;
    return device.stack.Control(handle, code, nullptr, 0, nullptr, 0, returned, lastError);
}


// True when the opened volume lies on exactly one extent, of disk `number`.
bool OnlyOnDisk(Device& device, DeviceHandle volume, std::uint32_t number) {
    std::uint8_t reply[kExtentsReplySize] = {};
    std::uint32_t returned = 0;
    std::uint32_t lastError = 0;
    if (!device.stack.Control(volume, devio::kIoctlVolumeGetVolumeDiskExtents, nullptr, 0, reply, sizeof reply,
                              returned, lastError) ||
        returned < devio::kVolumeDiskExtentsFixedSize) {
        return false;
    }
    std::uint32_t count = 0;
    std::memcpy(&count, reply, sizeof count);
    devio::DiskExtent extent{};
    std::memcpy(&extent, reply + devio::kVolumeDiskExtentsHeaderSize, sizeof extent);
    return count == 1 && extent.DiskNumber == number;
}

// Opens the volume of disk `number` and leaves it open; the invalid value when there is none.
DeviceHandle OpenVolumeOf(Device& device, std::uint32_t number) {
    std::vector<std::string> names;
    if (!device.stack.EnumerateVolumes(names)) return kInvalidDeviceHandle;
    for (std::string name : names) {
        if (!name.empty() && name.back() == '\\') name.pop_back();  // the volume, not its root folder
        std::uint32_t lastError = 0;
        const DeviceHandle volume =
            device.stack.Open(name, devio::kGenericRead | devio::kGenericWrite, devio::kShareRead | devio::kShareWrite,
                              devio::kOpenExisting, 0, lastError);
        if (volume == kInvalidDeviceHandle) continue;
        if (OnlyOnDisk(device, volume, number)) return volume;
        device.stack.Close(volume);
    }
    return kInvalidDeviceHandle;
}

}  // namespace

bool DeviceNumberOf(Device& device, DeviceHandle disk, std::uint32_t& number, std::uint32_t& lastError) {
    devio::StorageDeviceNumber reply{};
    std::uint32_t returned = 0;
    lastError = 0;
    if (!device.stack.Control(disk, devio::kIoctlStorageGetDeviceNumber, nullptr, 0, &reply, sizeof reply, returned,
                              lastError) ||
        returned < sizeof reply) {
        if (lastError == 0) lastError = devio::kErrorGenFailure;
        return false;
    }
    number = reply.DeviceNumber;
    return true;
}

std::uint32_t Disk_Lock(Device& device, HandleArray handles, std::uint8_t slot, DeviceHandle* volume) {
    TraceCode(device, "Disk_Lock(", slot, false);
    if (volume == nullptr) return 0;
    *volume = kInvalidDeviceHandle;
    if (handles == nullptr) return 0;
    std::uint32_t number = 0;
    std::uint32_t lastError = 0;
    if (!DeviceNumberOf(device, handles[slot], number, lastError)) {
        TraceCode(device, "Disk_Lock_Err=", lastError);
        return lastError;
    }
    const DeviceHandle found = OpenVolumeOf(device, number);
    if (found == kInvalidDeviceHandle) return 1;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (attempt > 0) device.clock.Pause(kLockPauseMs);
        if (NoDataRequest(device, found, devio::kFsctlLockVolume, lastError)) {
            *volume = found;
            return 1;
        }
    }
    // Nobody could unlock a volume the caller never learns of: it is let go here.
    device.stack.Close(found);
    return 0;
}

int Disk_Unlock(Device& device, HandleArray handles, std::uint8_t slot, DeviceHandle volume) {
    TraceCode(device, "Disk_Unlock(", slot, false);
    std::uint32_t lastError = 0;
    const bool refreshed =
        handles != nullptr && NoDataRequest(device, handles[slot], devio::kIoctlDiskUpdateProperties, lastError);
    if (volume == kInvalidDeviceHandle) return refreshed ? 1 : 0;
    NoDataRequest(device, volume, devio::kFsctlDismountVolume, lastError);
    const bool unlocked = NoDataRequest(device, volume, devio::kFsctlUnlockVolume, lastError);
    device.stack.Close(volume);
    return refreshed && unlocked ? 1 : 0;
}

int DismountVolume(Device& device, DeviceHandle disk, bool force) {
    device.tracer.Trace("DisMountVolume");
    if (device.stack.SystemMajorVersion() == kVistaMajorVersion && !force) return 1;
    std::uint32_t number = 0;
    std::uint32_t lastError = 0;
    if (!DeviceNumberOf(device, disk, number, lastError)) {
        TraceCode(device, "GetDeviceNumber_Err=", lastError);
        return 0;
    }
    const DeviceHandle volume = OpenVolumeOf(device, number);
    if (volume == kInvalidDeviceHandle) return 1;
    const bool dismounted = NoDataRequest(device, volume, devio::kFsctlDismountVolume, lastError);
    if (!dismounted) TraceCode(device, "DisMount_Err=", lastError);
    device.stack.Close(volume);
    return dismounted ? 1 : 0;
}

}  // namespace corelink
