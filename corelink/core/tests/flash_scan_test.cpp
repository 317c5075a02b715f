// The NAND scan on simulated flash controllers of 1 x 1, 2 x 2 and 4 x 4 chips: the bitmaps and
// counters against the rig's bad and system blocks, the controller's registers before, during
// and after (also when the scan stops early), the dump lines and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "corelink/core/flash_scan.h"
#include "corelink/core/scsi_commands.h"
#include "flash_rig_fixture.h"

namespace corelink_test {
namespace {

using namespace corelink;
using rig_test::NandLayout;

constexpr std::uint8_t kDumpLines = 0x80;

// The xdata writes of the log in order, as "ADDR=VALUE".
std::vector<std::string> XdataWrites(const std::vector<rig::LogRecord>& log) {
    std::vector<std::string> writes;
    for (const rig::LogRecord& r : log) {
        if (r.header.cdb[0] == 0xEE && r.header.cdb[1] == 0x01 && r.header.cdb[6] == 0x05 && !r.dataOut.empty()) {
            writes.push_back(rig::HexBytes(&r.header.cdb[4], 2) + "=" + rig::HexBytes(r.dataOut.data(), 1));
        }
    }
    return writes;
}

class FlashScan : public FlashOnRig, public ::testing::WithParamInterface<NandLayout> {};

TEST_P(FlashScan, MarksTheRigsBadBlocksClearsItsSystemBlocksAndRestoresTheModeRegister) {
    const NandLayout chosen = GetParam();
    Start(chosen);
    const std::uint32_t entryBytes = chosen.blocks / 8;
    OwnedTable table(CreateFlashTable(1, chosen.chipEnables, chosen.channels, entryBytes));
    FlashChip chip(table.Chip());
    // Stale marks from an earlier use of the table: the scan decides every bit anew.
    for (std::size_t ce = 0; ce < chosen.chipEnables; ++ce) {
        for (std::size_t ch = 0; ch < chosen.channels; ++ch) std::fill_n(chip.Bitmap(ce, ch).data(), 2, 0xFF);
    }

    ASSERT_EQ(ScanFlashBlock(*session, table.Chip(), chosen.pagesPerBlock, 0x1234, kDumpLines), 1);
    EXPECT_EQ(geometry.pagesPerBlock, chosen.pagesPerBlock);
    EXPECT_EQ(geometry.scanValue, 0x1234);

    std::string expectedDump;
    for (std::size_t ce = 0; ce < chosen.chipEnables; ++ce) {
        for (std::size_t ch = 0; ch < chosen.channels; ++ch) {
            SCOPED_TRACE(testing::Message() << "ce " << ce << " ch " << ch);
            const auto bad = rig_test::FixtureBadBlocks(ce, ch, chosen.blocks);
            const std::uint32_t chipAddress = std::uint32_t{rig_test::ChipByte(ce, ch)} << 24;
            for (std::uint32_t block = 0; block < chosen.blocks; ++block) {
                const bool isBad = std::find(bad.begin(), bad.end(), block) != bad.end();
                ASSERT_EQ(GetFlashTableBit(table.Chip(), static_cast<std::uint8_t>(ce), static_cast<std::uint8_t>(ch),
                                           block / 8, block % 8),
                          isBad ? 1 : 0)
                    << block;
                const std::uint32_t row = chipAddress | (block * chosen.pagesPerBlock);
                if (block == rig_test::FixtureSystemBlocks(ce, ch, chosen.blocks)[0]) {
                    expectedDump += Format("System Block RowAddress: 0x%08x\r\n", row);
                } else if (isBad) {
                    expectedDump += Format("Bad Block RowAddress: 0x%08x\r\n", row);
                }
            }
            EXPECT_EQ(chip.Counter(ce * chosen.channels + ch), 3u);
            expectedDump += Format("ChipAddress: 0x%08x, Bad Block Count: 3\r\n", chipAddress);
        }
    }
    expectedDump += Format("CE: %d, CH: %d, Entry: %d\r\n", chosen.chipEnables, chosen.channels,
                           static_cast<int>(entryBytes));
    EXPECT_EQ(dumps.Text("BadBlockRec.txt"), expectedDump);

    // The registers: 0x2360 off and on around each group's commands, back to its value at the end;
    // 0x2300 keeps the geometry code.
    const std::vector<std::string> writes = XdataWrites(Log());
    const std::size_t groups = std::size_t{chosen.chipEnables} * chosen.channels * ((entryBytes + 63) / 64);
    ASSERT_EQ(writes.size(), 1 + 2 * groups + 1);
    EXPECT_EQ(writes.front(), chosen.pagesPerBlock == 128 ? "23 00=01" : "23 00=00");
    for (std::size_t g = 0; g < groups; ++g) {
        EXPECT_EQ(writes[1 + 2 * g], "23 60=00");
        EXPECT_EQ(writes[2 + 2 * g], "23 60=01");
    }
    EXPECT_EQ(writes.back(), "23 60=01");
    const rig::DeviceState state = State();
    EXPECT_EQ(state.xdataMemory[0x2360], 0x01);
    EXPECT_EQ(state.xdataMemory[0x2300], chosen.pagesPerBlock == 128 ? 0x01 : 0x00);
    EXPECT_EQ(tracer.texts[0], "ScanFlashBlock(3)");
    EXPECT_EQ(tracer.texts[1], "REG_2360=(1)");
    EXPECT_EQ(tracer.texts[2], chosen.pagesPerBlock == 128 ? "REG_2300=(0) => (1)" : "REG_2300=(0) => (0)");
}

INSTANTIATE_TEST_SUITE_P(Layouts, FlashScan,
                         ::testing::Values(NandLayout{1, 1, 1024, 64, 2048}, NandLayout{2, 2, 1024, 128, 2048},
                                           NandLayout{4, 4, 512, 64, 2048}),
                         [](const auto& test) {
                             return std::to_string(test.param.chipEnables) + "x" + std::to_string(test.param.channels);
                         });

class FlashScanEdges : public FlashOnRig {
protected:
    void SetUp() override { Start({2, 2, 1024, 64, 2048}); }
};

TEST_F(FlashScanEdges, TheCommandsOfAGroupAreTheTablesBytes) {
    OwnedTable table(CreateFlashTable(1, 1, 1, 64));  // one group of one cell
    ASSERT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0xABCD, 0x40 | 0x01), 1);
    const std::vector<std::string> cdbs = Cdbs();
    const std::vector<std::string> expected = {
        "EE 01 00 00 23 60 04 00 01 00 00 00 00 00 00 00",  // read 0x2360
        "EE 01 00 00 23 00 04 00 01 00 00 00 00 00 00 00",  // read 0x2300
        "EE 01 00 00 23 00 05 00 01 00 00 00 00 00 00 00",  // 0x2300 := geometry
        "EE 01 00 00 23 60 05 00 01 00 00 00 00 00 00 00",  // mode bit off
        "EE 51 00 00 00 00 00 02 00 AB CD 00 40 00 00 00",  // first pages
        "EE 51 00 00 00 3F 00 02 00 AB CD 00 40 00 00 00",  // last pages
        // one pass (flags bit 6): no second round; the system block 0 is erased (flags bit 0)
        "EE 95 00 00 00 00 8E 00 00 00 00 00 00 00 00 00",
        "EE 01 00 00 23 60 05 00 01 00 00 00 00 00 00 00",  // 0x2360 restored
    };
    EXPECT_EQ(cdbs, expected);
    EXPECT_EQ(GetFlashTableBit(table.Chip(), 0, 0, 0, 3), 1);
}

