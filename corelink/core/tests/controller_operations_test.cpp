// The second interface's controller operations on the simulated enclosure: the exact command
// blocks each one sends (written out from the command tables, byte by byte), what the
// enclosure keeps after writes, and the block access with its "CIS" tag.
#include <gtest/gtest.h>

#include <functional>

#include "common/core/bridge_protocol.h"
#include "corelink/core/controller_operations.h"
#include "corelink_rig_fixture.h"

namespace corelink_test {
namespace {

using namespace corelink;
using Bytes = std::vector<std::uint8_t>;

struct Expected {
    const char* what;
    std::function<int(Device&, HandleArray)> call;
    const char* cdb;  // the 16 bytes
    std::uint8_t dataIn;
    std::uint32_t length;
    int result;
};

class ControllerOperations : public CorelinkOnRig {
protected:
    // Sends one operation and checks the one command block it left in the log.
    void Check(const Expected& e) {
        SCOPED_TRACE(e.what);
        ClearLog();
        EXPECT_EQ(e.call(*device, handles.data()), e.result);
        const auto log = Log();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(rig::HexBytes(log[0].header.cdb, log[0].header.cdbLength), e.cdb);
        const devio::ScsiPassThroughHeader header = log[0].header;  // packed: read through a copy
        const std::uint32_t length = header.dataTransferLength;
        EXPECT_EQ(header.dataIn, e.dataIn);
        EXPECT_EQ(length, e.length);
        EXPECT_EQ(header.pathId, 0);
        EXPECT_EQ(header.targetId, 0);
    }
    Bytes buffer = Bytes(65536, 0);
    std::uint8_t* data() { return buffer.data(); }
};

constexpr std::uint8_t kIn = devio::kDataIn;
constexpr std::uint8_t kOut = devio::kDataOut;
constexpr std::uint8_t kNone = devio::kNoData;

TEST_F(ControllerOperations, MemoriesAndLunConfigurationSendTheirTablesCommands) {
    const Expected rows[] = {
        {"ReadCode", [&](Device& d, HandleArray h) { return ReadCode(d, h, kSlot, 0x0010, 0x20, data()); },
         "EE 01 00 00 00 10 01 00 20 00 00 00 00 00 00 00", kIn, 0x20, 1},
        {"ReadData", [&](Device& d, HandleArray h) { return ReadData(d, h, kSlot, 1, 0x0100, 4, data()); },
         "EE 01 00 00 01 00 02 00 04 00 00 00 00 00 00 00", kIn, 4, 1},
        {"WriteData", [&](Device& d, HandleArray h) { return ReadData(d, h, kSlot, 0, 0x0100, 4, data()); },
         "EE 01 00 00 01 00 03 00 04 00 00 00 00 00 00 00", kOut, 4, 1},
        {"ReadXdata", [&](Device& d, HandleArray h) { return ReadXdata(d, h, kSlot, 1, 0x2360, 1, data()); },
         "EE 01 00 00 23 60 04 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteXdata", [&](Device& d, HandleArray h) { return ReadXdata(d, h, kSlot, 7, 0xFF00, 2, data()); },
         "EE 01 00 00 FF 00 05 00 02 00 00 00 00 00 00 00", kOut, 2, 1},
        {"CPUReset", [&](Device& d, HandleArray h) { return CPUReset(d, h, kSlot); },
         "EE 02 00 00 00 00 01 00 00 00 00 00 00 00 00 00", kNone, 0, 1},
        {"ReadDeivceID", [&](Device& d, HandleArray h) { return ReadDeivceID(d, h, kSlot, data()); },
         "EE 02 00 00 00 00 12 00 10 00 00 00 00 00 00 00", kIn, 16, 1},
        {"ReadLUNCONFIG", [&](Device& d, HandleArray h) { return ReadLUNCONFIG(d, h, kSlot, 1, data()); },
         "EE 02 00 00 00 00 88 00 30 00 00 00 00 00 00 00", kIn, 48, 1},
        {"WriteLUNCONFIG", [&](Device& d, HandleArray h) { return ReadLUNCONFIG(d, h, kSlot, 0, data()); },
         "EE 02 00 00 00 00 8A 00 30 00 00 00 00 00 00 00", kOut, 48, 1},
        {"ReadLUNDATA", [&](Device& d, HandleArray h) { return ReadLUNDATA(d, h, kSlot, 1, 0x200, 0x100, data()); },
         "EE 02 00 00 02 00 28 01 00 00 00 00 00 00 00 00", kIn, 0x100, 1},
        {"WriteLUNDATA", [&](Device& d, HandleArray h) { return ReadLUNDATA(d, h, kSlot, 2, 0x200, 0x100, data()); },
         "EE 02 00 00 02 00 2A 01 00 00 00 00 00 00 00 00", kOut, 0x100, 1},
        {"DeviceChange", [&](Device& d, HandleArray h) { return DeviceChange(d, h, kSlot); },
         "EE 65 00 00 00 00 82 00 00 00 00 00 00 00 00 00", kNone, 0, 1},
        {"MediaChange", [&](Device& d, HandleArray h) { return MediaChange(d, h, kSlot); },
         "EE 65 00 00 00 00 83 00 00 00 00 10 00 00 00 00", kNone, 0, 1},
        {"WriteProtect", [&](Device& d, HandleArray h) { return WriteProtect(d, h, kSlot, 0); },
         "EE 65 00 00 00 00 84 00 00 00 00 00 00 00 00 00", kNone, 0, 1},
        {"ReadLunType", [&](Device& d, HandleArray h) { return ReadLunType(d, h, kSlot, 1, 9, data()); },
         "EE 65 00 00 00 00 85 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteLunType", [&](Device& d, HandleArray h) { return ReadLunType(d, h, kSlot, 0, 5, data()); },
         "EE 65 00 00 00 00 86 00 00 00 00 05 00 00 00 00", kNone, 0, 1},
        {"ReadLunNo", [&](Device& d, HandleArray h) { return ReadLunNo(d, h, kSlot, 1, 9, data()); },
         "EE 65 00 00 00 00 87 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteLunNo", [&](Device& d, HandleArray h) { return ReadLunNo(d, h, kSlot, 0, 3, data()); },
         "EE 65 00 00 00 00 88 00 00 00 00 03 00 00 00 00", kNone, 0, 1},
        {"ReadLunID", [&](Device& d, HandleArray h) { return ReadLunID(d, h, kSlot, 1, 9, data()); },
         "EE 65 00 00 00 00 89 00 05 00 00 00 00 00 00 00", kIn, 5, 1},
        {"WriteLunID", [&](Device& d, HandleArray h) { return ReadLunID(d, h, kSlot, 0, 0x42, data()); },
         "EE 65 00 00 00 00 8A 00 00 00 00 42 00 00 00 00", kNone, 0, 1},
        {"LogLunIndex", [&](Device& d, HandleArray h) { return LogLunIndex(d, h, kSlot, data()); },
         "EE 65 00 00 00 00 8C 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"HidLunIndex", [&](Device& d, HandleArray h) { return HidLunIndex(d, h, kSlot, data()); },
         "EE 65 00 00 00 00 8D 00 0A 00 00 00 00 00 00 00", kIn, 10, 1},
    };
    for (const Expected& row : rows) Check(row);
}

TEST_F(ControllerOperations, SecuritySettingsAndFlashCommandsSendTheirTablesCommands) {
    const Expected rows[] = {
        {"GetFWKey", [&](Device& d, HandleArray h) { return GetFWKey(d, h, kSlot, 3, data()); },
         "EE 66 00 00 00 00 80 00 01 00 00 03 00 00 00 00", kIn, 1, 1},
        {"InitPassWord", [&](Device& d, HandleArray h) { return InitPassWord(d, h, kSlot, data()); },
         "EE 66 00 00 00 00 85 01 FF 00 00 00 00 00 00 00", kOut, 511, 1},
        {"GetPassWord", [&](Device& d, HandleArray h) { return GetPassWord(d, h, kSlot, data()); },
         "EE 66 00 00 00 00 86 01 FF 00 00 00 00 00 00 00", kIn, 511, 1},
        {"VerifyPassWord", [&](Device& d, HandleArray h) { return VerifyPassWord(d, h, kSlot, data()); },
         "EE 66 00 00 00 00 87 01 FF 00 00 00 00 00 00 00", kOut, 511, 1},
        {"CheckSecurity", [&](Device& d, HandleArray h) { return CheckSecurity(d, h, kSlot, 1, data()); },
         "EE 66 00 00 00 00 88 00 01 00 00 01 00 00 00 00", kIn, 1, 1},
        {"ClearCache", [&](Device& d, HandleArray h) { return ClearCache(d, h, kSlot); },
         "EE 6F 00 00 00 00 00 00 00 00 00 00 00 00 00 00", kNone, 0, 1},
        {"ReadEEPROM",
         [&](Device& d, HandleArray h) { return ReadEEPROM(d, h, kSlot, 1, 0x12, 0x34, 0x10, 0x20, data()); },
         "EE 80 00 00 00 10 80 00 20 00 00 01 12 34 00 00", kIn, 0x20, 1},
        {"WriteEEPROM",
         [&](Device& d, HandleArray h) { return ReadEEPROM(d, h, kSlot, 2, 0x12, 0x34, 0x10, 0x20, data()); },
         "EE 80 00 00 00 10 80 00 20 00 00 02 12 34 00 00", kOut, 0x20, 1},
        {"ReadFW", [&](Device& d, HandleArray h) { return ReadFW(d, h, kSlot, 1, 7, 0x1000, 0x100, data()); },
         "EE 80 00 00 10 00 81 01 00 00 00 01 00 00 00 00", kIn, 0x100, 1},
        {"WriteFW", [&](Device& d, HandleArray h) { return ReadFW(d, h, kSlot, 0, 7, 0x1000, 0x100, data()); },
         "EE 80 00 00 10 00 81 01 00 00 00 00 00 07 00 00", kOut, 0x100, 1},
        {"BIST", [&](Device& d, HandleArray h) { return BIST(d, h, kSlot, data()); },
         "EE 80 00 00 00 00 82 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"DeviceConnect", [&](Device& d, HandleArray h) { return DeviceConnect(d, h, kSlot, 1); },
         "EE 80 00 00 00 00 83 00 00 00 00 01 00 00 00 00", kNone, 0, 1},
        {"Erase", [&](Device& d, HandleArray h) { return Erase(d, h, kSlot); },
         "EE 80 00 00 00 00 84 00 00 00 00 00 00 00 00 00", kNone, 0, 1},
        {"ReadPartition", [&](Device& d, HandleArray h) { return ReadPartition(d, h, kSlot, 1, 0x200, 0x40, data()); },
         "EE 80 00 00 02 00 85 00 40 00 00 00 00 00 00 00", kIn, 0x40, 1},
        {"WritePartition", [&](Device& d, HandleArray h) { return ReadPartition(d, h, kSlot, 0, 0x200, 0x40, data()); },
         "EE 80 00 00 02 00 86 00 40 00 00 00 00 00 00 00", kOut, 0x40, 1},
        {"ReadButton", [&](Device& d, HandleArray h) { return ReadButton(d, h, kSlot, 1, 2, data()); },
         "EE 80 00 00 00 00 87 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteButton", [&](Device& d, HandleArray h) { return ReadButton(d, h, kSlot, 0, 2, data()); },
         "EE 80 00 00 00 00 88 00 01 00 00 02 00 00 00 00", kOut, 1, 1},
        {"ReadFlashID", [&](Device& d, HandleArray h) { return ReadFlashID(d, h, kSlot, 2, data()); },
         "EE 90 00 00 00 00 82 00 05 00 00 02 00 00 00 00", kIn, 64, 1},
        {"ReadSYSReady", [&](Device& d, HandleArray h) { return ReadSYSReady(d, h, kSlot, 1, 9, data()); },
         "EE 90 00 00 00 00 85 00 00 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteSYSReady", [&](Device& d, HandleArray h) { return ReadSYSReady(d, h, kSlot, 0, 1, data()); },
         "EE 90 00 00 00 00 86 00 00 00 00 01 00 00 00 00", kNone, 0, 1},
        {"ReadSYSAddress", [&](Device& d, HandleArray h) { return ReadSYSAddress(d, h, kSlot, 1, data()); },
         "EE 90 00 00 00 00 8C 00 00 00 00 00 00 00 00 00", kIn, 64, 1},
        {"WriteSYSAddress", [&](Device& d, HandleArray h) { return ReadSYSAddress(d, h, kSlot, 0, data()); },
         "EE 90 00 00 00 00 8D 00 00 00 00 00 00 00 00 00", kOut, 64, 1},
        {"ReadFlashMethod", [&](Device& d, HandleArray h) { return ReadFlashMethod(d, h, kSlot, 1, data()); },
         "EE 90 00 00 00 00 8E 00 00 00 00 00 00 00 00 00", kIn, 64, 1},
        {"WriteFlashMethod", [&](Device& d, HandleArray h) { return ReadFlashMethod(d, h, kSlot, 0, data()); },
         "EE 90 00 00 00 00 8F 00 00 00 00 00 00 00 00 00", kOut, 64, 1},
    };
    for (const Expected& row : rows) Check(row);
}

// Spare areas, block status and marks, bad blocks and in-system programming are not emulated: the
// enclosure refuses them, but the blocks must still be the tables'.
TEST_F(ControllerOperations, FlashMaintenanceCommandsSendTheirTablesCommands) {
    const Expected rows[] = {
        {"EndSgmt", [&](Device& d, HandleArray h) { return EndSgmt(d, h, kSlot); },
         "EE 9F 00 00 00 00 80 00 00 00 00 00 00 00 00 00", kNone, 0, 0},
        {"InitSgmt", [&](Device& d, HandleArray h) { return InitSgmt(d, h, kSlot, 0x01, 0x02, 0x03, 4096, data()); },
         "EE 9F 00 01 02 03 81 00 08 00 00 00 00 00 00 00", kOut, 4096, 0},
        {"ReadSpare",
         [&](Device& d, HandleArray h) { return ReadSpare(d, h, kSlot, 1, 0x11, 0x22, 0x1234, 16, data()); },
         "EE 95 00 00 12 34 88 00 10 11 22 00 00 00 00 00", kIn, 16, 0},
        {"WriteSpare",
         [&](Device& d, HandleArray h) { return ReadSpare(d, h, kSlot, 0, 0x11, 0x22, 0x1234, 16, data()); },
         "EE 95 00 00 12 34 8A 00 10 11 22 00 00 00 00 00", kOut, 16, 0},
        {"BlockAccess write",
         [&](Device& d, HandleArray h) {
             return BlockAccess(d, h, kSlot, 0, 3, 0x02, 0x11223344, 0x5566, 0x100, 1024, data());
         },
         "EE 95 00 00 01 00 8B 03 02 02 44 33 22 11 66 55", kOut, 1024, 0},
        {"ReadBlockStatus", [&](Device& d, HandleArray h) { return ReadBlockStatus(d, h, kSlot, 0x100, data()); },
         "EE 95 00 00 01 00 8E 00 00 00 00 00 00 00 00 00", kIn, 1, 0},
        {"ReadSts", [&](Device& d, HandleArray h) { return ReadSts(d, h, kSlot, 0x100, data()); },
         "EE 50 00 00 01 00 70 00 00 00 00 70 00 00 00 00", kIn, 1, 0},
        {"MarkBad", [&](Device& d, HandleArray h) { return MarkBad(d, h, kSlot, 0x100, 1, 2, 3); },
         "EE 50 00 00 01 00 80 00 01 00 00 02 03 00 00 00", kIn, 0, 0},
        {"CheckBad", [&](Device& d, HandleArray h) { return CheckBad(d, h, kSlot, 0x100, 1, 2, 3, 4, 8, data()); },
         "EE 51 00 00 01 00 00 00 08 01 02 03 04 00 00 00", kIn, 8, 0},
        {"EraseSys", [&](Device& d, HandleArray h) { return EraseSys(d, h, kSlot, 0x100, 1, 2, 3, 4, 8, data()); },
         "EE 51 00 00 01 00 01 00 08 01 02 03 04 00 00 00", kIn, 8, 0},
        // The button read and write as raw test commands: the enclosure answers those.
        {"ReadTestCmd",
         [&](Device& d, HandleArray h) { return ReadTestCmd(d, h, kSlot, 1, 0x80EE, 0, 0x00010087, 0, 0, data()); },
         "EE 80 00 00 00 00 87 00 01 00 00 00 00 00 00 00", kIn, 1, 1},
        {"WriteTestCmd",
         [&](Device& d, HandleArray h) { return ReadTestCmd(d, h, kSlot, 0, 0x80EE, 0, 0x00010088, 0, 0, data()); },
         "EE 80 00 00 00 00 88 00 01 00 00 00 00 00 00 00", kOut, 1, 1},
    };
    for (const Expected& row : rows) Check(row);
}

TEST_F(ControllerOperations, TracesNameTheReadOrTheWrite) {
    ReadData(*device, handles.data(), kSlot, 1, 0, 1, data());
    ReadData(*device, handles.data(), kSlot, 2, 0, 1, data());
    ReadButton(*device, handles.data(), kSlot, 0, 2, data());
    ReadSYSAddress(*device, handles.data(), kSlot, 0, data());
    BlockAccess(*device, handles.data(), kSlot, 1, 0, 0, 0, 0, 0, 512, data());
    EXPECT_EQ(tracer.Joined(),
              "ReadData()|WriteData()|WriteButton()| USDSettingWrite()|WriteSYSAddress()|"
              " UFDSettingWrite()|")
        << "the block access traces nothing itself";
}

TEST_F(ControllerOperations, WritesAreKeptByTheEnclosureAcrossPrograms) {
    Bytes bytes = {0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(ReadData(*device, handles.data(), kSlot, 0, 0x0040, 4, bytes.data()), 1);
    ASSERT_EQ(ReadXdata(*device, handles.data(), kSlot, 0, 0x1000, 4, bytes.data()), 1);
    Bytes config(48);
    for (std::size_t i = 0; i < config.size(); ++i) config[i] = static_cast<std::uint8_t>(i + 1);
    ASSERT_EQ(ReadLUNCONFIG(*device, handles.data(), kSlot, 0, config.data()), 1);
    ASSERT_EQ(ReadLUNDATA(*device, handles.data(), kSlot, 0, 0x8000, 4, bytes.data()), 1);
    ASSERT_EQ(ReadLunType(*device, handles.data(), kSlot, 0, 0x07, nullptr), 1);
    ASSERT_EQ(ReadLunNo(*device, handles.data(), kSlot, 0, 0x02, nullptr), 1);
    ASSERT_EQ(ReadLunID(*device, handles.data(), kSlot, 0, 0x33, nullptr), 1);
    ASSERT_EQ(ReadPartition(*device, handles.data(), kSlot, 0, 0x100, 4, bytes.data()), 1);
    Bytes area(64, 0xA5);
    ASSERT_EQ(ReadSYSAddress(*device, handles.data(), kSlot, 0, area.data()), 1);
    ASSERT_EQ(ReadSYSReady(*device, handles.data(), kSlot, 0, 0x5A, nullptr), 1);
    ASSERT_EQ(DeviceConnect(*device, handles.data(), kSlot, 0x01), 1);
    ASSERT_EQ(WriteProtect(*device, handles.data(), kSlot, 1), 1);

    // Another program opens the same enclosure and reads it all back.
    auto other = Program();
    ASSERT_TRUE(other);
    KeptTexts otherTracer;
    Device second{*other, otherTracer, clock, console};
    std::array<devio::DeviceHandle, 256> otherHandles{};
    ASSERT_EQ(OpenDiskPathBySymbolicName(second, otherHandles.data(), 0, rig_test::kFirstInterface), 1);
    Bytes got(64, 0);
    ASSERT_EQ(ReadData(second, otherHandles.data(), 0, 1, 0x0040, 4, got.data()), 1);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), bytes);
    ASSERT_EQ(ReadXdata(second, otherHandles.data(), 0, 1, 0x1000, 4, got.data()), 1);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), bytes);
    ASSERT_EQ(ReadLUNCONFIG(second, otherHandles.data(), 0, 1, got.data()), 1);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 48), config);
    ASSERT_EQ(ReadLUNDATA(second, otherHandles.data(), 0, 1, 0x8000, 4, got.data()), 1);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), bytes);
    ASSERT_EQ(ReadLunType(second, otherHandles.data(), 0, 1, 0, got.data()), 1);
    EXPECT_EQ(got[0], 0x07);
    ASSERT_EQ(ReadLunNo(second, otherHandles.data(), 0, 1, 0, got.data()), 1);
    EXPECT_EQ(got[0], 0x02);
    ASSERT_EQ(ReadLunID(second, otherHandles.data(), 0, 1, 0, got.data()), 1);
    EXPECT_EQ(got[0], 0x33);
    ASSERT_EQ(ReadPartition(second, otherHandles.data(), 0, 1, 0x100, 4, got.data()), 1);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), bytes);
    ASSERT_EQ(ReadSYSAddress(second, otherHandles.data(), 0, 1, got.data()), 1);
    EXPECT_EQ(got, area);
    ASSERT_EQ(ReadSYSReady(second, otherHandles.data(), 0, 1, 0, got.data()), 1);
    EXPECT_EQ(got[0], 0x5A);

    const rig::DeviceState state = State();
    EXPECT_EQ(state.connect, 0x01);
    EXPECT_TRUE(state.writeProtect);
    // Erase clears the partition area.
    ASSERT_EQ(Erase(second, otherHandles.data(), 0), 1);
    EXPECT_EQ(State().partition, Bytes(rig::kPartitionAreaSize, 0));
}

