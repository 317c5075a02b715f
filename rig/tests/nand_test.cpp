// The flash-controller enclosure's NAND: its rig file keys, the bad-block scan, page program,
// read and erase, weak blocks, marks kept across programs, and rigctl's views of it.
#include <gtest/gtest.h>

#include <bit>
#include <sstream>

#include "common/core/bridge_protocol.h"
#include "nand_rig_fixture.h"
#include "rig/core/rig_control.h"
#include "rig/core/rig_file_parser.h"

namespace rig_test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace devio::bridge;

Cdb NandCdb(std::uint8_t group, std::uint8_t code, std::uint32_t row) {
    Cdb cdb(16, 0);
    cdb[0] = 0xEE;
    cdb[1] = group;
    devio::PutBigEndian32(&cdb[2], row);
    cdb[6] = code;
    return cdb;
}

Request ScanRequest(std::uint32_t row, std::uint16_t pagesPerBlock) {
    Cdb cdb = NandCdb(kGroupBadBlock, kCodeCheckBad, row);
    devio::PutBigEndian16(&cdb[7], 512);
    devio::PutBigEndian16(&cdb[11], pagesPerBlock);
    return MakeRequest(cdb, devio::kDataIn, 512);
}

Request PageWrite(std::uint32_t row, const Bytes& data, const char* tag = "\0\0\0\0\0\0") {
    Cdb cdb = NandCdb(kGroupFlash, kCodeBlockWrite, row);
    cdb[7] = 4;
    cdb[8] = static_cast<std::uint8_t>(data.size() / 512);
    for (int i = 0; i < 6; ++i) cdb[10 + i] = static_cast<std::uint8_t>(tag[i]);
    return MakeRequest(cdb, devio::kDataOut, static_cast<std::uint32_t>(data.size()), data);
}

Request PageRead(std::uint32_t row, std::uint32_t length) {
    Cdb cdb = NandCdb(kGroupFlash, kCodeBlockRead, row);
    cdb[7] = 4;
    cdb[8] = static_cast<std::uint8_t>(length / 512);
    return MakeRequest(cdb, devio::kDataIn, length);
}

Request Erase(std::uint32_t row) { return MakeRequest(NandCdb(kGroupFlash, kCodeBlockStatus, row), devio::kDataIn, 1); }

Request MarkBad(std::uint32_t row) {
    return MakeRequest(NandCdb(kGroupBlockMark, kCodeMarkBad, row), devio::kDataIn, 0);
}

Request XdataWrite(std::uint16_t address, std::uint8_t value) {
    return MakeRequest(VendorCdb(kGroupMemory, kCodeXdataWrite, address, 1), devio::kDataOut, 1, {value});
}

std::uint32_t Row(std::uint8_t chip, std::uint32_t block, std::uint32_t page = 0, std::uint32_t pages = 64) {
    return (std::uint32_t{chip} << 24) | (block * pages + page);
}

int BitsApart(const Bytes& a, const Bytes& b) {
    int bits = 0;
    for (std::size_t i = 0; i < a.size(); ++i) bits += std::popcount(static_cast<unsigned>(a[i] ^ b[i]));
    return bits;
}

class NandTest : public NandRigTest {
protected:
    void SetUp() override {
        UseLayout({2, 2, 1024, 64, 2048});
        stack = Program();
        ASSERT_TRUE(stack);
        handle = OpenFlash(*stack);
        ASSERT_NE(handle, devio::kInvalidDeviceHandle);
    }
    Sent Send(Request&& request) { return SendThrough(*stack, handle, request); }
    std::string Rigctl(std::vector<std::string> args, int expected = 0) {
        std::ostringstream out, err;
        args.insert(args.begin(), rigPath);
        EXPECT_EQ(rig::RunRigControl(rig::PlatformFileSystem(), args, out, err), expected) << err.str();
        return out.str() + err.str();
    }

    std::unique_ptr<rig::RigDeviceStack> stack;
    devio::DeviceHandle handle = devio::kInvalidDeviceHandle;
};

