#include "device_sink.h"

#include <algorithm>

#include "corelink/core/scsi_commands.h"

namespace volkern {
namespace {

constexpr std::size_t kMaxTransfer = 65536;
constexpr std::uint8_t kLun = 0, kPathId = 0, kTargetId = 1;

}  // namespace

DeviceSink::DeviceSink(devio::DeviceStack& stack, devio::DeviceHandle handle, std::uint64_t first, std::uint64_t count)
    : device_{stack, tracer_}, handle_(handle), first_(first), count_(count) {}

bool DeviceSink::Inside(std::uint64_t sector, std::size_t bytes) const {
    if (bytes % kSectorSize != 0) return false;
    const std::uint64_t sectors = bytes / kSectorSize;
    return sector >= first_ && sector - first_ <= count_ && sectors <= count_ - (sector - first_) &&
           sector + sectors <= 0x100000000u;  // READ(10)/WRITE(10) address 32 bits
}

bool DeviceSink::Write(std::uint64_t sector, std::span<const std::uint8_t> data) {
    if (!Inside(sector, data.size())) return false;
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(kMaxTransfer, data.size() - done);
        const auto lba = static_cast<std::uint32_t>(sector + done / kSectorSize);
        if (!corelink::CSTDCMDControl::SendWrite10(device_, handle_, kLun, kPathId, kTargetId, lba,
                                                   static_cast<std::uint32_t>(step), data.data() + done)) {
            return false;
        }
        done += step;
    }
    return true;
}

bool DeviceSink::Read(std::uint64_t sector, std::span<std::uint8_t> data) {
    if (!Inside(sector, data.size())) return false;
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(kMaxTransfer, data.size() - done);
        const auto lba = static_cast<std::uint32_t>(sector + done / kSectorSize);
        if (!corelink::CSTDCMDControl::SendRead10(device_, handle_, kLun, kPathId, kTargetId, lba,
                                                  static_cast<std::uint32_t>(step), data.data() + done)) {
            return false;
        }
        done += step;
    }
    return true;
}

std::optional<DiskCapacity> ReadDiskCapacity(devio::DeviceStack& stack, devio::DeviceHandle handle) {
    struct SilentTracer final : corelink::Tracer {
        void Trace(const char*) override {}
    } tracer;
    corelink::Device device{stack, tracer};
    std::uint8_t reply[8] = {};
    if (!corelink::CSTDCMDControl::SendReadCapacity(device, handle, kLun, kPathId, kTargetId, reply)) {
        return std::nullopt;
    }
    auto word = [&](int at) {
        return (std::uint32_t{reply[at]} << 24) | (std::uint32_t{reply[at + 1]} << 16) |
               (std::uint32_t{reply[at + 2]} << 8) | reply[at + 3];
    };
    return DiskCapacity{std::uint64_t{word(0)} + 1, word(4)};
}

}  // namespace volkern