TEST_F(ControllerOperations, IdentifiersComeFromTheEnclosure) {
    Bytes id(64, 0);
    ASSERT_EQ(ReadDeivceID(*device, handles.data(), kSlot, id.data()), 1);
    EXPECT_EQ(std::string(id.begin(), id.begin() + 16), "QKTR4327RIG00000");
    ASSERT_EQ(ReadFlashID(*device, handles.data(), kSlot, 0, id.data()), 1);
    const rig::DeviceState state = State();
    EXPECT_EQ(id, Bytes(state.flashId.begin(), state.flashId.end()));
    ASSERT_EQ(ReadCode(*device, handles.data(), kSlot, 0, 4, id.data()), 1);
}

// The caller's blocks go to the enclosure and come back; the component adds nothing of its own.
TEST_F(ControllerOperations, PasswordBlocksAreMovedAndCheckedByTheEnclosureOnly) {
    Bytes password(511, 0);
    const std::string secret = "correct horse battery staple";
    std::copy(secret.begin(), secret.end(), password.begin());
    ASSERT_EQ(InitPassWord(*device, handles.data(), kSlot, password.data()), 1);
    std::uint8_t status = 0;
    ASSERT_EQ(CheckSecurity(*device, handles.data(), kSlot, 0, &status), 1);
    EXPECT_EQ(status, rig::kSecurityPasswordSet | rig::kSecurityVerified);

    ASSERT_EQ(CPUReset(*device, handles.data(), kSlot), 1);
    ASSERT_EQ(CheckSecurity(*device, handles.data(), kSlot, 0, &status), 1);
    EXPECT_EQ(status, rig::kSecurityPasswordSet) << "a reset asks for the password again";

    Bytes wrong = password;
    wrong[0] ^= 1;
    EXPECT_EQ(VerifyPassWord(*device, handles.data(), kSlot, wrong.data()), 0);
    EXPECT_EQ(VerifyPassWord(*device, handles.data(), kSlot, password.data()), 1);
    ASSERT_EQ(CheckSecurity(*device, handles.data(), kSlot, 0, &status), 1);
    EXPECT_EQ(status, rig::kSecurityPasswordSet | rig::kSecurityVerified);

    Bytes read(511, 0xFF);
    ASSERT_EQ(GetPassWord(*device, handles.data(), kSlot, read.data()), 1);
    EXPECT_EQ(read, password);
    EXPECT_EQ(tracer.Joined().find("correct horse"), std::string::npos);
    EXPECT_EQ(console.Joined(), "");
}

