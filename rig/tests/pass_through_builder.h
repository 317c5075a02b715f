#pragma once
// Builds pass-through requests the way the component does: a zeroed 65616-byte block, header
// fields set, data-out bytes at offset 80, input/output sizes by the transfer rules.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "common/core/scsi_pass_through.h"

namespace rig_test {

using Cdb = std::vector<std::uint8_t>;

struct Request {
    std::unique_ptr<devio::ScsiPassThroughBlock> block = std::make_unique<devio::ScsiPassThroughBlock>();
    std::uint32_t inputSize = devio::kHeaderAndSenseSize;
    std::uint32_t outputSize = devio::kHeaderAndSenseSize;

    devio::ScsiPassThroughHeader& Header() { return block->header; }
    std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(block.get()); }
    std::vector<std::uint8_t> Data(std::size_t count) const {
        return {block->data, block->data + std::min<std::size_t>(count, devio::kMaxTransferLength)};
    }
};

// `cdbLength` 0 means the CDB's own size.
inline Request MakeRequest(const Cdb& cdb, std::uint8_t direction, std::uint32_t length,
                           const std::vector<std::uint8_t>& dataOut = {}, std::uint8_t cdbLength = 0) {
    Request r;
    std::memset(r.block.get(), 0, sizeof *r.block);
    auto& h = r.block->header;
    h.length = sizeof(devio::ScsiPassThroughHeader);
    h.cdbLength = cdbLength != 0 ? cdbLength : static_cast<std::uint8_t>(cdb.size());
    h.senseInfoLength = 24;
    h.dataIn = direction;
    h.dataTransferLength = length;
    h.timeOutValue = 3;
    h.dataBufferOffset = 80;
    h.senseInfoOffset = 48;
    std::copy_n(cdb.begin(), std::min<std::size_t>(cdb.size(), 16), h.cdb);
    std::copy(dataOut.begin(), dataOut.end(), r.block->data);
    r.inputSize = devio::kHeaderAndSenseSize + (direction == devio::kDataOut ? length : 0);
    r.outputSize = devio::kHeaderAndSenseSize + (direction == devio::kNoData ? 0 : length);
    return r;
}

// The vendor family's CDB: group, address, code, length, value and bytes 12, 13.
inline Cdb VendorCdb(std::uint8_t group, std::uint8_t code, std::uint32_t address, std::uint16_t length,
                     std::uint8_t value = 0, std::uint8_t byte12 = 0, std::uint8_t byte13 = 0) {
    Cdb cdb(16, 0);
    cdb[0] = 0xEE;
    cdb[1] = group;
    devio::PutBigEndian32(&cdb[2], address);
    cdb[6] = code;
    devio::PutBigEndian16(&cdb[7], length);
    cdb[11] = value;
    cdb[12] = byte12;
    cdb[13] = byte13;
    return cdb;
}

inline Request VendorRead(std::uint8_t group, std::uint8_t code, std::uint32_t address, std::uint16_t length,
                          std::uint8_t value = 0, std::uint8_t byte12 = 0) {
    return MakeRequest(VendorCdb(group, code, address, length, value, byte12), devio::kDataIn, length);
}

inline Request VendorWrite(std::uint8_t group, std::uint8_t code, std::uint32_t address,
                           const std::vector<std::uint8_t>& data, std::uint8_t value = 0, std::uint8_t byte12 = 0) {
    const auto length = static_cast<std::uint16_t>(data.size());
    return MakeRequest(VendorCdb(group, code, address, length, value, byte12),
                       data.empty() ? devio::kNoData : devio::kDataOut, length, data);
}

}  // namespace rig_test
