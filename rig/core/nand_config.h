#pragma once
// The raw NAND behind a flash-controller enclosure (`kind = flash` in the rig file): its
// geometry, the blocks that start bad or as system blocks, and the weak blocks whose read-back
// shows bit errors. Chips are named by their chip byte, the top byte of a row address:
// channel in bits 0..3, chip enable in bits 4..7.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

inline constexpr std::uint8_t kMaxNandChannels = 4;
inline constexpr std::uint8_t kMaxNandChipEnables = 4;
inline constexpr std::uint32_t kMaxNandBlocks = 65536;
inline constexpr std::uint32_t kMaxNandPageSize = 16384;
inline constexpr std::size_t kMaxNandListedBlocks = 4096;  // per list
inline constexpr std::uint32_t kNandRowPages = 1u << 24;   // pages a chip's row addresses reach

struct NandBlock {
    std::uint8_t chip = 0;  // ch | ce << 4
    std::uint32_t block = 0;
    bool operator==(const NandBlock&) const = default;
    auto operator<=>(const NandBlock&) const = default;
};

struct NandConfig {
    bool present = false;  // the enclosure is of the flash kind
    std::uint8_t channels = 1;
    std::uint8_t chipEnables = 1;
    std::uint32_t blocksPerChip = 1024;
    std::uint16_t pagesPerBlock = 64;  // 64, 128, 256 or 512
    std::uint32_t pageSize = 2048;     // a multiple of 512
    std::vector<NandBlock> bad;        // factory-bad blocks
    std::vector<NandBlock> system;     // blocks holding system data until erased
    std::vector<NandBlock> weak;       // blocks whose read-back shows bit errors
    std::uint32_t seed = 1;            // where the weak blocks' bit errors fall
    std::string path;                  // the NAND's sparse file

    bool HasChip(std::uint8_t chip) const {
        return (chip & 0x0F) < channels && (chip >> 4) < chipEnables;
    }
    std::size_t CellOf(std::uint8_t chip) const {
        return static_cast<std::size_t>(chip >> 4) * channels + static_cast<std::size_t>(chip & 0x0F);
    }
    std::size_t Cells() const { return std::size_t{channels} * chipEnables; }
};

// Parses one `nand_*` key of an [enclosure] into `nand`; an error text (without the line) or "".
std::string ParseNandKey(const std::string& key, std::string_view value, NandConfig& nand);
// The checks that need the whole section: every listed block on a chip and within the chip's
// blocks, the row addresses within 24 bits. An error text or "".
std::string CheckNandConfig(const NandConfig& nand);

}  // namespace rig
