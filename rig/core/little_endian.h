#pragma once
// Little-endian integer fields of the rig's own files (images, NAND contents): `bytes` of them
// (at most 8) at `at`.

#include <cstddef>
#include <cstdint>

namespace rig {

inline void PutLittle(std::uint8_t* at, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint64_t GetLittle(const std::uint8_t* at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value |= std::uint64_t{at[i]} << (8 * i);
    return value;
}

}  // namespace rig
