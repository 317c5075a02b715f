// Building the system tables on a simulated 2 x 2 NAND: the three tables' bytes read back from
// the rig's NAND, the allocator moving to the least-used cell, the weak blocks it meets marked
// bad, the dump files, the failing page write's message, and the refusals.
#include <gtest/gtest.h>

#include <set>

#include "common/core/bridge_protocol.h"
#include "corelink/core/flash_block_test.h"
#include "corelink/core/flash_scan.h"
#include "corelink/core/flash_system_table.h"
#include "corelink/core/flash_table_pages.h"
#include "corelink/core/scsi_commands.h"
#include "flash_rig_fixture.h"

namespace corelink_test {
namespace {

using namespace corelink;
using Bytes = std::vector<std::uint8_t>;

std::uint16_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]); }

class SystemTable : public FlashOnRig {
protected:
    void SetUp() override {
        Start({2, 2, 1024, 64, 2048});
        ASSERT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 1);
        tracer.texts.clear();
        ClearLog();
        parameters[0] = 4;
        const std::uint32_t count = 4 * 8 * 64;  // the first 32 blocks of each cell
        std::memcpy(&parameters[1], &count, 4);
        parameters[6] = 0x06;  // dump the tables, mark failing blocks bad
        parameters[7] = 4;
        parameters[9] = 4;
        parameters[10] = 8;
        // 4096 / (4 x 64) / (4 cells x 2) + 16 = 18 virtual blocks
        capacity[20] = 0x00;
        capacity[21] = 0x04;
        capacity[22] = 64;
        capacity[28] = 0x10;
    }
    Bytes Page(std::uint32_t row) {
        Bytes page(2048);
        EXPECT_EQ(CVCommCMDControl::BlockAccessRead(*device, handles[kSlot], 0x89, 0, 0, 4, 0, row, 2048, page.data()),
                  1);
        return page;
    }
    static std::uint32_t Row(std::uint8_t chip, std::uint16_t block) { return std::uint32_t{chip} << 24 | block * 64u; }

    OwnedTable table{CreateFlashTable(1, 2, 2, 128)};
    std::array<std::uint8_t, kTableParameterBytes> parameters{};
    std::array<std::uint8_t, kCapacityRecordBytes> capacity{};
};

