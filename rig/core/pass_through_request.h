#pragma once
// The pass-through request block as the emulated controller sees it: the checks a real port
// driver makes before it delivers a request, and the reply written into the same layout
// (common/core/scsi_pass_through.h).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/core/scsi_pass_through.h"

namespace rig {

struct PassThroughCommand {
    devio::ScsiPassThroughHeader header{};  // as received, for the command log
    std::array<std::uint8_t, 16> cdb{};     // the first CdbLength bytes; the rest read as zero
    std::uint8_t direction = devio::kNoData;
    std::uint32_t transferLength = 0;
    std::vector<std::uint8_t> dataOut;      // the data-out bytes (direction kDataOut)
};

struct PassThroughAnswer {
    std::uint8_t status = devio::kScsiStatusGood;
    std::vector<std::uint8_t> dataIn;  // data-in commands: exactly transferLength bytes when GOOD
                                       // (fewer only under a short-reply fault rule)
    std::vector<std::uint8_t> sense;   // fixed-format sense data with CHECK CONDITION
};

// The request the input bytes carry, or nothing when the block is malformed (the request is
// then not delivered); `why` says what was wrong.
std::optional<PassThroughCommand> DecodePassThrough(const void* input, std::uint32_t inputSize,
                                                    std::uint32_t outputSize, std::string& why);

// Writes header, sense and data into `output` (which may be the input buffer) and returns the
// byte count the request reports: 80 + the data-in length, or 80.
std::uint32_t WriteAnswer(const PassThroughCommand& command, const PassThroughAnswer& answer, void* output,
                          std::uint32_t outputSize);

}  // namespace rig
