#include "pass_through_request.h"

#include <algorithm>
#include <cstring>

namespace rig {

std::optional<PassThroughCommand> DecodePassThrough(const void* input, std::uint32_t inputSize,
                                                    std::uint32_t outputSize, std::string& why) {
    using devio::kHeaderAndSenseSize;
    if (input == nullptr || inputSize < kHeaderAndSenseSize) {
        why = "the input is shorter than the 80-byte header and sense area";
        return std::nullopt;
    }
    if (outputSize < kHeaderAndSenseSize) {
        why = "the output is shorter than the 80-byte header and sense area";
        return std::nullopt;
    }
    PassThroughCommand command;
    std::memcpy(&command.header, input, sizeof command.header);
    const devio::ScsiPassThroughHeader& h = command.header;
    if (h.length != sizeof(devio::ScsiPassThroughHeader)) {
        why = "Length is not 44";
        return std::nullopt;
    }
    if (h.dataBufferOffset != offsetof(devio::ScsiPassThroughBlock, data) ||
        h.senseInfoOffset != offsetof(devio::ScsiPassThroughBlock, sense)) {
        why = "DataBufferOffset or SenseInfoOffset is not 80 / 48";
        return std::nullopt;
    }
    if (h.cdbLength == 0 || h.cdbLength > sizeof h.cdb) {
        why = "CdbLength is not 1 to 16";
        return std::nullopt;
    }
    if (h.senseInfoLength > sizeof(devio::ScsiPassThroughBlock::sense)) {
        why = "SenseInfoLength is larger than the 24-byte sense area";
        return std::nullopt;
    }
    if (h.dataIn > devio::kNoData) {
        why = "DataIn is not 0, 1 or 2";
        return std::nullopt;
    }
    if (h.dataTransferLength > devio::kMaxTransferLength) {
        why = "DataTransferLength is larger than 65536";
        return std::nullopt;
    }
    if (h.dataIn == devio::kNoData && h.dataTransferLength != 0) {
        why = "DataIn says no data but DataTransferLength is not 0";
        return std::nullopt;
    }
    if (h.dataIn == devio::kDataOut && inputSize - kHeaderAndSenseSize < h.dataTransferLength) {
        why = "the input is shorter than 80 + DataTransferLength";
        return std::nullopt;
    }
    if (h.dataIn == devio::kDataIn && outputSize - kHeaderAndSenseSize < h.dataTransferLength) {
        why = "the output is shorter than 80 + DataTransferLength";
        return std::nullopt;
    }
    std::copy_n(h.cdb, h.cdbLength, command.cdb.begin());
    command.direction = h.dataIn;
    command.transferLength = h.dataTransferLength;
    if (h.dataIn == devio::kDataOut) {
        const auto* data = static_cast<const std::uint8_t*>(input) + kHeaderAndSenseSize;
        command.dataOut.assign(data, data + h.dataTransferLength);
    }
    return command;
}

std::uint32_t WriteAnswer(const PassThroughCommand& command, const PassThroughAnswer& answer, void* output,
                          std::uint32_t outputSize) {
    auto* out = static_cast<std::uint8_t*>(output);
    devio::ScsiPassThroughHeader header = command.header;
    header.scsiStatus = answer.status;
    const bool dataIn = command.direction == devio::kDataIn;
    // A data-in reply never exceeds what the request asked for and the output can hold.
    const std::size_t dataLength =
        dataIn ? std::min<std::size_t>({answer.dataIn.size(), command.transferLength,
                                        std::size_t{outputSize} - devio::kHeaderAndSenseSize})
               : 0;
    if (dataIn) header.dataTransferLength = static_cast<std::uint32_t>(dataLength);
    const std::size_t senseLength = std::min<std::size_t>(answer.sense.size(), command.header.senseInfoLength);
    header.senseInfoLength = static_cast<std::uint8_t>(senseLength);

    std::memcpy(out, &header, sizeof header);
    if (senseLength > 0) std::memcpy(out + header.senseInfoOffset, answer.sense.data(), senseLength);
    if (dataLength > 0) std::memcpy(out + devio::kHeaderAndSenseSize, answer.dataIn.data(), dataLength);
    return devio::kHeaderAndSenseSize + static_cast<std::uint32_t>(dataLength);
}

}  // namespace rig
