#pragma once
// The state file: a versioned header and one fixed-size record per enclosure
// (format: rig/README.md). Used only under the rig's lock.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device_state.h"
#include "rig_config.h"
#include "rig_files.h"

namespace rig {

inline constexpr std::size_t kStateHeaderSize = 24;

class StateFile {
public:
    StateFile(File& file, const RigConfig& config) : file_(file), config_(config) {}

    // A missing or empty file starts with every enclosure's default state; enclosures added to
    // the rig file since get theirs appended.
    bool Load(std::size_t index, DeviceState& state, std::string& error);
    // Writes the record back when it differs from what Load read.
    bool Save(std::size_t index, const DeviceState& state, std::string& error);
    // Every enclosure back to its default state (and plugged in).
    bool Reset(std::string& error);
    // The header's unplugged mask: bit n set while enclosure n is unplugged.
    bool ReadUnplugged(std::uint32_t& mask, std::string& error);
    bool WriteUnplugged(std::uint32_t mask, std::string& error);

private:
    bool WriteFresh(std::string& error);
    bool ReadHeader(std::uint32_t& count, std::string& error);
    bool Extend(std::uint32_t count, std::string& error);
    bool Upgrade(const std::array<std::uint8_t, kStateHeaderSize>& header, std::string& error);

    File& file_;
    const RigConfig& config_;
    std::vector<std::uint8_t> loaded_;
};

}  // namespace rig