TEST_F(ControllerOperations, ButtonWriteCarriesTheValueInTheBlockAndTheData) {
    ASSERT_EQ(Rigctl({"press"}), 0);
    std::uint8_t button = 0;
    ASSERT_EQ(ReadButton(*device, handles.data(), kSlot, 1, 0, &button), 1);
    EXPECT_EQ(button & devio::bridge::kButtonReleasedBit, 0);
    ASSERT_EQ(ReadButton(*device, handles.data(), kSlot, 0, 2, &button), 1);
    const auto log = Log();
    EXPECT_EQ(log.back().header.cdb[11], 2);
    EXPECT_EQ(log.back().dataOut, Bytes{2});
    EXPECT_FALSE(State().buttonPressed) << "the value 2 acknowledges the press";
}

TEST_F(ControllerOperations, CisBlockAccessClearsTheModeBitForTheAccessAndRestoresIt) {
    Bytes block(1024, 0);
    const std::uint32_t cis = 'C' | ('I' << 8) | ('S' << 16) | (0x7Fu << 24);  // the top byte is not looked at
    BlockAccess(*device, handles.data(), kSlot, 1, 3, 0x01, cis, 0, 0x100, 1024, block.data());
    EXPECT_EQ(Cdbs(), (std::vector<std::string>{
                          "EE 01 00 00 23 60 04 00 01 00 00 00 00 00 00 00",
                          "EE 01 00 00 23 60 05 00 01 00 00 00 00 00 00 00",
                          "EE 95 00 00 01 00 89 03 02 81 00 01 00 00 00 00",
                          "EE 01 00 00 23 60 05 00 01 00 00 00 00 00 00 00",
                      }));
    const auto log = Log();
    EXPECT_EQ(log[1].dataOut, Bytes{0x00}) << "bit 0 cleared for the access";
    EXPECT_EQ(log[3].dataOut, Bytes{0x01}) << "the byte as it was found";
    EXPECT_EQ(State().xdataMemory[0x2360], 0x01);

    // Without the tag nothing but the block command goes out, and bit 7 stays as given.
    ClearLog();
    BlockAccess(*device, handles.data(), kSlot, 1, 3, 0x01, 0x00534944, 0, 0x100, 1024, block.data());
    EXPECT_EQ(Cdbs(), std::vector<std::string>{"EE 95 00 00 01 00 89 03 02 01 00 00 00 00 00 00"});

    // A mode byte that cannot be read is not written with a guess.
    ClearLog();
    ASSERT_EQ(Rigctl({"fail", "EE", "01", "00", "00", "23", "60", "04"}), 0);
    ClearLog();
    BlockAccess(*device, handles.data(), kSlot, 1, 3, 0x01, cis, 0, 0x100, 1024, block.data());
    const auto refused = Cdbs();
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(refused[1], "EE 95 00 00 01 00 89 03 02 81 00 01 00 00 00 00");
    EXPECT_EQ(State().xdataMemory[0x2360], 0x01);
}

TEST_F(ControllerOperations, NoHandleArraySendsNothing) {
    std::uint8_t byte = 0x77;
    EXPECT_EQ(ReadButton(*device, nullptr, kSlot, 1, 0, &byte), 0);
    EXPECT_EQ(BlockAccess(*device, nullptr, kSlot, 1, 0, 0, 0x00534943, 0, 0, 512, &byte), 0);
    EXPECT_EQ(InitPassWord(*device, nullptr, kSlot, &byte), 0);
    EXPECT_EQ(byte, 0x77);
    EXPECT_TRUE(Log().empty());
    // A closed slot fails at the command without touching the buffer.
    handles[kSlot] = devio::kInvalidDeviceHandle;
    EXPECT_EQ(GetFWKey(*device, handles.data(), kSlot, 0, &byte), 0);
    EXPECT_EQ(byte, 0x77);
}

}  // namespace
}  // namespace corelink_test
