#pragma once
// The emulated bridge controller: answers one delivered pass-through request the way the
// maker's hardware does (rig/README.md lists every command and answer), updating the device
// state and the medium. Pure: no files, no clock.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "block_store.h"
#include "device_state.h"
#include "pass_through_request.h"
#include "rig_config.h"

namespace rig {

inline constexpr std::size_t kInquirySize = 128;
inline constexpr std::size_t kAtaIdentifySize = 512;

class NandStore;

// `nand`: the raw NAND of a flash-controller enclosure (null for others); `report` hears of file
// trouble the answer cannot tell.
PassThroughAnswer ExecuteCommand(const EnclosureConfig& config, DeviceState& state, BlockStore& medium,
                                 const PassThroughCommand& command, NandStore* nand = nullptr,
                                 const std::function<void(const std::string&)>& report = {});

std::array<std::uint8_t, kInquirySize> InquiryData(const EnclosureConfig& config);
std::array<std::uint8_t, kAtaIdentifySize> AtaIdentifyData(const EnclosureConfig& config);

}  // namespace rig
