// Makes a flash table from the first bytes of the input and runs the rest as bit sets and reads
// at any row, column, byte and bit, against a model of the bitmaps; a mismatch or an access
// outside the table (the sanitizer) stops the run.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "corelink/core/flash_table.h"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    bool More() const { return at < size; }
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::uint32_t Word() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
        return value;
    }
};

std::uint8_t* ChipOf(std::uint8_t* table, std::size_t i) {
    std::uint8_t* chip = nullptr;
    std::memcpy(&chip, table + offsetof(CorelinkFlashTable, chips) + i * sizeof(void*), sizeof chip);
    return chip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const std::uint8_t chips = in.Byte() % 4;
    const std::uint8_t ce = in.Byte() % 6;
    const std::uint8_t ch = in.Byte() % 6;
    const std::uint32_t cellBytes = in.Byte() % 40;
    std::uint8_t* table = corelink::CreateFlashTable(chips, ce, ch, cellBytes);
    const bool valid = chips != 0 && ce != 0 && ch != 0 && cellBytes != 0 && ce <= 4 && ch <= 4;
    if ((table != nullptr) != valid) __builtin_trap();
    if (table == nullptr) return 0;
    // model[chip][ce][ch][byte]
    std::vector<std::uint8_t> model(std::size_t{chips} * 4 * 4 * cellBytes, 0);
    auto cell = [&](std::size_t chip, std::size_t r, std::size_t c, std::size_t k) -> std::uint8_t& {
        return model[((chip * 4 + r) * 4 + c) * cellBytes + k];
    };
    while (in.More()) {
        const std::uint8_t op = in.Byte();
        const std::size_t chip = (op >> 1) % chips;
        const std::uint8_t row = in.Byte();
        const std::uint8_t column = in.Byte();
        const std::uint32_t byte = in.Byte() < 0xF0 ? in.Byte() : in.Word();
        const std::uint8_t bit = in.Byte() % 10;
        const bool inside = row < ce && column < ch && byte < cellBytes;
        std::uint8_t* record = ChipOf(table, chip);
        if ((op & 1) != 0) {
            const std::uint8_t value = in.Byte() & 1;
            corelink::SetFlashTableBit(record, row, column, byte, bit, value);
            if (inside && bit <= 7) {
                std::uint8_t& b = cell(chip, row, column, byte);
                b = static_cast<std::uint8_t>(value ? b | (1u << bit) : b & ~(1u << bit));
            }
        } else {
            const int got = corelink::GetFlashTableBit(record, row, column, byte, bit);
            const int want = bit > 7 ? 255 : inside ? (cell(chip, row, column, byte) >> bit) & 1 : 0;
            if (got != want) __builtin_trap();
        }
    }
    corelink::FreeFlashTable(table);
    return 0;
}