TEST_F(SystemTable, TheTablesPagesOnTheNandMapEveryVirtualBlockToATestedPair) {
    parameters[0] = 0;  // the block search's cell count; the build goes by parameter 7
    ASSERT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), capacity.data()), 1);
    const std::string traces = tracer.Joined();
    EXPECT_EQ(tracer.texts.front(), "BuildUFDSystemTable(3)");
    EXPECT_NE(traces.find(" @@ VB Limit =0x12|BuildTAT(0)|"), std::string::npos) << traces;
    EXPECT_NE(traces.find("CIndex=1|"), std::string::npos) << traces;  // cell 0 used up: the least-used next
    EXPECT_NE(traces.find("BuildTheLFT()|"), std::string::npos);

    // The WCT's place is in its trace; its page names the TAT and LFT pages.
    const auto at = traces.find("WriteWCT_INFO(3, addr=");
    ASSERT_NE(at, std::string::npos) << traces;
    const std::uint32_t wctRow = static_cast<std::uint32_t>(std::stoul(traces.substr(at + 22), nullptr, 16));
    const Bytes wct = Page(wctRow);
    EXPECT_EQ(wct[1], 1);
    const std::uint8_t tatChip = wct[0];
    const std::uint16_t tatBlock = Be16(wct, 2);
    EXPECT_EQ(Bytes(wct.begin() + 4, wct.begin() + 256), Bytes(252, 0));
    const std::uint8_t lftChip = static_cast<std::uint8_t>(Be16(wct, 256));
    const std::uint16_t lftBlock = Be16(wct, 258);
    for (std::size_t i = 260; i < 2048; i += 2) ASSERT_EQ(Be16(wct, i), 0xFFFF) << i;

    const Bytes tat = Page(Row(tatChip, tatBlock));
    std::set<std::pair<int, int>> pairs;
    for (std::size_t i = 0; i < 18; ++i) {
        const std::uint8_t chip = tat[4 * i];
        const std::uint16_t block = Be16(tat, 4 * i + 2);
        EXPECT_EQ(tat[4 * i + 1], 3);
        EXPECT_EQ(block % 2, 0);
        EXPECT_LT(block, 32);
        const std::size_t ce = chip >> 4, ch = chip & 0x0F;
        for (std::uint32_t bad : rig_test::FixtureBadBlocks(ce, ch, 1024)) {
            EXPECT_TRUE(bad != block && bad != block + 1u) << "entry " << i;
        }
        for (std::uint32_t weak : rig_test::FixtureWeakBlocks(ce, ch, 1024)) {
            EXPECT_TRUE(weak != block && weak != block + 1u) << "entry " << i;
        }
        EXPECT_TRUE(pairs.insert({chip, block}).second) << "pair used twice";
    }
    EXPECT_TRUE((pairs.count({0x00, 0}) == 1));  // cell 0's first pair first
    EXPECT_EQ(Bytes(tat.begin() + 18 * 4, tat.end()), Bytes(2048 - 18 * 4, 0));
    const Bytes lft = Page(Row(lftChip, lftBlock));
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(Be16(lft, 2 * i), i < 18 ? i : 0xFFFF) << i;

    // The weak blocks met on the way are marked bad for good; the table pages read as system blocks.
    Rigctl({"nand", "0x00"});
    EXPECT_NE(rigctlOut.find("bad blocks:    3 9 128 1023"), std::string::npos) << rigctlOut;
    Rigctl({"nand", "0x01"});
    EXPECT_NE(rigctlOut.find("bad blocks:    4 11 135 1022"), std::string::npos) << rigctlOut;
    Rigctl({"nand", std::to_string(tatChip)});
    EXPECT_NE(rigctlOut.find("system blocks:"), std::string::npos);
    EXPECT_NE(rigctlOut.find(" " + std::to_string(tatBlock)), std::string::npos) << rigctlOut;

    // The dump files: the machine's byte order, and the "FW" copies as written.
    EXPECT_EQ(dumps.files.at("FW\\TAT_000.txt"), tat);
    EXPECT_EQ(dumps.files.at("FW\\LFT_INFO_000.txt"), lft);
    const Bytes& native = dumps.files.at("TAT_000.txt");
    ASSERT_EQ(native.size(), 2048u);
    EXPECT_EQ(native[0], tat[0]);
    EXPECT_EQ(native[2], tat[3]);
    EXPECT_EQ(native[3], tat[2]);
    EXPECT_EQ(dumps.files.at("LFT_INFO_000.txt")[2], 1);  // entry 1 = 1, little-endian
    EXPECT_EQ(dumps.files.at("MapPtr_000.txt").size(), 4u * 5);
    EXPECT_EQ(dumps.files.at("MapPtr_WCT.txt").size(), 4u * 5);
    EXPECT_EQ(dumps.files.at("LFT_INFO_WCT.txt").size(), 2048u);
    EXPECT_EQ(dumps.files.at("WCT_TAT_A.txt").size(), 256u);
    EXPECT_EQ(dumps.files.at("WCT_BLK_A.txt").size(), 1792u);
    const Bytes& fwWct = dumps.files.at("FW\\WCT_TAT_A.txt");
    ASSERT_EQ(fwWct.size(), 260u);
    EXPECT_EQ(Bytes(fwWct.begin(), fwWct.begin() + 256), Bytes(wct.begin(), wct.begin() + 256));
    EXPECT_EQ(fwWct[256], 0x00);
    EXPECT_EQ(fwWct[257], 0x01);
    EXPECT_EQ(Be16(fwWct, 258), (wctRow & 0xFFFFFF) / 64);
    EXPECT_EQ(dumps.files.at("FW\\WCT_BLK_A.txt"), Bytes(wct.begin() + 256, wct.end()));
    EXPECT_TRUE(notices.texts.empty());
}

TEST_F(SystemTable, APageThatCannotBeWrittenIsToldOnceAndItsBlockMarkedBad) {
    Rigctl({"fail", "EE", "95", "..", "..", "..", "..", "8B", "04", "04", "..", "54", "41", "54"});  // "TAT..."
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), capacity.data()), 0);
    EXPECT_EQ(notices.texts, std::vector<std::string>{"Write TAT Error"});
    std::size_t attempts = 0;
    std::string marked;
    for (const rig::LogRecord& r : Log()) {
        if (r.header.cdb[1] == 0x95 && r.header.cdb[6] == 0x8B && r.header.cdb[10] == 'T') ++attempts;
        if (r.header.cdb[1] == 0x50) marked = rig::HexBytes(r.header.cdb, 16);
    }
    EXPECT_EQ(attempts, 3u);
    EXPECT_EQ(marked.substr(0, 5), "EE 50");
    EXPECT_EQ(marked.substr(18), "80 00 04 00 00 00 00 00 00 00");
}

TEST_F(SystemTable, RefusesRecordsItCannotBuildFromWithoutSendingAnything) {
    auto zeroDivisor = capacity;
    zeroDivisor[22] = 0;
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), zeroDivisor.data()), 0);
    auto huge = capacity;
    huge[21] = 1;
    huge[22] = 1;
    huge[26] = 0xFF;  // far more than 64 tables of 512 entries
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), huge.data()), 0);
    auto tooManyCells = parameters;
    tooManyCells[7] = 17;
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), tooManyCells.data(), capacity.data()), 0);
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), nullptr), 0);
    EXPECT_TRUE(Log().empty());
}

TEST_F(SystemTable, AnAllocatorWithoutRoomStopsTheBuild) {
    parameters[7] = 1;  // only cell 0: 14 usable pairs for 21 needed
    EXPECT_EQ(BuildUFDSystemTable(*session, table.Chip(), parameters.data(), capacity.data()), 0);
    EXPECT_NE(tracer.Joined().find("CIndex=ff| STOP_LOOP|"), std::string::npos) << tracer.Joined();
}

}  // namespace
}  // namespace corelink_test
