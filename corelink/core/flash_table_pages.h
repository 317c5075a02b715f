#pragma once
// The controller's system tables as pages: their contents, how one is written to the NAND (erase
// the pair of blocks, write, read back and compare; three attempts), and their dump files.
//
// Each table is one 2048-byte page written with CDB byte 7 = 4 and tagged in CDB bytes 10..15:
//   TAT "TATSYS": 512 entries of chip byte, value byte, 16-bit block number;
//   LFT "LFTSYS": 1024 16-bit entries;
//   WCT "WCTSYS": 64 TAT-style entries, then 896 16-bit entries.
// In memory the 16-bit fields are the machine's; on the NAND (and in the "FW" dump copies) they
// are big-endian.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_session.h"

namespace corelink {

inline constexpr std::size_t kTablePageBytes = 2048;
inline constexpr std::size_t kTatEntries = 512;
inline constexpr std::size_t kLftEntries = 1024;
inline constexpr std::size_t kWctTatEntries = 64;
inline constexpr std::size_t kWctBlockEntries = 896;

struct TatEntry {
    std::uint8_t chip = 0;
    std::uint8_t value = 0;
    std::uint16_t block = 0;
};

using Tat = std::array<TatEntry, kTatEntries>;
using Lft = std::array<std::uint16_t, kLftEntries>;
struct Wct {
    std::array<TatEntry, kWctTatEntries> tables{};
    std::array<std::uint16_t, kWctBlockEntries> blocks{};
};

// The page bytes as written (big-endian 16-bit fields).
std::vector<std::uint8_t> TatPage(const Tat& tat);
std::vector<std::uint8_t> LftPage(const Lft& lft);
std::vector<std::uint8_t> WctPage(const Wct& wct);
// The same fields in the machine's order, as the dump files without "FW" hold them.
std::vector<std::uint8_t> TatBytes(std::span<const TatEntry> entries);
std::vector<std::uint8_t> WordBytes(std::span<const std::uint16_t> words);

enum class TableKind { TatTable, LftTable, WctTable };

// Writes `page` at `row` (the first block of an allocated pair); after three failed attempts the
// user is told ("Write TAT Error", ...) and, with kOptionMarkBad, the block is marked bad.
bool WriteTablePage(FlashSession& session, const TableParameters& p, TableKind kind, std::uint32_t row,
                    const std::vector<std::uint8_t>& page);

// One dump file in the folder (or its "FW" subfolder), only with a dump folder; failures only
// lose the file.
void DumpTableFile(FlashSession& session, const std::string& subfolder, const std::string& name,
                   const std::vector<std::uint8_t>& bytes);

}  // namespace corelink