TEST(NandRigFile, FlashEnclosuresTakeTheirGeometryAndListsAndRefuseWhatTheNandCannotHold) {
    auto parsed = rig::ParseRigFile(NandRigText({2, 4, 512, 128, 4096}), "/r/flash.rig");
    ASSERT_TRUE(parsed.config) << parsed.error;
    const rig::NandConfig& nand = parsed.config->enclosures[0].nand;
    EXPECT_TRUE(nand.present);
    EXPECT_EQ(nand.chipEnables, 2);
    EXPECT_EQ(nand.channels, 4);
    EXPECT_EQ(nand.blocksPerChip, 512u);
    EXPECT_EQ(nand.pagesPerBlock, 128);
    EXPECT_EQ(nand.pageSize, 4096u);
    EXPECT_EQ(nand.bad.size(), 8u * 3);
    EXPECT_EQ(nand.path, "/r/flash.0.nand");
    EXPECT_TRUE((nand.bad[12] == rig::NandBlock{0x10, 3 + 4}));  // ce 1, ch 0: the fifth chip

    const std::string base = NandRigText({1, 1, 64, 64, 2048});
    const struct {
        std::string extra;
        const char* message;
    } wrong[] = {
        {"nand_bad = 0x01 5\n", "names no chip"},
        {"nand_weak = 0 64\n", "past the chip's 64 blocks"},
        {"nand_pages_per_block = 100\n", "64, 128, 256 or 512"},
        {"nand_page_size = 1000\n", "multiple of 512"},
        {"nand_channels = 5\n", "from 1 to 4"},
        {"nand_system = 0\n", "chip byte and block numbers"},
    };
    for (const auto& w : wrong) {
        std::string text = base;
        // Replace the key's earlier line where the fixture gave it, so the error is the one meant.
        const std::string key = w.extra.substr(0, w.extra.find(' '));
        if (const auto at = text.find(key + " ="); at != std::string::npos && key != "nand_bad" &&
                                                  key != "nand_weak" && key != "nand_system") {
            text.erase(at, text.find('\n', at) - at + 1);
        }
        const auto result = rig::ParseRigFile(text + w.extra, "/r/flash.rig");
        EXPECT_FALSE(result.config) << w.extra;
        EXPECT_NE(result.error.find(w.message), std::string::npos) << result.error;
    }
    const auto storage = rig::ParseRigFile("[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\nsectors = 8\n"
                                           "interface = x\nnand_blocks = 64\n",
                                           "/r/flash.rig");
    EXPECT_FALSE(storage.config);
    EXPECT_NE(storage.error.find("kind = flash"), std::string::npos) << storage.error;
}

TEST_F(NandTest, BadBlockScanShowsBadBlocksAlwaysAndSystemBlocksOnlyWhileTheModeBitIsClear) {
    ASSERT_EQ(Send(XdataWrite(0x2360, 0x00)).status, 0);  // the mode bit starts set
    for (std::size_t ce = 0; ce < 2; ++ce) {
        for (std::size_t ch = 0; ch < 2; ++ch) {
            SCOPED_TRACE(testing::Message() << "ce " << ce << " ch " << ch);
            const std::uint8_t chip = ChipByte(ce, ch);
            Sent first = Send(ScanRequest(Row(chip, 0), 64));
            ASSERT_TRUE(first.delivered);
            ASSERT_EQ(first.status, 0);
            Sent last = Send(ScanRequest(Row(chip, 0, 63), 64));
            ASSERT_EQ(last.status, 0);
            for (std::uint32_t block = 0; block < 512; ++block) {
                std::uint8_t expected = 0;
                for (std::uint32_t bad : FixtureBadBlocks(ce, ch, 1024)) expected = bad == block ? 1 : expected;
                for (std::uint32_t sys : FixtureSystemBlocks(ce, ch, 1024)) expected = sys == block ? 2 : expected;
                ASSERT_EQ(first.data[block], expected) << block;
                ASSERT_EQ(last.data[block], expected) << block;
            }
            // The second group: the chip's last block is bad; nothing past the chip exists.
            Sent second = Send(ScanRequest(Row(chip, 512), 64));
            ASSERT_EQ(second.status, 0);
            EXPECT_EQ(second.data[511 - (ce * 4 + ch)], 1);
        }
    }
    ASSERT_EQ(Send(XdataWrite(0x2360, 0x01)).status, 0);
    Sent hidden = Send(ScanRequest(Row(0, 0), 64));
    EXPECT_EQ(hidden.data[0], 0);  // the system block reads good
    EXPECT_EQ(hidden.data[3], 1);  // bad stays bad

    // The scan's geometry must be the NAND's; a chip it lacks is out of range.
    EXPECT_EQ(Send(ScanRequest(Row(0, 0), 128)).status, devio::kScsiStatusCheckCondition);
    EXPECT_EQ(Send(ScanRequest(Row(0x02, 0), 64)).status, devio::kScsiStatusCheckCondition);
}