// A scan that stops before its last cell fails, however it stops; the mode register is written
// back on every way out.
TEST_F(FlashScanEdges, AScanThatDoesNotCompleteFailsAndStillRestoresTheModeRegister) {
    Rigctl({"fail", "EE", "51", "01"});  // every bad-block command on chip 0x01 (ce 0, ch 1)
    OwnedTable table(CreateFlashTable(1, 2, 2, 128));
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, kDumpLines), 0);
    EXPECT_EQ(Count("scan block Er0 Off"), 9);
    EXPECT_EQ(FlashChip(table.Chip()).Counter(0), 3u);  // the first cell was done
    EXPECT_EQ(GetFlashTableBit(table.Chip(), 1, 1, 1, 0), 0);  // block 8 of the last cell: never scanned
    const std::vector<std::string> writes = XdataWrites(Log());
    EXPECT_EQ(writes.back(), "23 60=01");
    EXPECT_EQ(State().xdataMemory[0x2360], 0x01);
    const std::string dump = dumps.Text("BadBlockRec.txt");
    EXPECT_NE(dump.find("ChipAddress: 0x00000000, Bad Block Count: 3\r\nCE: 2, CH: 2, Entry: 128\r\n"),
              std::string::npos)
        << dump;

    // A controller that keeps refusing the geometry register: the scan never starts, the mode
    // register is still written back.
    Rigctl({"fail", "off"});
    Rigctl({"fail", "EE", "01", "00", "00", "23", "00", "05"});
    ClearLog();
    tracer.texts.clear();
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 0);
    EXPECT_EQ(Count("ReWrite 2300"), 10);
    EXPECT_EQ(XdataWrites(Log()).back(), "23 60=01");

    // An allocation failure in the middle of a group (the mode bit cleared for it) leaves the
    // operation as an exception; the register has its value back before it does.
    Rigctl({"fail", "off"});
    Rigctl({"fail", "out-of-memory", "EE", "51"});
    ClearLog();
    EXPECT_THROW(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), std::bad_alloc);
    EXPECT_EQ(XdataWrites(Log()), (std::vector<std::string>{"23 00=00", "23 60=00", "23 60=01"}));
    EXPECT_EQ(State().xdataMemory[0x2360], 0x01);
}

