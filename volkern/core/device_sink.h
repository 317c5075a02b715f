#pragma once
// A disk reached through the device I/O seam: sectors move by READ(10) and WRITE(10) pass-through
// requests on an open disk or volume handle (which address the whole disk), in transfers of at
// most 64 KiB. A sink only ever reaches its window of the disk: a write or read outside it is
// refused before anything is sent.

#include <cstdint>
#include <optional>

#include "common/core/device_stack.h"
#include "corelink/core/device_operations.h"
#include "sector_sink.h"

namespace volkern {

class DeviceSink final : public SectorSink {
public:
    // Sectors [first, first + count) of the disk behind `handle`.
    DeviceSink(devio::DeviceStack& stack, devio::DeviceHandle handle, std::uint64_t first, std::uint64_t count);

    bool Write(std::uint64_t sector, std::span<const std::uint8_t> data) override;
    bool Read(std::uint64_t sector, std::span<std::uint8_t> data) override;

private:
    bool Inside(std::uint64_t sector, std::size_t bytes) const;

    struct SilentTracer final : corelink::Tracer {
        void Trace(const char*) override {}
    };
    SilentTracer tracer_;
    corelink::Device device_;
    devio::DeviceHandle handle_;
    std::uint64_t first_;
    std::uint64_t count_;
};

struct DiskCapacity {
    std::uint64_t sectors = 0;
    std::uint32_t sectorSize = 0;
};

// READ CAPACITY on the disk behind `handle`; nothing when the command fails.
std::optional<DiskCapacity> ReadDiskCapacity(devio::DeviceStack& stack, devio::DeviceHandle handle);

}  // namespace volkern
