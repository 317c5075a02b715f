// Finding blocks for in-system programming on a simulated NAND: the two passes over the scanned
// bitmaps, the self-test finding the rig's weak block and marking it bad for good, the found list,
// and the refusals of counts the table or the list cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>

#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_find.h"
#include "corelink/core/flash_scan.h"
#include "flash_rig_fixture.h"

namespace corelink_test {
namespace {

using namespace corelink;

struct Found {
    int ch, ce, byte, bit;
    bool operator==(const Found&) const = default;
};

class FlashFind : public FlashOnRig {
protected:
    void SetUp() override {
        Start({2, 2, 1024, 64, 2048});
        ASSERT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 1);
        tracer.texts.clear();
        ClearLog();
    }
    // Searches the first 4 bitmap bytes (32 blocks) of all four chips.
    std::array<std::uint8_t, kTableParameterBytes> Parameters(std::uint8_t pairs, std::uint8_t options = 0x04) {
        std::array<std::uint8_t, kTableParameterBytes> p{};
        p[0] = 4;
        const std::uint32_t count = 4 * 8 * 64;
        std::memcpy(&p[1], &count, 4);
        p[5] = pairs;
        p[6] = options;
        p[9] = 4;    // 2048-byte pages
        p[10] = 8;   // bit errors allowed per 1024 bytes
        p[11] = 0;
        p[12] = 0x12;
        p[13] = 0x34;
        return p;
    }
    std::vector<Found> List() const {
        std::vector<Found> found;
        for (std::size_t i = 0; i < list[0]; ++i) {
            const std::uint8_t* r = &list[1 + 7 * i];
            std::uint32_t byte = 0;
            std::memcpy(&byte, r + 2, 4);
            found.push_back({r[0], r[1], static_cast<int>(byte), r[6]});
        }
        return found;
    }

    OwnedTable table{CreateFlashTable(1, 2, 2, 128)};
    std::array<std::uint8_t, 1 + 7 * 255> list{};
};

TEST_F(FlashFind, TheFirstPassTakesTheFreeHalfOfPairsBesideBadBlocks) {
    const auto p = Parameters(2);
    ASSERT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), p.data()), 1);
    // Bad blocks 3, 4, 7 and 8 (chips 0x00, 0x01, 0x10, 0x11) leave blocks 2, 5, 6 and 9 alone in
    // their pairs.
    const std::vector<Found> expected = {{0, 0, 0, 2}, {1, 0, 0, 5}, {0, 1, 0, 6}, {1, 1, 1, 1}};
    EXPECT_EQ(List(), expected);
    EXPECT_EQ(tracer.texts.front(), "FindISPAndCISUseBlock(3)");
    EXPECT_NE(tracer.Joined().find("FsB02(1, 0, 0, 0, 2)=>3|"), std::string::npos) << tracer.Joined();
    EXPECT_NE(tracer.Joined().find("FsB01(2, 0, 1, 0, 5)=>3|"), std::string::npos) << tracer.Joined();
    EXPECT_EQ(tracer.texts.back(), "FSTB=>1");
    EXPECT_EQ(GetFlashTableBit(table.Chip(), 0, 0, 0, 2), 1);  // taken blocks are marked used
    EXPECT_EQ(FlashChip(table.Chip()).Counter(0), 3u + 1);
    // Each test: erase, 8 units of 16 KiB written and read back, erase again.
    std::size_t writes = 0;
    for (const rig::LogRecord& r : Log()) writes += r.header.cdb[1] == 0x95 && r.header.cdb[6] == 0x8B ? 1 : 0;
    EXPECT_EQ(writes, 4u * 8);
    EXPECT_EQ(Cdbs()[1], "EE 95 00 00 00 80 8B 04 20 00 00 00 00 00 00 00");
}

