#include "volkern/core/format_request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const volkern::BuildTime kNow{2026, 12, 7, 15, 30, 20, 45};

VolkernParameters Block() {
    VolkernParameters block{};
    block.sectorCount = 131072;
    block.path = "image.img";
    return block;
}

std::string Text(const std::array<char, 11>& label) { return std::string(label.data(), label.size()); }

TEST(FormatRequest, ReadsTheFieldsAndFillsTheDefaults) {
    VolkernParameters block = Block();
    block.label = "Backup 1";
    block.options = VOLKERN_OPTION_PARTITIONED_IMAGE;
    block.sectorsPerCluster = 8;
    const auto read = volkern::ReadRequest(block, kNow);
    ASSERT_EQ(read.error, VOLKERN_OK);
    EXPECT_EQ(read.request.path, "image.img");
    EXPECT_EQ(Text(read.request.identity.label), "BACKUP 1   ");
    EXPECT_EQ(std::string(read.request.identity.oemName.data(), 8), "VOLKERN ");
    EXPECT_TRUE(read.request.partitionedImage);
    EXPECT_FALSE(read.request.replaceImage);
    EXPECT_EQ(read.request.sectorsPerCluster, 8u);
    EXPECT_EQ(read.request.identity.serial, volkern::SerialFromTime(kNow));
    EXPECT_NE(read.request.identity.serial, 0u);
    block.volumeSerial = 0xDEADBEEF;
    EXPECT_EQ(volkern::ReadRequest(block, kNow).request.identity.serial, 0xDEADBEEFu);
}

TEST(FormatRequest, LabelsFatCannotHoldAreRefused) {
    for (const char* label : {"TWELVE CHARS", "a.b", "x/y", "star*", "quote\"", " lead", "\x7f", "\xc3\xa4"}) {
        VolkernParameters block = Block();
        block.label = label;
        EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_ERROR_BAD_LABEL) << label;
    }
    // Text without an end is read no further than the twelfth byte.
    const char unterminated[12] = {'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A'};
    VolkernParameters block = Block();
    block.label = unterminated;
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_ERROR_BAD_LABEL);
    block.label = "ELEVEN CHRS";
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_OK);
    block.label = "";
    EXPECT_FALSE(volkern::ReadRequest(block, kNow).request.identity.HasLabel());
}

TEST(FormatRequest, ReservedBitsBadClusterSizesAndSystemNamesAreRefused) {
    VolkernParameters block = Block();
    block.options = 0x04;
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_ERROR_BAD_PARAMETER);
    block = Block();
    block.sectorsPerCluster = 6;
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_ERROR_BAD_PARAMETER);
    block = Block();
    block.oemName = "NINE CHRS";
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_ERROR_BAD_PARAMETER);
    block.oemName = "";
    EXPECT_EQ(std::string(volkern::ReadRequest(block, kNow).request.identity.oemName.data(), 8), "        ");
    // The mode byte is the component's: the library takes any value.
    block = Block();
    block.mode = 0xFF;
    EXPECT_EQ(volkern::ReadRequest(block, kNow).error, VOLKERN_OK);
}

TEST(FormatRequest, DosDateAndTimePackAndClamp) {
    EXPECT_EQ(volkern::DosDate(1980, 1, 1), 0x21);
    EXPECT_EQ(volkern::DosDate(2026, 12, 7), ((2026 - 1980) << 9) | (12 << 5) | 7);
    EXPECT_EQ(volkern::DosDate(1970, 1, 1), 0x21);
    EXPECT_EQ(volkern::DosTime(23, 59, 59), (23 << 11) | (59 << 5) | 29);
}

}  // namespace
