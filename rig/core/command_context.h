#pragma once
// Shared by the emulator's command files: what one command works on, the direction rules and
// the answers (status GOOD with data, or CHECK CONDITION with fixed-format sense data).

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "block_store.h"
#include "device_state.h"
#include "pass_through_request.h"
#include "rig_config.h"

namespace rig {

class NandStore;

struct CommandContext {
    const EnclosureConfig& config;
    DeviceState& state;
    BlockStore& medium;
    const PassThroughCommand& command;
    NandStore* nand = nullptr;  // the raw NAND of a flash-controller enclosure, else null
    std::function<void(const std::string&)> report;  // file trouble the answer cannot tell

    std::uint8_t Cdb(std::size_t i) const { return command.cdb[i]; }
};

// Sense keys and additional sense codes the emulator reports.
struct Sense {
    std::uint8_t key;
    std::uint8_t asc;
    std::uint8_t ascq;
};
inline constexpr Sense kInvalidOperationCode{0x05, 0x20, 0x00};
inline constexpr Sense kInvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr Sense kLbaOutOfRange{0x05, 0x21, 0x00};
inline constexpr Sense kInvalidParameter{0x05, 0x26, 0x00};
inline constexpr Sense kNotReady{0x02, 0x04, 0x00};
inline constexpr Sense kNotReadyStopped{0x02, 0x04, 0x02};
inline constexpr Sense kWriteProtected{0x07, 0x27, 0x00};
inline constexpr Sense kReadError{0x03, 0x11, 0x00};
inline constexpr Sense kWriteError{0x03, 0x0C, 0x00};
inline constexpr Sense kInternalTargetFailure{0x04, 0x44, 0x00};  // a command a fault rule fails

PassThroughAnswer Good();
// GOOD with data-in: `bytes` cut or zero-padded to the request's transfer length.
PassThroughAnswer GoodWithData(const PassThroughCommand& command, std::span<const std::uint8_t> bytes);
PassThroughAnswer CheckCondition(Sense sense);

// Direction rules: a command moving no bytes accepts any direction.
bool ReadsData(const PassThroughCommand& command);   // data from the device
bool WritesData(const PassThroughCommand& command);  // data to the device
bool MovesNoData(const PassThroughCommand& command);

PassThroughAnswer ExecuteVendorCommand(CommandContext& context);      // 0xEE
PassThroughAnswer ExecuteAtaPassThrough(CommandContext& context);     // 0xA1
PassThroughAnswer ExecuteNandCommand(CommandContext& context);        // 0xEE groups 0x51, 0x95, 0x50

}  // namespace rig