TEST_F(FlashScanEdges, ACellWithTooManyBadBlocksEndsTheScanWhenAsked) {
    // Blocks 0..7 of chip 0x00: 3 is factory-bad, six more marked bad make 7 = 7 x entryBytes.
    for (std::uint32_t block : {1u, 2u, 4u, 5u, 6u, 7u}) {
        ASSERT_EQ(CVCommCMDControl::BlockMarkWrite(*device, handles[kSlot], 0x80, 0, 0, 4, 0, 0, block * 64, 0, nullptr),
                  1);
    }
    OwnedTable table(CreateFlashTable(1, 2, 2, 1));
    OwnedTable stopping(CreateFlashTable(1, 2, 2, 1));
    ClearLog();
    ASSERT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 1);
    EXPECT_EQ(FlashChip(table.Chip()).Counter(1), 1u);  // without flag bit 1 every cell is scanned
    EXPECT_EQ(ScanFlashBlock(*session, stopping.Chip(), 64, 0, 0x02), 0);  // the later cells were never scanned
    EXPECT_EQ(FlashChip(stopping.Chip()).Counter(0), 7u);
    EXPECT_EQ(Count("bad block count too much"), 1);
    EXPECT_EQ(FlashChip(stopping.Chip()).Bitmap(0, 1)[0], 0x00);  // the next cell was not scanned
    EXPECT_EQ(XdataWrites(Log()).back(), "23 60=01");
}

TEST_F(FlashScanEdges, RefusesRecordsAndGeometriesItCannotScanWithoutSendingAnything) {
    OwnedTable table(CreateFlashTable(1, 2, 2, 128));
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 100, 0, 0), 0);  // no register code for 100 pages
    EXPECT_EQ(ScanFlashBlock(*session, nullptr, 64, 0, 0), 0);
    table.Chip()[1] = 5;  // CE 5: more rows than a record holds
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 0);
    EXPECT_TRUE(Log().empty());

    // When the mode register cannot be read nothing is written to the controller.
    table.Chip()[1] = 2;
    Rigctl({"fail", "EE", "01", "00", "00", "23", "60", "04"});
    ClearLog();
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, 0), 0);
    EXPECT_TRUE(XdataWrites(Log()).empty());
}

TEST_F(FlashScanEdges, ADumpFolderThatCannotBeWrittenOnlyLosesTheDump) {
    dumps.usable = false;
    OwnedTable table(CreateFlashTable(1, 2, 2, 128));
    EXPECT_EQ(ScanFlashBlock(*session, table.Chip(), 64, 0, kDumpLines), 1);
    EXPECT_TRUE(dumps.files.empty());
    EXPECT_EQ(FlashChip(table.Chip()).Counter(3), 3u);
}

// A storage enclosure answers the register commands but has no NAND: every bad-block command
// fails, the scan fails, and the mode register is back as it was.
TEST_F(CorelinkOnRig, AScanOfAStorageEnclosureFails) {
    FlashGeometry geometry;
    FlashSession session{*device, handles.data(), kSlot, geometry};
    OwnedTable table(CreateFlashTable(1, 1, 1, 64));
    const std::uint8_t before = State().xdataMemory[0x2360];
    EXPECT_EQ(ScanFlashBlock(session, table.Chip(), 64, 0, 0), 0);
    std::size_t scans = 0;
    for (const std::string& cdb : Cdbs()) scans += cdb.substr(0, 5) == "EE 51" ? 1 : 0;
    EXPECT_EQ(scans, 9u);
    EXPECT_EQ(XdataWrites(Log()).back(), "23 60=" + rig::HexBytes(&before, 1));
    EXPECT_EQ(State().xdataMemory[0x2360], before);
}

}  // namespace
}  // namespace corelink_test
