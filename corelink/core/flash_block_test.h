#pragma once
// What the table operations share: their parameter record, the bitmaps' two-bit entries, and the
// block self-test (erase, write pseudo-random data, read back, count bit errors per 1024 bytes)
// with its mark-bad.

#include <cstdint>
#include <optional>

#include "corelink/core/flash_session.h"
#include "corelink/core/flash_table.h"

namespace corelink {

// The caller's parameter record of FindISPAndCISUseBlock and BuildUFDSystemTable, 14 bytes.
inline constexpr std::size_t kTableParameterBytes = 14;
struct TableParameters {
    std::uint8_t chips = 0;           // 0: cells the block search covers (not used by the table build)
    std::uint32_t blockCount = 0;     // 1..4, little-endian: searched bitmap bytes = count / pagesPerBlock / 8
    std::uint8_t pairs = 0;           // 5: block pairs to find
    std::uint8_t options = 0;         // 6: bit 1 dump tables, bit 2 mark failing blocks bad
    std::uint8_t allocatorCells = 0;  // 7: cells the table allocator may use
    std::uint8_t pagesPerUnit = 0;    // 9: CDB byte 7 of block access (512-byte sectors per page)
    std::uint8_t bitErrorLimit = 0;   // 10: per 1024 bytes
    std::uint8_t accessFlags = 0;     // 11
    std::uint8_t markCdb12 = 0;       // 12
    std::uint8_t markCdb11 = 0;       // 13
};
inline constexpr std::uint8_t kOptionDumpTables = 0x02;
inline constexpr std::uint8_t kOptionMarkBad = 0x04;

TableParameters ReadTableParameters(const std::uint8_t* record);

// The largest pages-per-unit value: a unit of 8 pages (pagesPerUnit x 4096 bytes) is one transfer.
inline constexpr std::uint8_t kMaxPagesPerUnit = 16;

// Checks shared by the table operations (a handle array, a usable record, a scanned geometry, a
// search range within the record, a pages-per-unit value of 1..16); a text for the refusal's
// trace, or null when usable. Each operation checks the cell count it goes by itself.
// `searchBytes` receives the bitmap bytes the search covers.
const char* CheckTableRequest(const FlashSession& session, const FlashChip& chip, const TableParameters& p,
                              std::uint32_t& searchBytes);

// The two-bit entry k (0, 2, 4, 6) of a bitmap byte: bit k the first block of the pair, bit k + 1
// the second; set = bad or used. 0 both free, 2 only the first free, 1 only the second free, 3 none.
inline std::uint8_t EntryOf(std::uint8_t byte, unsigned k) { return static_cast<std::uint8_t>((byte >> k) & 3u); }

// Tests block 8 x byte + bit of cell (ce, ch): erase, write and read back every unit, compare.
// A block whose bit errors in some 1024 bytes exceed the limit fails; with kOptionMarkBad it is
// then marked bad on the controller (and, with a dump folder, the written and the read unit are
// kept there, named after the trace "MarkBad(slot), Addr=row, count" with the count of the first
// 1024 bytes over the limit). A block that passes is erased again. The test data comes from the
// session's own stream (CrtRandom, seeded anew for each call), drawn afresh for every unit.
bool SelfTestBlock(FlashSession& session, const TableParameters& p, std::size_t ce, std::size_t ch,
                   std::uint32_t byte, std::uint32_t bit);

// The row address of block 8 x byte + bit of cell (ce, ch).
std::uint32_t BlockRow(const FlashSession& session, std::size_t ce, std::size_t ch, std::uint32_t byte,
                       std::uint32_t bit);

}  // namespace corelink
