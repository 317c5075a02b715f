// Commands the simulated controller is told to fail: the pattern syntax, the rig file key and
// rigctl's switch, and what a failing command does (and does not do) to the device.
#include "rig/core/fault_rules.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>

#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/core/rig_file_parser.h"
#include "rig/core/state_file.h"
#include "rig_fixture.h"

namespace rig_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::array<std::uint8_t, 16> CdbOf(const Bytes& bytes) {
    std::array<std::uint8_t, 16> cdb{};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 16), cdb.begin());
    return cdb;
}

TEST(FaultRule, PatternMatchesTheLeadingCdbBytesWithWildcards) {
    std::string error;
    const auto rule = rig::ParseFaultRule("  EE 80 00 00 10 00 81 .. .. .. .. 01 ", error);
    ASSERT_TRUE(rule) << error;
    EXPECT_EQ(rule->answer, rig::FaultAnswer::CheckCondition);
    EXPECT_EQ(rule->length, 12);
    EXPECT_TRUE(rule->Matches(CdbOf(VendorCdb(0x80, 0x81, 0x1000, 4096, 1))));
    EXPECT_FALSE(rule->Matches(CdbOf(VendorCdb(0x80, 0x81, 0x2000, 4096, 1)))) << "another piece";
    EXPECT_FALSE(rule->Matches(CdbOf(VendorCdb(0x80, 0x81, 0x1000, 4096, 0)))) << "the write of the piece";
    EXPECT_EQ(rig::FormatFaultRule(*rule), "check-condition EE 80 00 00 10 00 81 .. .. .. .. 01");

    const auto memory = rig::ParseFaultRule("out-of-memory ee 8b", error);
    ASSERT_TRUE(memory) << error;
    EXPECT_EQ(memory->answer, rig::FaultAnswer::OutOfMemory);
    EXPECT_TRUE(memory->Matches(CdbOf(VendorCdb(0x8B, 0x01, 0, 4))));
    EXPECT_EQ(rig::FormatFaultRule(*memory), "out-of-memory EE 8B");
    EXPECT_TRUE(memory->Valid());

    const auto shortReply = rig::ParseFaultRule("short-reply EE 95 .. .. .. .. 89", error);
    ASSERT_TRUE(shortReply) << error;
    EXPECT_EQ(shortReply->answer, rig::FaultAnswer::ShortReply);
    EXPECT_EQ(rig::FormatFaultRule(*shortReply), "short-reply EE 95 .. .. .. .. 89");
    EXPECT_TRUE(shortReply->Valid());

    for (const char* bad : {"", "out-of-memory", "EE 8", "EE 8BB", "EE xx", "EE 80 .. .. .. .. .. .. .. .. .. .. .. .. .. .. 01",
                            "memory EE"}) {
        SCOPED_TRACE(bad);
        error.clear();
        EXPECT_FALSE(rig::ParseFaultRule(bad, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(FaultRule, RigFileKeyGivesTheInitialRules) {
    const std::string head = std::string("[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\nsectors = 8\ninterface = ") +
                             kFirstInterface + "\n";
    const auto parsed = rig::ParseRigFile(head + "fail = EE 80 .. .. .. .. 80\nfail = out-of-memory EE 8B\n", "t.rig");
    ASSERT_TRUE(parsed.config) << parsed.error;
    const rig::EnclosureConfig& enclosure = parsed.config->enclosures[0];
    EXPECT_EQ(rig::FormatFaultRule(enclosure.faults[0]), "check-condition EE 80 .. .. .. .. 80");
    EXPECT_EQ(rig::FormatFaultRule(enclosure.faults[1]), "out-of-memory EE 8B");
    EXPECT_FALSE(enclosure.faults[2].Active());
    EXPECT_EQ(rig::DefaultState(enclosure, 0).faults, enclosure.faults);

    const auto bad = rig::ParseRigFile(head + "fail = EE zz\n", "t.rig");
    EXPECT_FALSE(bad.config);
    EXPECT_NE(bad.error.find("line 6: 'fail': 'zz' is neither a hex byte"), std::string::npos) << bad.error;
    const auto many = rig::ParseRigFile(head + "fail = 00\nfail = 01\nfail = 02\nfail = 03\nfail = 04\n", "t.rig");
    EXPECT_FALSE(many.config);
    EXPECT_NE(many.error.find("more than 4 failing commands"), std::string::npos) << many.error;
}

TEST(FaultRule, StateRecordsKeepTheRulesAndRefuseMalformedOnes) {
    rig::DeviceState state;
    std::string error;
    ASSERT_TRUE(rig::AddFaultRule(state.faults, *rig::ParseFaultRule("out-of-memory EE .. 00", error)));
    std::vector<std::uint8_t> record;
    rig::SerializeState(state, record);
    ASSERT_EQ(record.size(), rig::StateRecordSize());
    rig::DeviceState read;
    ASSERT_TRUE(rig::DeserializeState(record, read));
    EXPECT_EQ(read, state);

    const std::size_t firstRule =
        record.size() - rig::StateVersion3Bytes() - rig::kMaxFaultRules * (2 + 2 * rig::kFaultPatternBytes);
    std::vector<std::uint8_t> damaged = record;
    damaged[firstRule] = 7;  // no such answer
    EXPECT_FALSE(rig::DeserializeState(damaged, read));
    damaged = record;
    damaged[firstRule + 1] = 17;  // longer than a CDB
    EXPECT_FALSE(rig::DeserializeState(damaged, read));
}

class FailingCommandTest : public RigTest {
protected:
    int Rigctl(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), rigPath);
        return rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
    }
    std::vector<rig::LogRecord> Log() {
        const std::string bytes = ReadTextFile(folder.File("demo.log"));
        return rig::ParseCommandLog(Bytes(bytes.begin(), bytes.end())).records;
    }

    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(FailingCommandTest, NamedCommandFailsWithoutChangingTheDevice) {
    auto program = Program();
    const auto handle = OpenPath(*program, kFirstInterface);
    const Bytes before = SendThrough(*program, handle, VendorRead(0x80, 0x80, 0, 256, 1)).data;
    ASSERT_EQ(before.size(), 256u);

    ASSERT_EQ(Rigctl({"fail", "EE", "80", "..", "..", "..", "..", "80", "..", "..", "..", "..", "00"}), 0) << err.str();
    const Sent write = SendThrough(*program, handle, VendorWrite(0x80, 0x80, 0, Bytes(256, 0), 0));
    ASSERT_TRUE(write.delivered);
    EXPECT_EQ(write.status, 2);
    EXPECT_EQ(SendThrough(*program, handle, VendorRead(0x80, 0x80, 0, 256, 1)).data, before)
        << "the EEPROM kept its bytes; its read still works";
    EXPECT_EQ(Log().back().status, 0);
    EXPECT_EQ(Log()[Log().size() - 2].status, 2) << "the failed command is logged with its status";

    ASSERT_EQ(Rigctl({"state"}), 0);
    EXPECT_NE(out.str().find("failing         check-condition EE 80 .. .. .. .. 80 .. .. .. .. 00"),
              std::string::npos)
        << out.str();
    ASSERT_EQ(Rigctl({"state", "--enclosure", "1"}), 0);
    EXPECT_EQ(out.str().find("failing"), std::string::npos) << "the other enclosure fails nothing";

    ASSERT_EQ(Rigctl({"fail", "off"}), 0);
    EXPECT_EQ(SendThrough(*program, handle, VendorWrite(0x80, 0x80, 0, Bytes(256, 0), 0)).status, 0);
}

TEST_F(FailingCommandTest, SenseDataSaysHardwareError) {
    auto program = Program();
    const auto handle = OpenPath(*program, kFirstInterface);
    ASSERT_EQ(Rigctl({"fail", "EE", "8B"}), 0) << err.str();
    Request request = VendorRead(0x8B, 0x01, 0, 4);
    const Sent sent = SendThrough(*program, handle, request);
    EXPECT_EQ(sent.status, 2);
    EXPECT_EQ(request.Header().dataTransferLength, 0u) << "no data moves";
    EXPECT_EQ(request.block->sense[2], 0x04);
    EXPECT_EQ(request.block->sense[12], 0x44);
}

TEST_F(FailingCommandTest, OutOfMemoryThrowsInTheCallerAndLeavesNoTrace) {
    auto program = Program();
    const auto handle = OpenPath(*program, kFirstInterface);
    ASSERT_EQ(Rigctl({"fail", "out-of-memory", "EE", "80", "..", "..", "..", "..", "87"}), 0) << err.str();
    const std::size_t logged = Log().size();
    Request request = VendorRead(0x80, 0x87, 0, 1);
    EXPECT_THROW(SendThrough(*program, handle, request), std::bad_alloc);
    EXPECT_EQ(Log().size(), logged);
    EXPECT_EQ(SendThrough(*program, handle, VendorRead(0x80, 0x80, 0, 1, 1)).status, 0) << "the lock was released";
}

// A state file written before the rules existed keeps its devices and gets rules that fail nothing.
TEST_F(FailingCommandTest, StateFileWithoutRulesIsUpgradedInPlace) {
    const std::size_t rulesBytes = rig::kMaxFaultRules * (2 + 2 * rig::kFaultPatternBytes);
    const std::size_t oldRecord = rig::StateRecordSize() - rig::StateVersion3Bytes() - rulesBytes;
    std::string error;
    auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
    ASSERT_TRUE(machine) << error;
    std::string file("RIGSTATE", 8);
    const auto little = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file += static_cast<char>(value >> (8 * i));
    };
    little(1);
    little(static_cast<std::uint32_t>(oldRecord));
    little(2);
    little(2);  // enclosure 1 unplugged
    for (std::size_t i = 0; i < 2; ++i) {
        rig::DeviceState state = rig::DefaultState(machine->Config().enclosures[i], i);
        state.buttonPressed = i == 0;
        std::vector<std::uint8_t> record;
        rig::SerializeState(state, record);
        file.append(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(oldRecord));
    }
    WriteTextFile(machine->Config().statePath, file);

    ASSERT_EQ(Rigctl({"state"}), 0) << err.str();
    EXPECT_NE(out.str().find("button          pressed"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("failing"), std::string::npos);
    ASSERT_EQ(Rigctl({"state", "--enclosure", "1"}), 0) << err.str();
    EXPECT_NE(out.str().find("USB             unplugged"), std::string::npos) << out.str();
    const std::string upgraded = ReadTextFile(machine->Config().statePath);
    EXPECT_EQ(upgraded[8], 3) << "the header names the current version";
    EXPECT_EQ(upgraded.size(), rig::kStateHeaderSize + 2 * rig::StateRecordSize());
    ASSERT_EQ(Rigctl({"fail", "EE", "8B"}), 0) << err.str();
}

TEST_F(FailingCommandTest, RigctlRefusesBadRulesAndAFifth) {
    EXPECT_EQ(Rigctl({"fail"}), 2);
    EXPECT_EQ(Rigctl({"fail", "EE", "8G"}), 1);
    EXPECT_NE(err.str().find("'8G' is neither a hex byte"), std::string::npos) << err.str();
    for (const char* code : {"01", "02", "03", "04"}) ASSERT_EQ(Rigctl({"fail", "EE", code}), 0) << err.str();
    EXPECT_EQ(Rigctl({"fail", "EE", "05"}), 1);
    EXPECT_NE(err.str().find("already fails 4 commands"), std::string::npos) << err.str();
    EXPECT_EQ(Rigctl({"fail", "EE", "05", "--enclosure", "1"}), 0) << "rules belong to one enclosure";
    ASSERT_EQ(Rigctl({"reset"}), 0);
    EXPECT_EQ(Rigctl({"fail", "EE", "05"}), 0) << "reset clears them";
}

}  // namespace
}  // namespace rig_test
