#pragma once
// Sector reads and writes on an opened disk, and its capacity. Transfers longer than one command
// carries are cut into chunks of at most 65536 bytes; after each chunk the block address moves on
// by chunk / 512 and the buffer by the chunk.
//
// A byte count that is not a multiple of 512, a missing buffer or output, or a transfer whose
// last block would lie past block 0xFFFFFFFF (the address would wrap to the disk's start) is
// refused before anything is sent: result 0. A byte count of 0 sends nothing and answers 1. The
// result is 1 only when every chunk succeeded; the transfer goes on past a failed chunk, so the
// caller gets whatever could be moved.

#include <cstdint>

#include "corelink/core/device_operations.h"
#include "corelink/core/scsi_commands.h"

namespace corelink {

inline constexpr std::uint32_t kDiskChunk = 65536;
inline constexpr std::uint32_t kBlockSize = 512;
inline constexpr int kWriteAttempts = 3;

int ReadDisk(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t lba, std::uint32_t byteCount,
             std::uint8_t* data);
// Every chunk is tried up to kWriteAttempts times until one attempt succeeds. Traces nothing.
int WriteDiskRetry(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t lba,
                   std::uint32_t byteCount, const std::uint8_t* data);
// `*ticks` receives the smallest chunk time in `now`'s units (a failed chunk counts as 0; 0 when
// nothing was sent). No retries.
int ReadDiskEx(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t lba,
               std::uint32_t byteCount, std::uint8_t* data, std::uint32_t* ticks, TickSource now);
int WriteDisk(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t lba,
              std::uint32_t byteCount, const std::uint8_t* data, std::uint32_t* ticks, TickSource now);

// READ CAPACITY: the last block address and the block length; both 0 when the command failed.
int ReadCapacity(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t* lastLba,
                 std::uint32_t* blockLength);
int ReadCapacityEx(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun, std::uint32_t* lastLba,
                   std::uint32_t* blockLength);

}  // namespace corelink
