#pragma once
// Delivering a control request's reply into the caller's output buffer, bounded as drivers
// bound it: below `fixedSize` the request fails with ERROR_INSUFFICIENT_BUFFER and nothing is
// written; otherwise as much of the reply as fits is copied and counted.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/core/usb_ioctl_layout.h"

namespace rig {

// The platform's request codes and reply layouts, shared with the component.
using namespace devio;

inline bool CopyReply(const std::vector<std::uint8_t>& reply, std::size_t fixedSize, void* output,
                      std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
    returned = 0;
    if (output == nullptr || outputSize < fixedSize) {
        lastError = kErrorInsufficientBuffer;
        return false;
    }
    const std::size_t count = std::min<std::size_t>(reply.size(), outputSize);
    if (count != 0) std::memcpy(output, reply.data(), count);
    returned = static_cast<std::uint32_t>(count);
    return true;
}

template <typename T>
void AppendBytes(std::vector<std::uint8_t>& out, const T& value) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

// A wide (UTF-16) NUL-terminated copy of 8-bit ASCII text.
inline void AppendWide(std::vector<std::uint8_t>& out, const std::string& text) {
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
}

}  // namespace rig