TEST_F(NandTest, PagesAreProgrammedReadBackErasedAndTaggedAndWeakBlocksShowBitErrors) {
    const std::uint32_t row = Row(0x11, 20, 5);
    EXPECT_EQ(Send(PageRead(row, 2048)).data, Bytes(2048, 0xFF));  // never written: erased
    Bytes data(4096);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(Send(PageWrite(row, data, "TATSYS")).status, 0);
    EXPECT_EQ(Send(PageRead(row, 4096)).data, data);
    // Programming again only clears bits, as NAND does.
    ASSERT_EQ(Send(PageWrite(row, Bytes(2048, 0x0F))).status, 0);
    Bytes anded = data;
    for (std::size_t i = 0; i < 2048; ++i) anded[i] &= 0x0F;
    EXPECT_EQ(Send(PageRead(row, 4096)).data, anded);
    // A page 0 tagged "...SYS" makes a system block.
    ASSERT_EQ(Send(XdataWrite(0x2360, 0x00)).status, 0);
    ASSERT_EQ(Send(PageWrite(Row(0x11, 21), Bytes(2048, 0), "LFTSYS")).status, 0);
    EXPECT_EQ(Send(ScanRequest(Row(0x11, 0), 64)).data[21], 2);
    Sent erased = Send(Erase(Row(0x11, 20, 9)));
    ASSERT_EQ(erased.status, 0);
    EXPECT_EQ(erased.data, Bytes{0});
    EXPECT_EQ(Send(PageRead(row, 4096)).data, Bytes(4096, 0xFF));
    ASSERT_EQ(Send(Erase(Row(0x11, 21))).status, 0);
    EXPECT_EQ(Send(ScanRequest(Row(0x11, 0), 64)).data[21], 0);
    // The rig file's system block stays one until erased.
    EXPECT_EQ(Send(ScanRequest(Row(0x11, 0), 64)).data[1], 2);
    ASSERT_EQ(Send(Erase(Row(0x11, 1))).status, 0);
    EXPECT_EQ(Send(ScanRequest(Row(0x11, 0), 64)).data[1], 0);

    // Weak block 9 + 2 x 5 = 19 of chip 0x11: every 1024 bytes read back with many bit errors, the same each time.
    const std::uint32_t weak = Row(0x11, 19, 2);
    ASSERT_EQ(Send(PageWrite(weak, Bytes(2048, 0x5A))).status, 0);
    const Bytes back = Send(PageRead(weak, 2048)).data;
    const Bytes firstHalf(back.begin(), back.begin() + 1024);
    EXPECT_GE(BitsApart(firstHalf, Bytes(1024, 0x5A)), 24);
    EXPECT_EQ(Send(PageRead(weak, 2048)).data, back);
    EXPECT_EQ(Send(PageRead(Row(0x11, 20), 2048)).data, Bytes(2048, 0xFF));  // a good block: none

    // Bad blocks neither program, read nor erase; page sizes must be the NAND's.
    EXPECT_EQ(Send(PageWrite(Row(0x11, 3 + 5), Bytes(2048, 0))).status, devio::kScsiStatusCheckCondition);
    EXPECT_EQ(Send(PageRead(Row(0x11, 3 + 5), 2048)).status, devio::kScsiStatusCheckCondition);
    EXPECT_EQ(Send(Erase(Row(0x11, 3 + 5))).status, devio::kScsiStatusCheckCondition);
    EXPECT_EQ(Send(PageRead(row, 1024)).status, devio::kScsiStatusCheckCondition);
}

TEST_F(NandTest, MarksAndPagesAreSharedByProgramsAndShownByRigctlUntilReset) {
    ASSERT_EQ(Send(MarkBad(Row(0x10, 40, 3))).status, 0);
    ASSERT_EQ(Send(PageWrite(Row(0x10, 41, 1), Bytes(2048, 0x42), "WCTSYS")).status, 0);

    auto other = Program();  // a second program on the same files
    const devio::DeviceHandle otherHandle = OpenFlash(*other);
    Sent seen = SendThrough(*other, otherHandle, ScanRequest(Row(0x10, 0), 64));
    EXPECT_EQ(seen.data[40], 1);
    EXPECT_EQ(SendThrough(*other, otherHandle, PageRead(Row(0x10, 41, 1), 2048)).data, Bytes(2048, 0x42));

    const std::string map = Rigctl({"nand", "0x10"});
    EXPECT_NE(map.find("chip 0x10 (CE 1, CH 0): 1024 blocks of 64 pages x 2048 bytes"), std::string::npos) << map;
    EXPECT_NE(map.find("bad blocks:    7 40 156 1019"), std::string::npos) << map;
    EXPECT_NE(map.find("system blocks: 0\n"), std::string::npos) << map;
    EXPECT_NE(map.find("weak blocks:   17"), std::string::npos) << map;
    EXPECT_NE(map.find("      0  S......B.........w......................B......................."), std::string::npos)
        << map;
    const std::string page = Rigctl({"nand-page", "0x10000A41"});
    EXPECT_NE(page.find("row 0x10000A41: chip 0x10 (CE 1, CH 0), block 41, page 1, tag \"WCTSYS\""),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("  0000: 42 42 42 42 42 42 42 42 42 42 42 42 42 42 42 42\n  *\n  07F0: 42"), std::string::npos)
        << page;
    EXPECT_NE(Rigctl({"nand", "0x02"}, 1).find("no chip 0x02"), std::string::npos);
    EXPECT_NE(Rigctl({"nand", "chip"}, 2).find("needs a number"), std::string::npos);

    Rigctl({"reset"});
    EXPECT_EQ(Send(ScanRequest(Row(0x10, 0), 64)).data[40], 0);
    EXPECT_EQ(Send(PageRead(Row(0x10, 41, 1), 2048)).data, Bytes(2048, 0xFF));
}

}  // namespace
}  // namespace rig_test
