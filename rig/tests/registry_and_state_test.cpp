// The registry changes file and the state file's upgrade to version 3: what the rig accepts and
// refuses, and that a device keeps its state across the upgrade.
#include <gtest/gtest.h>

#include <sstream>

#include "rig/core/registry_changes.h"
#include "rig/core/rig_control.h"
#include "rig/core/state_file.h"
#include "rig_fixture.h"

namespace rig_test {
namespace {

TEST(RegistryChanges, FileRoundTripsAndRefusesWhatItCannotHold) {
    const std::vector<rig::RegistryChange> changes = {
        {rig::RegistryChange::Kind::DeleteKey, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_1a2b&Pid_3c4d", {}, 0, {}},
        {rig::RegistryChange::Kind::Grant, "SYSTEM\\MountedDevices", {}, 0, {}},
        {rig::RegistryChange::Kind::SetValue, "SYSTEM\\X", "Name with blanks", 3, {0x00, 0xFF, 0x10}}};
    std::string text = rig::RegistryChangesHeader();
    for (const auto& change : changes) text += rig::FormatRegistryChange(change);
    std::vector<rig::RegistryChange> parsed;
    std::string error;
    ASSERT_TRUE(rig::ParseRegistryChanges(text, parsed, error)) << error;
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(parsed[2].name, "Name with blanks");
    EXPECT_EQ(parsed[2].data, (std::vector<std::uint8_t>{0x00, 0xFF, 0x10}));

    const char* bad[] = {"RIGREGISTRY 2\n",
                         "RIGREGISTRY 1\ndelete\tSYSTEM\\\\x\n",
                         "RIGREGISTRY 1\ndelete\t\\SYSTEM\n",
                         "RIGREGISTRY 1\nset\tSYSTEM\tv\t3\t0\n",
                         "RIGREGISTRY 1\nset\tSYSTEM\tv\t03\t00\n",
                         "RIGREGISTRY 1\nset\tSYSTEM\tv\t4294967296\t00\n",
                         "RIGREGISTRY 1\nrename\tSYSTEM\n",
                         "RIGREGISTRY 1\ndelete\tSYSTEM"};
    for (const char* wrong : bad) {
        SCOPED_TRACE(wrong);
        EXPECT_FALSE(rig::ParseRegistryChanges(wrong, parsed, error));
        EXPECT_NE(error.find("line"), std::string::npos) << error;
    }
    EXPECT_FALSE(rig::StorableRegistryKey(std::string(1025, 'k')));
    EXPECT_FALSE(rig::StorableRegistryKey("SYSTEM\\a\nb"));
}

TEST(RegistryChanges, ImageAppliesDeletionsToTheWholeSubtreeOnly) {
    const std::vector<rig::RegistryEntry> base = {
        {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2\\A", "Driver", rig::kRegSz, {}},
        {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2\\A\\Device Parameters", "SymbolicName", rig::kRegSz, {}},
        {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_22\\B", "Driver", rig::kRegSz, {}}};
    rig::RegistryImage image(base, {});
    EXPECT_TRUE(image.Protected("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2"));
    EXPECT_FALSE(image.Protected("SYSTEM\\MountedDevices"));
    EXPECT_EQ(image.Subkeys("SYSTEM\\CurrentControlSet\\Enum\\USB"),
              (std::vector<std::string>{"VID_1&PID_2", "VID_1&PID_22"}));
    image.Apply({rig::RegistryChange::Kind::Grant, "system\\currentcontrolset\\enum\\usb\\vid_1&pid_2", {}, 0, {}});
    EXPECT_FALSE(image.Protected("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2"));
    EXPECT_TRUE(image.Protected("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2\\A")) << "that key only";
    image.Apply({rig::RegistryChange::Kind::DeleteKey, "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2", {}, 0, {}});
    EXPECT_FALSE(image.KeyExists("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_2\\A\\Device Parameters"));
    EXPECT_TRUE(image.KeyExists("SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1&PID_22\\B"));
    EXPECT_EQ(image.Entries().size(), 1u);
}

class StateUpgradeTest : public RigTest {};

// A version 2 file (records end with the rules) keeps its devices and gets the new fields.
TEST_F(StateUpgradeTest, Version2FileIsUpgradedInPlace) {
    std::string error;
    auto machine = rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error);
    ASSERT_TRUE(machine) << error;
    const std::size_t oldRecord = rig::StateRecordSize() - rig::StateVersion3Bytes();
    std::string file("RIGSTATE", 8);
    const auto little = [&](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) file += static_cast<char>(value >> (8 * i));
    };
    little(2);
    little(static_cast<std::uint32_t>(oldRecord));
    little(2);
    little(0);
    for (std::size_t i = 0; i < 2; ++i) {
        rig::DeviceState state = rig::DefaultState(machine->Config().enclosures[i], i);
        state.lunType = static_cast<std::uint8_t>(0x40 + i);
        state.xdataMemory[0x1234] = 0x99;
        std::vector<std::uint8_t> record;
        rig::SerializeState(state, record);
        file.append(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(oldRecord));
    }
    WriteTextFile(machine->Config().statePath, file);

    rig::DeviceState state;
    ASSERT_TRUE(machine->ReadState(1, state, error)) << error;
    EXPECT_EQ(state.lunType, 0x41);
    EXPECT_EQ(state.xdataMemory[0x1234], 0x99);
    EXPECT_EQ(state.flashId, rig::DefaultState(machine->Config().enclosures[1], 1).flashId);
    EXPECT_EQ(state.eject, rig::EjectAnswer::Accept);
    const std::string upgraded = ReadTextFile(machine->Config().statePath);
    EXPECT_EQ(upgraded[8], 3);
    EXPECT_EQ(upgraded.size(), rig::kStateHeaderSize + 2 * rig::StateRecordSize());

    rig::DeviceState damaged = state;
    std::vector<std::uint8_t> record;
    rig::SerializeState(damaged, record);
    record[record.size() - rig::StateVersion3Bytes() + 3] = 3;  // no such eject answer
    EXPECT_FALSE(rig::DeserializeState(record, damaged));
}

TEST_F(StateUpgradeTest, RigctlSetsTheEjectAnswerAndRefusesOthers) {
    std::ostringstream out, err;
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), rigPath);
        return rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
    };
    EXPECT_EQ(run({"eject", "veto", "--enclosure", "1"}), 0) << err.str();
    EXPECT_EQ(run({"eject", "maybe"}), 2);
    EXPECT_EQ(run({"eject"}), 2);
    EXPECT_EQ(run({"eject", "veto", "--enclosure", "5"}), 1);
    out.str("");
    EXPECT_EQ(run({"state", "--enclosure", "1"}), 0);
    EXPECT_NE(out.str().find("eject request   vetoed"), std::string::npos) << out.str();
    out.str("");
    EXPECT_EQ(run({"state"}), 0);
    EXPECT_NE(out.str().find("eject request   accepted"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace rig_test
