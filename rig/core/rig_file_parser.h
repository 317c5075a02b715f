#pragma once
// Reads a rig file (format: rig/README.md). Bounded: it looks only at the bytes it is given,
// refuses input beyond the limits of rig_config.h, and names the line of the first problem.

#include <optional>
#include <string>
#include <string_view>

#include "rig_config.h"

namespace rig {

struct RigParseResult {
    std::optional<RigConfig> config;
    std::string error;  // "line N: ..." when `config` is empty
};

// `rigPath` is where the text came from; relative paths inside are resolved against its folder.
RigParseResult ParseRigFile(std::string_view text, std::string_view rigPath);

}  // namespace rig
