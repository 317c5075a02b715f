#include "corelink/core/flash_table.h"

#include <cstring>
#include <new>

namespace corelink {
namespace {

constexpr std::size_t kPointer = sizeof(void*);
constexpr std::size_t kColumnArrayBytes = CORELINK_FLASH_MAX_CHANNELS * kPointer;

template <typename T>
T Load(const std::uint8_t* at) noexcept {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void Store(std::uint8_t* at, T value) noexcept {
    std::memcpy(at, &value, sizeof value);
}

std::size_t AlignUp(std::size_t size) noexcept { return (size + kPointer - 1) / kPointer * kPointer; }

// The bytes of one chip record with its column arrays and bitmaps.
std::size_t ChipBytes(std::uint8_t chipEnables, std::uint8_t channels, std::uint32_t cellBytes) noexcept {
    return AlignUp(sizeof(CorelinkFlashChip)) + chipEnables * kColumnArrayBytes +
           std::size_t{chipEnables} * channels * AlignUp(cellBytes);
}

// Lays out one chip record at `at`; its column arrays and bitmaps follow it.
void BuildChip(std::uint8_t* at, std::uint8_t chipEnables, std::uint8_t channels, std::uint32_t cellBytes) noexcept {
    at[offsetof(CorelinkFlashChip, channels)] = channels;
    at[offsetof(CorelinkFlashChip, chipEnables)] = chipEnables;
    Store(at + offsetof(CorelinkFlashChip, entryBytes), cellBytes);
    std::uint8_t* next = at + AlignUp(sizeof(CorelinkFlashChip));
    for (std::size_t ce = 0; ce < chipEnables; ++ce) {
        std::uint8_t* columns = next;
        next += kColumnArrayBytes;
        Store(at + offsetof(CorelinkFlashChip, rows) + ce * kPointer, columns);
        for (std::size_t ch = 0; ch < channels; ++ch) {
            Store(columns + ch * kPointer, next);
            next += AlignUp(cellBytes);
        }
    }
}

}  // namespace

std::uint8_t* CreateFlashTable(std::uint8_t chipCount, std::uint8_t chipEnables, std::uint8_t channels,
                               std::uint32_t cellBytes) noexcept {
    if (chipCount == 0 || chipEnables == 0 || channels == 0 || cellBytes == 0 ||
        chipEnables > CORELINK_FLASH_MAX_CHIP_ENABLES || channels > CORELINK_FLASH_MAX_CHANNELS) {
        return nullptr;
    }
    if (std::uint64_t{chipCount} * chipEnables * channels * cellBytes > kMaxFlashTableBitmapBytes) return nullptr;
    const std::size_t topBytes = AlignUp(offsetof(CorelinkFlashTable, chips) + chipCount * kPointer);
    const std::size_t chipBytes = ChipBytes(chipEnables, channels, cellBytes);
    const std::size_t total = topBytes + chipCount * chipBytes;
    // Zero-filled: unused counters, rows and columns are 0 and null, the bitmaps start clear.
    auto* table = new (std::nothrow) std::uint8_t[total]();
    if (table == nullptr) return nullptr;
    table[offsetof(CorelinkFlashTable, chipCount)] = chipCount;
    table[offsetof(CorelinkFlashTable, channels)] = channels;
    table[offsetof(CorelinkFlashTable, chipEnables)] = chipEnables;
    for (std::size_t i = 0; i < chipCount; ++i) {
        std::uint8_t* chip = table + topBytes + i * chipBytes;
        BuildChip(chip, chipEnables, channels, cellBytes);
        Store(table + offsetof(CorelinkFlashTable, chips) + i * kPointer, chip);
    }
    return table;
}

void FreeFlashTable(std::uint8_t* table) noexcept { delete[] table; }

void SetFlashTableBit(std::uint8_t* chipRecord, std::uint8_t row, std::uint8_t column, std::uint32_t byteOffset,
                      std::uint8_t bit, std::uint8_t value) noexcept {
    if (chipRecord == nullptr || bit > 7) return;
    const std::span<std::uint8_t> bitmap = FlashChip(chipRecord).Bitmap(row, column);
    if (byteOffset >= bitmap.size()) return;
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    bitmap[byteOffset] = static_cast<std::uint8_t>(value != 0 ? bitmap[byteOffset] | mask : bitmap[byteOffset] & ~mask);
}

int GetFlashTableBit(const std::uint8_t* chipRecord, std::uint8_t row, std::uint8_t column, std::uint32_t byteOffset,
                     std::uint8_t bit) noexcept {
    if (bit > 7) return kFlashBitOutOfRange;
    if (chipRecord == nullptr) return 0;
    // Read only: the view never writes through a const record here.
    const std::span<std::uint8_t> bitmap = FlashChip(const_cast<std::uint8_t*>(chipRecord)).Bitmap(row, column);
    if (byteOffset >= bitmap.size()) return 0;
    return (bitmap[byteOffset] >> bit) & 1;
}

std::uint8_t FlashChip::Channels() const noexcept { return record_[offsetof(CorelinkFlashChip, channels)]; }

std::uint8_t FlashChip::ChipEnables() const noexcept { return record_[offsetof(CorelinkFlashChip, chipEnables)]; }

std::uint32_t FlashChip::EntryBytes() const noexcept {
    return Load<std::uint32_t>(record_ + offsetof(CorelinkFlashChip, entryBytes));
}

std::uint32_t FlashChip::Counter(std::size_t cell) const noexcept {
    if (cell >= CORELINK_FLASH_MAX_CELLS) return 0;
    return Load<std::uint32_t>(record_ + offsetof(CorelinkFlashChip, counters) + cell * 4);
}

void FlashChip::SetCounter(std::size_t cell, std::uint32_t value) noexcept {
    if (cell < CORELINK_FLASH_MAX_CELLS) Store(record_ + offsetof(CorelinkFlashChip, counters) + cell * 4, value);
}

std::span<std::uint8_t> FlashChip::Bitmap(std::size_t ce, std::size_t ch) const noexcept {
    if (ce >= ChipEnables() || ch >= Channels() || ce >= CORELINK_FLASH_MAX_CHIP_ENABLES ||
        ch >= CORELINK_FLASH_MAX_CHANNELS) {
        return {};
    }
    const auto* columns = Load<std::uint8_t*>(record_ + offsetof(CorelinkFlashChip, rows) + ce * kPointer);
    if (columns == nullptr) return {};
    auto* bitmap = Load<std::uint8_t*>(columns + ch * kPointer);
    if (bitmap == nullptr) return {};
    return {bitmap, EntryBytes()};
}

bool FlashChip::Usable() const noexcept {
    if (record_ == nullptr) return false;
    const std::uint8_t ce = ChipEnables();
    const std::uint8_t ch = Channels();
    if (ce == 0 || ch == 0 || ce > CORELINK_FLASH_MAX_CHIP_ENABLES || ch > CORELINK_FLASH_MAX_CHANNELS) return false;
    for (std::size_t i = 0; i < ce; ++i) {
        for (std::size_t j = 0; j < ch; ++j) {
            if (EntryBytes() != 0 && Bitmap(i, j).empty()) return false;
        }
    }
    return true;
}

}  // namespace corelink