TEST_F(FlashFind, TheSecondPassTestsFreePairsAndMarksTheWeakBlockBadForGood) {
    const auto p = Parameters(6);
    ASSERT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), p.data()), 1);
    EXPECT_EQ(list[0], 12);
    EXPECT_NE(tracer.Joined().find("FSTB=>0|"), std::string::npos);
    EXPECT_EQ(tracer.texts.back(), "FPTB=>1");
    // Chip 0x00's weak block 9 fails its read-back and is marked bad on the controller.
    const std::string joined = tracer.Joined();
    const auto mark = joined.find("MarkBad(3), Addr=240, ");
    ASSERT_NE(mark, std::string::npos) << joined;
    EXPECT_NE(joined.find("FpB1(11, 0, 0, 1, 0)=>3|"), std::string::npos) << joined;
    EXPECT_NE(joined.find("FpB1(12, 0, 0, 1, 2)=>3|"), std::string::npos) << joined;
    bool marked = false;
    for (const std::string& cdb : Cdbs()) marked = marked || cdb == "EE 50 00 00 02 40 80 00 04 00 00 34 12 00 00 00";
    EXPECT_TRUE(marked);
    // The written and the read unit are kept in the dump folder, not anywhere else.
    const std::string name = joined.substr(mark, joined.find('|', mark) - mark);
    EXPECT_EQ(dumps.files.count(name + "_1"), 1u);
    EXPECT_EQ(dumps.files.count(name + "_2"), 1u);
    EXPECT_EQ(dumps.files.at(name + "_1").size(), 16384u);
    // The trace, and so the names, carry the first 1024 bytes' bit errors that pass the limit.
    const std::vector<std::uint8_t>& written = dumps.files.at(name + "_1");
    const std::vector<std::uint8_t>& read = dumps.files.at(name + "_2");
    std::vector<int> sums;
    for (std::size_t start = 0; start < written.size(); start += 1024) {
        int bits = 0;
        for (std::size_t i = start; i < start + 1024; ++i) {
            bits += std::popcount(static_cast<unsigned>(written[i] ^ read[i]));
        }
        sums.push_back(bits);
    }
    const auto first = std::find_if(sums.begin(), sums.end(), [&](int bits) { return bits > p[10]; });
    ASSERT_NE(first, sums.end());
    ASSERT_NE(*first, *std::max_element(sums.begin(), sums.end())) << "the rig's errors must tell first from most";
    EXPECT_EQ(name, "MarkBad(3), Addr=240, " + std::to_string(*first));

    // The mark lasts: another scan, by another program, sees block 9 bad.
    Rigctl({"nand", "0x00"});
    EXPECT_NE(rigctlOut.find("bad blocks:    3 9 128 1023"), std::string::npos) << rigctlOut;
    OwnedTable again(CreateFlashTable(1, 2, 2, 128));
    ASSERT_EQ(ScanFlashBlock(*session, again.Chip(), 64, 0, 0), 1);
    EXPECT_EQ(GetFlashTableBit(again.Chip(), 0, 0, 1, 1), 1);
    EXPECT_EQ(FlashChip(again.Chip()).Counter(0), 4u);
}

TEST_F(FlashFind, WithoutTheMarkOptionAFailingBlockIsOnlySkippedAndNoDumpIsWritten) {
    dumps.usable = false;
    const auto p = Parameters(6, 0x00);
    ASSERT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), p.data()), 1);
    EXPECT_EQ(tracer.Joined().find("MarkBad"), std::string::npos);
    for (const std::string& cdb : Cdbs()) EXPECT_NE(cdb.substr(0, 5), "EE 50");
    Rigctl({"nand", "0x00"});
    EXPECT_NE(rigctlOut.find("bad blocks:    3 128 1023"), std::string::npos) << rigctlOut;
}

TEST_F(FlashFind, RefusesCountsBeyondTheTableOrTheListWithoutTouchingEither) {
    const std::array<std::uint8_t, 32> untouched = [] {
        std::array<std::uint8_t, 32> a;
        a.fill(0xCC);
        return a;
    }();
    auto refused = [&](std::array<std::uint8_t, kTableParameterBytes> p) {
        std::copy(untouched.begin(), untouched.end(), list.begin());
        EXPECT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), p.data()), 0);
        EXPECT_TRUE(std::equal(untouched.begin(), untouched.end(), list.begin()));
    };
    auto p = Parameters(2);
    p[0] = 5;  // five chips of a 2 x 2 record
    refused(p);
    p = Parameters(2);
    const std::uint32_t tooMany = 129 * 8 * 64;  // 129 bitmap bytes of 128
    std::memcpy(&p[1], &tooMany, 4);
    refused(p);
    refused(Parameters(128));  // 256 blocks: more than the list's count byte holds
    p = Parameters(2);
    p[9] = 0;  // nothing would be tested, everything would pass
    refused(p);
    geometry.pagesPerBlock = 0;  // never scanned
    refused(Parameters(2));
    EXPECT_TRUE(Log().empty());
}

// No pairs ask for nothing: no block is tested or taken, and nothing lands past the count byte,
// the whole of a list for no pairs.
TEST_F(FlashFind, NoPairsAskForNothing) {
    list.fill(0xCC);
    const FlashChip chip(table.Chip());
    const std::vector<std::uint8_t> bitmap(chip.Bitmap(0, 0).begin(), chip.Bitmap(0, 0).end());
    ASSERT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), Parameters(0).data()), 1);
    EXPECT_EQ(list[0], 0);
    EXPECT_TRUE(std::all_of(list.begin() + 1, list.end(), [](std::uint8_t b) { return b == 0xCC; }));
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(std::equal(bitmap.begin(), bitmap.end(), chip.Bitmap(0, 0).begin()));
    EXPECT_EQ(chip.Counter(0), 3u);
    EXPECT_EQ(tracer.texts.back(), "FSTB=>1");
}

TEST_F(FlashFind, TheBlockMapDumpHoldsEveryBitmapRowByRow) {
    FlashChip chip(table.Chip());
    const auto p = Parameters(1, 0x02);
    std::vector<std::uint8_t> before;
    for (std::size_t ce = 0; ce < 2; ++ce) {
        for (std::size_t ch = 0; ch < 2; ++ch) {
            const auto bitmap = chip.Bitmap(ce, ch);
            before.insert(before.end(), bitmap.begin(), bitmap.end());
        }
    }
    ASSERT_EQ(FindISPAndCISUseBlock(*session, table.Chip(), list.data(), p.data()), 1);
    EXPECT_EQ(dumps.files.at("BlockMap_03.txt"), before);
}

}  // namespace
}  // namespace corelink_test
