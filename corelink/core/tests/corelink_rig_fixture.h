#pragma once
// The component's operations on the simulated enclosure: a rig of two enclosures (rig_fixture.h),
// a program's device stack on it with an opened disk in one slot, a tracer and a printer that
// keep what they are given, a clock that never sleeps, and readers for the rig's command log and
// device state.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "corelink/core/device_operations.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/tests/rig_fixture.h"

namespace corelink_test {

class KeptTexts final : public corelink::Tracer {
public:
    void Trace(const char* text) override { texts.emplace_back(text); }
    std::string Joined() const {
        std::string all;
        for (const std::string& text : texts) all += text + "|";
        return all;
    }
    std::vector<std::string> texts;
};

class CorelinkOnRig : public rig_test::RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        stack = Program();
        ASSERT_TRUE(stack);
        device = std::make_unique<corelink::Device>(corelink::Device{*stack, tracer, clock, console});
        handles.fill(devio::kInvalidDeviceHandle);
        ASSERT_EQ(corelink::OpenDiskPathBySymbolicName(*device, handles.data(), kSlot, rig_test::kFirstInterface), 1);
        ClearLog();
        tracer.texts.clear();
    }

    int Rigctl(std::vector<std::string> args) {
        std::ostringstream out, err;
        args.insert(args.begin(), rigPath);
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
        EXPECT_EQ(status, 0) << err.str();
        rigctlOut = out.str();
        return status;
    }
    rig::DeviceState State(std::size_t enclosure = 0) {
        rig::DeviceState state;
        std::string error;
        auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
        EXPECT_TRUE(machine && machine->ReadState(enclosure, state, error)) << error;
        return state;
    }
    std::vector<rig::LogRecord> Log() {
        const std::string bytes = rig_test::ReadTextFile(folder.File("demo.log"));
        return rig::ParseCommandLog(std::vector<std::uint8_t>(bytes.begin(), bytes.end())).records;
    }
    void ClearLog() { Rigctl({"log", "--clear"}); }
    // The CDBs of the commands logged since the last ClearLog, each as its CdbLength bytes.
    std::vector<std::string> Cdbs() {
        std::vector<std::string> cdbs;
        for (const rig::LogRecord& record : Log()) cdbs.push_back(rig::HexBytes(record.header.cdb, record.header.cdbLength));
        return cdbs;
    }

    static constexpr std::uint8_t kSlot = 2;
    std::unique_ptr<rig::RigDeviceStack> stack;
    KeptTexts tracer;
    KeptTexts console;
    corelink::ManualClock clock;
    std::unique_ptr<corelink::Device> device;
    std::array<devio::DeviceHandle, 256> handles{};
    std::string rigctlOut;
};

}  // namespace corelink_test
