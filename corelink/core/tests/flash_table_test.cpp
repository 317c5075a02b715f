// The flash table: its layout as the public header pins it, bit addressing and the refusals
// outside a chip record's own bounds.
#include <gtest/gtest.h>

#include <cstring>

#include "corelink/core/flash_table.h"

namespace {

using namespace corelink;

struct TableOwner {
    explicit TableOwner(std::uint8_t* t) : bytes(t) {}
    ~TableOwner() { FreeFlashTable(bytes); }
    TableOwner(const TableOwner&) = delete;
    TableOwner& operator=(const TableOwner&) = delete;
    CorelinkFlashTable* Table() const { return reinterpret_cast<CorelinkFlashTable*>(bytes); }
    std::uint8_t* Chip(std::size_t i) const {
        CorelinkFlashChip* chip = nullptr;
        std::memcpy(&chip, bytes + offsetof(CorelinkFlashTable, chips) + i * sizeof(void*), sizeof chip);
        return reinterpret_cast<std::uint8_t*>(chip);
    }
    std::uint8_t* bytes;
};

TEST(FlashTable, TwoByTwoCellsOf128BytesStartZeroedAndKeepTheirBitsApart) {
    TableOwner owner(CreateFlashTable(1, 2, 2, 128));
    ASSERT_NE(owner.bytes, nullptr);
    EXPECT_EQ(owner.bytes[0], 1);  // chip records
    EXPECT_EQ(owner.bytes[1], 2);  // CH
    EXPECT_EQ(owner.bytes[2], 2);  // CE
    std::uint8_t* chip = owner.Chip(0);
    FlashChip view(chip);
    ASSERT_TRUE(view.Usable());
    EXPECT_EQ(chip[0], 2);
    EXPECT_EQ(chip[1], 2);
    EXPECT_EQ(view.EntryBytes(), 128u);
    for (std::uint8_t ce = 0; ce < 2; ++ce) {
        for (std::uint8_t ch = 0; ch < 2; ++ch) {
            const auto bitmap = view.Bitmap(ce, ch);
            ASSERT_EQ(bitmap.size(), 128u);
            for (std::uint32_t k = 0; k < 128; ++k) {
                ASSERT_EQ(bitmap[k], 0);
                ASSERT_EQ(GetFlashTableBit(chip, ce, ch, k, 7), 0);
            }
        }
    }
    for (std::size_t cell = 0; cell < 16; ++cell) EXPECT_EQ(view.Counter(cell), 0u);

    SetFlashTableBit(chip, 1, 0, 127, 3, 1);
    SetFlashTableBit(chip, 0, 1, 0, 0, 1);
    EXPECT_EQ(view.Bitmap(1, 0)[127], 0x08);
    EXPECT_EQ(view.Bitmap(0, 1)[0], 0x01);
    EXPECT_EQ(view.Bitmap(0, 0)[127], 0x00);
    EXPECT_EQ(view.Bitmap(1, 1)[0], 0x00);
    EXPECT_EQ(GetFlashTableBit(chip, 1, 0, 127, 3), 1);
    SetFlashTableBit(chip, 1, 0, 127, 3, 0);
    EXPECT_EQ(GetFlashTableBit(chip, 1, 0, 127, 3), 0);
}

TEST(FlashTable, CountersLieAtTheirByteOffsetsInCeMajorOrder) {
    TableOwner owner(CreateFlashTable(2, 4, 4, 8));
    ASSERT_NE(owner.bytes, nullptr);
    std::uint8_t* chip = owner.Chip(1);
    FlashChip view(chip);
    view.SetCounter(2 * 4 + 3, 0x01020304);  // ce 2, ch 3
    std::uint32_t stored = 0;
    std::memcpy(&stored, chip + 6 + 11 * 4, 4);
    EXPECT_EQ(stored, 0x01020304u);
    EXPECT_NE(owner.Chip(0), owner.Chip(1));
    EXPECT_EQ(FlashChip(owner.Chip(0)).Counter(11), 0u);
}

TEST(FlashTable, RefusesCountsBeyondItsLayoutAndAddressesOutsideARecord) {
    EXPECT_EQ(CreateFlashTable(1, 5, 1, 16), nullptr);
    EXPECT_EQ(CreateFlashTable(1, 1, 5, 16), nullptr);
    EXPECT_EQ(CreateFlashTable(0, 1, 1, 16), nullptr);
    EXPECT_EQ(CreateFlashTable(1, 1, 1, 0), nullptr);
    EXPECT_EQ(CreateFlashTable(255, 4, 4, 0xFFFFFFFF), nullptr);  // far beyond the size limit

    TableOwner owner(CreateFlashTable(1, 2, 3, 4));
    ASSERT_NE(owner.bytes, nullptr);
    std::uint8_t* chip = owner.Chip(0);
    for (std::uint8_t ce = 0; ce < 2; ++ce) {
        for (std::uint8_t ch = 0; ch < 3; ++ch) std::memset(FlashChip(chip).Bitmap(ce, ch).data(), 0xFF, 4);
    }
    EXPECT_EQ(GetFlashTableBit(chip, 2, 0, 0, 0), 0);  // row past CE
    EXPECT_EQ(GetFlashTableBit(chip, 0, 3, 0, 0), 0);  // column past CH
    EXPECT_EQ(GetFlashTableBit(chip, 0, 0, 4, 0), 0);  // byte past entryBytes
    EXPECT_EQ(GetFlashTableBit(chip, 0, 0, 0, 8), kFlashBitOutOfRange);
    EXPECT_EQ(GetFlashTableBit(nullptr, 0, 0, 0, 0), 0);
    SetFlashTableBit(chip, 0, 0, 0, 8, 0);  // bit number out of range: nothing changes
    SetFlashTableBit(chip, 0, 0, 4, 0, 0);
    SetFlashTableBit(nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(FlashChip(chip).Bitmap(0, 0)[0], 0xFF);
    FreeFlashTable(nullptr);

    // A record whose CE says more than the layout holds is not usable.
    chip[1] = 5;
    EXPECT_FALSE(FlashChip(chip).Usable());
    EXPECT_TRUE(FlashChip(chip).Bitmap(4, 0).empty());
}

}  // namespace
