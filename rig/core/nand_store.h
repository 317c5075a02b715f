#pragma once
// The NAND of a flash-controller enclosure on disk (format: rig/README.md, "NAND file"): a
// header, one 8-byte entry per block of every chip, then the page areas of the blocks written
// so far, each allocated at the block's first program. A block erase only moves the block to a
// new generation, so pages of older generations read as erased (0xFF). Opened per command under
// the rig's lock, so the NAND, its marks and its system blocks are shared by every process.
//
// The rig file's lists give the starting point: factory-bad blocks stay bad, system blocks stay
// system blocks until they are erased, weak blocks show bit errors on every read-back.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "nand_config.h"
#include "rig_files.h"

namespace rig {

inline constexpr std::size_t kNandTagSize = 6;
using NandTag = std::array<std::uint8_t, kNandTagSize>;

enum class NandBlockState : std::uint8_t { Good = 0, Bad = 1, System = 2 };

// A row address taken apart: chip byte in bits 24..31, page of the chip below.
struct NandPlace {
    std::uint8_t chip = 0;
    std::size_t cell = 0;  // ce x channels + ch
    std::uint32_t block = 0;
    std::uint32_t page = 0;  // within the block
};

class NandStore {
public:
    NandStore(FileSystem& files, const NandConfig& config);

    const NandConfig& Config() const { return config_; }
    // Null for a chip the NAND does not have or a page past its blocks.
    std::optional<NandPlace> Locate(std::uint32_t row) const;

    // False (with `error`) when the NAND file cannot be read or written, or does not match the rig
    // file's geometry.
    bool State(std::size_t cell, std::uint32_t block, NandBlockState& state);
    // The page's bytes (pageSize), 0xFF where never programmed since the last erase; a weak
    // block's bytes come back with bit errors. `tag` receives the page's tag (zeros when none).
    bool ReadPage(const NandPlace& place, std::span<std::uint8_t> out, NandTag* tag = nullptr);
    // Programs one page: like NAND, bits only go from 1 to 0 (the new bytes are ANDed in).
    bool ProgramPage(const NandPlace& place, std::span<const std::uint8_t> bytes, const NandTag& tag);
    bool Erase(std::size_t cell, std::uint32_t block);
    bool MarkBad(std::size_t cell, std::uint32_t block);
    bool Weak(std::size_t cell, std::uint32_t block) const;

    const std::string& Error() const { return error_; }

private:
    struct Entry {
        std::uint8_t flags = 0;
        std::uint16_t generation = 0;
        std::uint32_t area = 0;  // 1-based page area, 0 = none yet
    };
    enum class Need { Existing, Created };
    bool Open(Need need);
    bool ReadEntry(std::size_t cell, std::uint32_t block, Entry& entry);
    bool WriteEntry(std::size_t cell, std::uint32_t block, const Entry& entry);
    std::uint64_t EntryOffset(std::size_t cell, std::uint32_t block) const;
    std::uint64_t PageOffset(std::uint32_t area, std::uint32_t page) const;
    bool Listed(const std::vector<NandBlock>& list, std::size_t cell, std::uint32_t block) const;
    bool Fail(const std::string& why);

    FileSystem& files_;
    const NandConfig& config_;
    std::unique_ptr<File> file_;
    bool opened_ = false;
    bool writable_ = false;
    std::uint64_t tableEnd_ = 0;
    std::string error_;
};

// Bit errors of a weak block's read-back: a reproducible pattern per seed, row and 1024-byte piece.
void ApplyWeakBitErrors(std::uint32_t seed, std::uint32_t row, std::span<std::uint8_t> page);

}  // namespace rig
