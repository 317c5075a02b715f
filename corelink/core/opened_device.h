#pragma once
// A device, hub or volume opened through the device stack for the length of a scope.

#include <cstdint>
#include <string>

#include "common/core/device_stack.h"
#include "common/core/usb_ioctl_layout.h"

namespace corelink {

class OpenedDevice {
public:
    // Read and write access, shared read and write: disks and volumes.
    static constexpr std::uint32_t kReadWrite = devio::kGenericRead | devio::kGenericWrite;
    static constexpr std::uint32_t kShareReadWrite = devio::kShareRead | devio::kShareWrite;

    OpenedDevice(devio::DeviceStack& stack, const std::string& path, std::uint32_t access = kReadWrite,
                 std::uint32_t share = kShareReadWrite)
        : stack_(stack) {
        handle_ = stack_.Open(path, access, share, devio::kOpenExisting, 0, error_);
    }
    ~OpenedDevice() {
        if (Valid()) stack_.Close(handle_);
    }
    OpenedDevice(const OpenedDevice&) = delete;
    OpenedDevice& operator=(const OpenedDevice&) = delete;

    bool Valid() const { return handle_ != devio::kInvalidDeviceHandle; }
    devio::DeviceHandle Handle() const { return handle_; }
    // Why the open failed (a general failure when the stack gave no reason).
    std::uint32_t Error() const { return error_ != 0 ? error_ : devio::kErrorGenFailure; }

private:
    devio::DeviceStack& stack_;
    devio::DeviceHandle handle_ = devio::kInvalidDeviceHandle;
    std::uint32_t error_ = 0;
};

}  // namespace corelink
