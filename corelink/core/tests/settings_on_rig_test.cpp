// The suspend and timer settings on the simulated enclosure when one of the commands they rely
// on fails: the enclosure's EEPROM and firmware area must come out exactly as they were.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corelink/core/device_operations.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/tests/rig_fixture.h"

namespace {

class NullTracer final : public corelink::Tracer {
public:
    void Trace(const char*) override {}
};

class SettingsOnRig : public rig_test::RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        stack = Program();
        ASSERT_TRUE(stack);
        device = std::make_unique<corelink::Device>(corelink::Device{*stack, tracer, clock});
        handles.fill(devio::kInvalidDeviceHandle);
        ASSERT_EQ(corelink::OpenDiskPathBySymbolicName(*device, handles.data(), kSlot, rig_test::kFirstInterface), 1);
    }

    int Rigctl(std::vector<std::string> args) {
        std::ostringstream out, err;
        args.insert(args.begin(), rigPath);
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
        EXPECT_EQ(status, 0) << err.str();
        return status;
    }
    rig::DeviceState State() {
        rig::DeviceState state;
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
        EXPECT_TRUE(machine && machine->ReadState(0, state, error)) << error;
        return state;
    }
    std::vector<rig::LogRecord> Log() {
        const std::string bytes = rig_test::ReadTextFile(folder.File("demo.log"));
        return rig::ParseCommandLog(std::vector<std::uint8_t>(bytes.begin(), bytes.end())).records;
    }

    static constexpr std::uint8_t kSlot = 2;
    std::unique_ptr<rig::RigDeviceStack> stack;
    NullTracer tracer;
    corelink::ManualClock clock;
    std::unique_ptr<corelink::Device> device;
    std::array<devio::DeviceHandle, 256> handles{};
};

// The reads a settings change depends on, as rigctl patterns: the power information, the six
// pieces of the firmware area and the EEPROM.
std::vector<std::string> ReadPatterns() {
    std::vector<std::string> patterns = {"EE 8B .. .. .. .. 01"};
    for (unsigned piece = 0; piece < 6; ++piece) {
        char text[64];
        std::snprintf(text, sizeof text, "EE 80 00 00 %02X 00 81 .. .. .. .. 01", piece * 0x10);
        patterns.push_back(text);
    }
    patterns.push_back("EE 80 .. .. .. .. 80 .. .. .. .. 01");
    return patterns;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words{"fail"};
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

TEST_F(SettingsOnRig, AFailedReadLeavesEepromAndFirmwareUntouched) {
    const rig::DeviceState before = State();
    for (const std::string& pattern : ReadPatterns()) {
        SCOPED_TRACE(pattern);
        ASSERT_EQ(Rigctl(Words(pattern)), 0);
        const std::size_t logged = Log().size();
        EXPECT_EQ(corelink::EnableSuspned_USD(*device, handles.data(), kSlot, 1), 0);
        EXPECT_EQ(corelink::SetTimer_USD(*device, handles.data(), kSlot, 0x012C), 0);
        const std::vector<rig::LogRecord> log = Log();
        for (std::size_t i = logged; i < log.size(); ++i) {
            EXPECT_EQ(log[i].header.dataIn, devio::kDataIn) << "command " << i << " is not a read";
        }
        const rig::DeviceState after = State();
        EXPECT_EQ(after.eeprom, before.eeprom);
        EXPECT_EQ(after.firmware, before.firmware);
        EXPECT_EQ(after.suspend, before.suspend);
        EXPECT_EQ(after.timerValue2, before.timerValue2);
        ASSERT_EQ(Rigctl({"fail", "off"}), 0);
    }

    // With every read answering the change goes through.
    EXPECT_EQ(corelink::SetTimer_USD(*device, handles.data(), kSlot, 0x012C), 1);
    const rig::DeviceState changed = State();
    EXPECT_EQ(changed.eeprom[250], 0x01);
    EXPECT_EQ(changed.eeprom[251], 0x2C);
    EXPECT_EQ(rig::EepromWordSum(changed.eeprom), 0);
    EXPECT_EQ(changed.firmware, before.firmware);
}

TEST_F(SettingsOnRig, ARefusedPowerCommandWritesNothingBack) {
    const rig::DeviceState before = State();
    ASSERT_EQ(Rigctl(Words("EE 8B .. .. .. .. 02")), 0);
    EXPECT_EQ(corelink::EnableSuspned_USD(*device, handles.data(), kSlot, 1), 0);
    const rig::DeviceState after = State();
    EXPECT_EQ(after.eeprom, before.eeprom) << "the switch byte stays off";
    EXPECT_EQ(after.suspend, false);
    EXPECT_EQ(Log().back().status, 2) << "the power command was the last one sent";
}

}  // namespace
