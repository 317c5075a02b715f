#pragma once
// The pass-through block is laid out with the 32-bit header, as the device code builds and the
// simulated enclosure reads it. A 64-bit process must hand the system its own header layout
// (a pointer-sized data offset), so the request is re-laid out around the call and the reply
// laid back.

#include <windows.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/core/scsi_pass_through.h"

namespace devio {

struct NativePassThroughBlock {
    SCSI_PASS_THROUGH header;
    std::uint8_t sense[24];
    std::uint8_t data[kMaxTransferLength];
};

inline constexpr bool kNativePassThroughDiffers = sizeof(SCSI_PASS_THROUGH) != sizeof(ScsiPassThroughHeader);
inline constexpr std::uint32_t kNativeDataOffset = offsetof(NativePassThroughBlock, data);

// Copies a request in the 32-bit layout (`size` bytes: header, sense area, data out) into
// `native`; returns the native request size, or 0 when the request is malformed.
std::uint32_t ToNativePassThrough(const void* request, std::uint32_t size, NativePassThroughBlock& native);
// Copies a native reply (`nativeSize` bytes returned) back into the 32-bit layout of `reply`
// (`replySize` bytes available); returns the size in that layout.
std::uint32_t FromNativePassThrough(const NativePassThroughBlock& native, std::uint32_t nativeSize, void* reply,
                                    std::uint32_t replySize);

}  // namespace devio
