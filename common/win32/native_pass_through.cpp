#include "native_pass_through.h"

#include <algorithm>
#include <cstring>

namespace devio {

std::uint32_t ToNativePassThrough(const void* request, std::uint32_t size, NativePassThroughBlock& native) {
    if (request == nullptr || size < kHeaderAndSenseSize || size > sizeof(ScsiPassThroughBlock)) return 0;
    ScsiPassThroughHeader header;
    std::memcpy(&header, request, sizeof header);
    native.header = {};
    native.header.Length = sizeof(SCSI_PASS_THROUGH);
    native.header.ScsiStatus = header.scsiStatus;
    native.header.PathId = header.pathId;
    native.header.TargetId = header.targetId;
    native.header.Lun = header.lun;
    native.header.CdbLength = header.cdbLength;
    native.header.SenseInfoLength = header.senseInfoLength;
    native.header.DataIn = header.dataIn;
    native.header.DataTransferLength = header.dataTransferLength;
    native.header.TimeOutValue = header.timeOutValue;
    native.header.DataBufferOffset = kNativeDataOffset;
    native.header.SenseInfoOffset = offsetof(NativePassThroughBlock, sense);
    std::memcpy(native.header.Cdb, header.cdb, sizeof header.cdb);
    std::memset(native.sense, 0, sizeof native.sense);
    const std::uint32_t dataOut = size - kHeaderAndSenseSize;
    std::memcpy(native.data, static_cast<const std::uint8_t*>(request) + kHeaderAndSenseSize, dataOut);
    return kNativeDataOffset + dataOut;
}

std::uint32_t FromNativePassThrough(const NativePassThroughBlock& native, std::uint32_t nativeSize, void* reply,
                                    std::uint32_t replySize) {
    if (reply == nullptr || replySize < kHeaderAndSenseSize) return 0;
    auto* bytes = static_cast<std::uint8_t*>(reply);
    ScsiPassThroughHeader header;
    std::memcpy(&header, bytes, sizeof header);
    header.scsiStatus = native.header.ScsiStatus;
    header.senseInfoLength = native.header.SenseInfoLength;
    header.dataTransferLength = native.header.DataTransferLength;
    std::memcpy(bytes, &header, sizeof header);
    std::memcpy(bytes + offsetof(ScsiPassThroughBlock, sense), native.sense, sizeof native.sense);
    const std::uint32_t dataIn = nativeSize > kNativeDataOffset ? nativeSize - kNativeDataOffset : 0;
    const std::uint32_t copied = std::min(dataIn, replySize - kHeaderAndSenseSize);
    std::memcpy(bytes + kHeaderAndSenseSize, native.data, copied);
    return kHeaderAndSenseSize + copied;
}

}  // namespace devio
