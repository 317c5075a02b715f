#pragma once
// The flash table of the flash maintenance operations (layout: corelink/include/corelink_flash_table.h):
// made in one allocation, its bits addressed by chip enable (row), channel (column), bitmap byte
// and bit. Every access is bounded by the record's own CE, CH and entryBytes; anything outside
// them is refused: a set changes nothing, a read answers 0.

#include <cstddef>
#include <cstdint>
#include <span>

#include "corelink/include/corelink_flash_table.h"

namespace corelink {

// The largest table CreateFlashTable makes (all bitmaps together); larger requests are refused.
inline constexpr std::uint64_t kMaxFlashTableBitmapBytes = 256u * 1024 * 1024;
inline constexpr int kFlashBitOutOfRange = 255;  // GetFlashTableBit for a bit number above 7

// Null when a count is 0, CE or CH is above 4, or the table would be larger than the limit.
std::uint8_t* CreateFlashTable(std::uint8_t chipCount, std::uint8_t chipEnables, std::uint8_t channels,
                               std::uint32_t cellBytes) noexcept;
// Only for tables CreateFlashTable made; null is ignored.
void FreeFlashTable(std::uint8_t* table) noexcept;
void SetFlashTableBit(std::uint8_t* chipRecord, std::uint8_t row, std::uint8_t column, std::uint32_t byteOffset,
                      std::uint8_t bit, std::uint8_t value) noexcept;
int GetFlashTableBit(const std::uint8_t* chipRecord, std::uint8_t row, std::uint8_t column, std::uint32_t byteOffset,
                     std::uint8_t bit) noexcept;

// A chip record seen through its byte layout (packed: every field is read and written by copy).
class FlashChip {
public:
    explicit FlashChip(std::uint8_t* record) noexcept : record_(record) {}

    // A record whose CE and CH are 1..4 and whose bitmaps of its cells are all present.
    bool Usable() const noexcept;
    std::uint8_t Channels() const noexcept;
    std::uint8_t ChipEnables() const noexcept;
    std::uint32_t EntryBytes() const noexcept;
    std::size_t Cells() const noexcept { return std::size_t{Channels()} * ChipEnables(); }
    std::uint32_t Counter(std::size_t cell) const noexcept;
    void SetCounter(std::size_t cell, std::uint32_t value) noexcept;
    // The cell's bitmap (EntryBytes() bytes), empty when ce or ch lie outside the record.
    std::span<std::uint8_t> Bitmap(std::size_t ce, std::size_t ch) const noexcept;

private:
    std::uint8_t* record_;
};

}  // namespace corelink
