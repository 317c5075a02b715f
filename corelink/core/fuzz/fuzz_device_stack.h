#pragma once
// A device stack whose every answer is read from the fuzz input, for the discovery fuzz targets.
// The input is consumed front to back as the calls come; once it runs out, every device fails to
// open, every request fails and every list is empty, so a walk always comes to an end.
//
// Control: a flags byte (bit 0 delivered, bit 1 a 16-bit length follows instead of an 8-bit
// one, bits 2..3 pick the error code, bit 4 the output first takes the previous request's input,
// as a device that gives back what it was given), the length, then that many reply bytes, of
// which the output takes at most outputSize. Bytes past the reply's end keep what the caller (or
// the previous request) put there.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/core/device_stack.h"
#include "common/core/usb_ioctl_layout.h"
#include "corelink/core/device_operations.h"

namespace corelink::fuzzing {

class Cursor {
public:
    Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t Dword() { return static_cast<std::uint32_t>(Word()) | static_cast<std::uint32_t>(Word()) << 16; }
    // Up to `count` bytes (fewer when the input ends).
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        const std::size_t taken = std::min(count, size_ - std::min(at_, size_));
        std::vector<std::uint8_t> bytes(data_ + at_, data_ + at_ + taken);
        at_ += taken;
        return bytes;
    }
    // A length byte and that many characters.
    std::string Text() {
        const auto bytes = Bytes(Byte());
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class FuzzDeviceStack final : public devio::DeviceStack {
public:
    explicit FuzzDeviceStack(Cursor& in) : in_(in) {}

    devio::DeviceHandle Open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t& lastError) override {
        const std::uint8_t flags = in_.Byte();
        if ((flags & 1) == 0 || in_.Empty()) {
            lastError = flags >> 1;
            return devio::kInvalidDeviceHandle;
        }
        return ++nextHandle_;
    }
    bool Close(devio::DeviceHandle) override { return true; }

    bool Control(devio::DeviceHandle, std::uint32_t, const void* input, std::uint32_t inputSize, void* output,
                 std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override {
        static constexpr std::uint32_t kErrors[4] = {0, devio::kErrorInsufficientBuffer, devio::kErrorMoreData,
                                                     devio::kErrorDeviceNotConnected};
        std::vector<std::uint8_t> previous = std::move(previousInput_);
        const auto* given = static_cast<const std::uint8_t*>(input);
        previousInput_.assign(given, given + (given != nullptr ? inputSize : 0));
        returned = 0;
        if (in_.Empty()) {
            lastError = devio::kErrorDeviceNotConnected;
            return false;
        }
        const std::uint8_t flags = in_.Byte();
        const std::size_t length = (flags & 2) != 0 ? in_.Word() : in_.Byte();
        const std::vector<std::uint8_t> reply = in_.Bytes(length);
        std::size_t copied = 0;
        if ((flags & 0x10) != 0 && output != nullptr) {
            copied = std::min<std::size_t>(previous.size(), outputSize);
            if (copied != 0) std::memcpy(output, previous.data(), copied);
        }
        const std::size_t replied = std::min<std::size_t>(reply.size(), outputSize);
        if (replied != 0 && output != nullptr) std::memcpy(output, reply.data(), replied);
        copied = std::max(copied, replied);
        returned = static_cast<std::uint32_t>(copied);
        lastError = kErrors[(flags >> 2) & 3];
        return (flags & 1) != 0;
    }

    bool EnumerateInterfaces(const devio::Guid&, std::vector<devio::DeviceInterface>& interfaces) override {
        const std::uint8_t count = in_.Byte();
        for (unsigned i = 0; i < (count & 3u); ++i) {
            devio::DeviceInterface item;
            item.path = Path();
            item.instance = in_.Byte();
            interfaces.push_back(std::move(item));
        }
        return (count & 0x80) == 0;
    }
    bool ParentOf(devio::DeviceInstance, devio::DeviceInstance& parent) override { return Number(parent); }
    bool FirstChildOf(devio::DeviceInstance, devio::DeviceInstance& child) override { return Number(child); }
    bool DeviceIdOf(devio::DeviceInstance, std::string& deviceId) override {
        if ((in_.Byte() & 1) == 0) return false;
        deviceId = in_.Text();
        return true;
    }
    bool HardwareIdsOf(devio::DeviceInstance, std::vector<std::string>& hardwareIds) override {
        return Names(hardwareIds);
    }
    std::uint32_t RequestEject(devio::DeviceInstance) override { return in_.Byte(); }

    bool ReadRegistryValue(devio::RegistryHive, const std::string&, const std::string&, std::uint32_t& type,
                           std::vector<std::uint8_t>& data) override {
        const std::uint8_t flags = in_.Byte();
        if ((flags & 1) == 0) return false;
        type = in_.Byte();
        data = in_.Bytes((flags & 2) != 0 ? in_.Word() : in_.Byte());
        return true;
    }
    bool EnumerateRegistryValues(devio::RegistryHive, const std::string&, std::vector<std::string>& names) override {
        return Names(names);
    }
    bool EnumerateRegistryKeys(devio::RegistryHive, const std::string&, std::vector<std::string>& names) override {
        return Names(names);
    }
    bool WriteRegistryValue(devio::RegistryHive, const std::string&, const std::string&, std::uint32_t,
                            const std::vector<std::uint8_t>&) override {
        return (in_.Byte() & 1) != 0;
    }
    bool DeleteRegistryValue(devio::RegistryHive, const std::string&, const std::string&) override {
        return (in_.Byte() & 1) != 0;
    }
    bool DeleteRegistryTree(devio::RegistryHive, const std::string&) override { return (in_.Byte() & 1) != 0; }
    std::uint32_t CheckRegistryKey(devio::RegistryHive, const std::string&) override { return in_.Byte() % 6; }
    std::uint32_t DeleteRegistryKey(devio::RegistryHive, const std::string&) override { return in_.Byte() % 6; }
    bool GrantRegistryKeyToAdministrators(devio::RegistryHive, const std::string&, std::string&) override {
        return (in_.Byte() & 1) != 0;
    }

    std::uint32_t LogicalDriveMask() override { return in_.Dword(); }
    std::uint32_t DriveType(const std::string&) override { return in_.Byte(); }
    bool EnumerateVolumes(std::vector<std::string>& volumeNames) override { return Names(volumeNames); }
    bool VolumePathNames(const std::string&, std::vector<std::string>& paths) override { return Names(paths); }
    std::uint32_t SystemMajorVersion() override { return in_.Byte(); }

private:
    bool Number(devio::DeviceInstance& value) {
        const std::uint8_t flags = in_.Byte();
        value = in_.Byte();
        return (flags & 1) != 0;
    }

    // A path of the kinds the discovery code looks for, or raw text.
    std::string Path() {
        static constexpr const char* kPrefixes[] = {
            "",
            "\\\\?\\usb#root_hub20#4&1&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
            "\\\\?\\usb#root_hub30#4&2&0#{f18a0e88-c30c-11d0-8815-00a0c906bed8}",
            "\\\\?\\usbstor#disk&ven_tovi&prod_enclosure&rev_1.00#",
            "\\\\?\\usbstor#cdrom&ven_tovi&prod_enclosure&rev_1.00#",
            "\\\\?\\pci#ven_8086&dev_1e31#",
            "\\\\?\\usb#vid_1a2b&pid_3c4d#",
            "\\\\?\\hub#root_hub_fl30#",
        };
        const std::uint8_t kind = in_.Byte();
        return std::string(kPrefixes[kind % std::size(kPrefixes)]) + in_.Text();
    }

    // A count byte (bit 7: the call fails) and that many names, each raw text or one of the
    // names the discovery code looks for.
    bool Names(std::vector<std::string>& names) {
        const std::uint8_t count = in_.Byte();
        for (unsigned i = 0; i < (count & 7u); ++i) {
            const std::uint8_t kind = in_.Byte();
            switch (kind % 4) {
                case 0: names.push_back(in_.Text()); break;
                case 1: names.push_back("Device Parameters"); break;
                case 2: {
                    char text[32];
                    const unsigned vendor = in_.Word();
                    const unsigned product = in_.Word();
                    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", vendor, product);
                    names.push_back(text);
                    break;
                }
                default: names.push_back(std::string("\\DosDevices\\") + static_cast<char>(in_.Byte()) + ":"); break;
            }
        }
        return (count & 0x80) == 0;
    }

    Cursor& in_;
    devio::DeviceHandle nextHandle_ = 0;
    std::vector<std::uint8_t> previousInput_;
};

// Prints the component's trace when CORELINK_FUZZ_TRACE is set (for checking what a seed reaches).
class FuzzTracer final : public Tracer {
public:
    void Trace(const char* text) override {
        static const bool enabled = std::getenv("CORELINK_FUZZ_TRACE") != nullptr;
        if (enabled) std::fprintf(stderr, "%s\n", text);
    }
};

// A guard area after a list: filled before the call, checked after it.
inline constexpr std::size_t kGuardBytes = 256;
inline constexpr std::uint8_t kGuardFill = 0xA5;

inline void CheckGuard(const std::uint8_t* guard) {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (guard[i] != kGuardFill) __builtin_trap();
    }
}

}  // namespace corelink::fuzzing
