#include "corelink/core/disk_transfer.h"

#include <algorithm>
#include <limits>

#include "common/core/scsi_pass_through.h"

namespace corelink {
namespace {

using devio::DeviceHandle;
using Std = CSTDCMDControl;

// The checks every transfer passes before anything is sent.
bool Sendable(HandleArray handles, std::uint32_t lba, std::uint32_t byteCount, const void* data) {
    if (handles == nullptr || byteCount % kBlockSize != 0) return false;
    if (byteCount == 0) return true;
    const std::uint64_t lastBlock = std::uint64_t{lba} + byteCount / kBlockSize - 1;
    return data != nullptr && lastBlock <= std::numeric_limits<std::uint32_t>::max();
}

// Runs `chunk(lba, length, offset)` over the transfer; 1 when every chunk answered 1.
template <typename Chunk>
int InChunks(std::uint32_t lba, std::uint32_t byteCount, Chunk chunk) {
    int result = 1;
    for (std::uint32_t offset = 0; offset < byteCount;) {
        const std::uint32_t length = std::min(kDiskChunk, byteCount - offset);
        if (chunk(lba, length, offset) == 0) result = 0;
        lba += length / kBlockSize;
        offset += length;
    }
    return result;
}

// The smallest of the chunk times, failed chunks counting as 0.
class ShortestChunk {
public:
    void Add(std::uint32_t ticks) {
        shortest_ = any_ ? std::min(shortest_, ticks) : ticks;
        any_ = true;
    }
    std::uint32_t Ticks() const { return any_ ? shortest_ : 0; }

private:
    std::uint32_t shortest_ = 0;
    bool any_ = false;
};

// A timed transfer: checked, then sent in chunks by `send(lba, length, offset, &chunkTicks)`;
// the smallest chunk time goes to *ticks (0 when nothing was sent).
template <typename Send>
int TimedInChunks(HandleArray handles, std::uint32_t lba, std::uint32_t byteCount, const void* data,
                  std::uint32_t* ticks, Send send) {
    if (ticks != nullptr) *ticks = 0;
    if (!Sendable(handles, lba, byteCount, data)) return 0;
    ShortestChunk shortest;
    const int result = InChunks(lba, byteCount, [&](std::uint32_t at, std::uint32_t length, std::uint32_t offset) {
        std::uint32_t chunkTicks = 0;
        const int sent = send(at, length, offset, &chunkTicks);
        shortest.Add(chunkTicks);
        return sent;
    });
    if (ticks != nullptr) *ticks = shortest.Ticks();
    return result;
}

int Capacity(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t* lastLba,
             std::uint32_t* blockLength) {
    if (lastLba == nullptr || blockLength == nullptr) return 0;
    *lastLba = 0;
    *blockLength = 0;
    if (handles == nullptr) return 0;
    std::uint8_t reply[8] = {};
    if (Std::SendReadCapacity(device, handles[slot], lun, 0, 0, reply) == 0) return 0;
    *lastLba = devio::GetBigEndian32(&reply[0]);
    *blockLength = devio::GetBigEndian32(&reply[4]);
    return 1;
}

}  // namespace

int ReadDisk(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t lba, std::uint32_t byteCount,
             std::uint8_t* data) {
    device.tracer.Trace("ReadDisk()");
    if (!Sendable(handles, lba, byteCount, data)) return 0;
    const DeviceHandle handle = handles[slot];
    return InChunks(lba, byteCount, [&](std::uint32_t at, std::uint32_t length, std::uint32_t offset) {
        return Std::SendRead10(device, handle, 0, 0, 0, at, length, data + offset);
    });
}

int WriteDiskRetry(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t lba, std::uint32_t byteCount,
                   const std::uint8_t* data) {
    if (!Sendable(handles, lba, byteCount, data)) return 0;
    const DeviceHandle handle = handles[slot];
    return InChunks(lba, byteCount, [&](std::uint32_t at, std::uint32_t length, std::uint32_t offset) {
        for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
            if (Std::SendWrite10(device, handle, 0, 0, 0, at, length, data + offset) != 0) return 1;
        }
        return 0;
    });
}

int ReadDiskEx(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t lba,
               std::uint32_t byteCount, std::uint8_t* data, std::uint32_t* ticks, TickSource now) {
    device.tracer.Trace("ReadDiskEx()");
    return TimedInChunks(handles, lba, byteCount, data, ticks, [&](std::uint32_t at, std::uint32_t length,
                                                                   std::uint32_t offset, std::uint32_t* chunkTicks) {
        return Std::SendRead10Timed(device, handles[slot], lun, 0, 0, at, length, data + offset, chunkTicks, now);
    });
}

int WriteDisk(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t lba,
              std::uint32_t byteCount, const std::uint8_t* data, std::uint32_t* ticks, TickSource now) {
    device.tracer.Trace("WriteDisk()");
    return TimedInChunks(handles, lba, byteCount, data, ticks, [&](std::uint32_t at, std::uint32_t length,
                                                                   std::uint32_t offset, std::uint32_t* chunkTicks) {
        return Std::SendWrite10Timed(device, handles[slot], lun, 0, 0, at, length, data + offset, chunkTicks, now);
    });
}

int ReadCapacity(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t* lastLba,
                 std::uint32_t* blockLength) {
    device.tracer.Trace("ReadCapacity()");
    return Capacity(device, handles, slot, 0, lastLba, blockLength);
}

int ReadCapacityEx(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t* lastLba,
                   std::uint32_t* blockLength) {
    device.tracer.Trace("ReadCapacityEx()");
    return Capacity(device, handles, slot, lun, lastLba, blockLength);
}

}  // namespace corelink
