// The flash controller's single operations on the simulated enclosure: their command blocks,
// the CPU reset's rounds, polls and time-out, and the in-system programming image.
#include <gtest/gtest.h>

#include "corelink/core/flash_controller.h"
#include "corelink/core/scsi_commands.h"
#include "flash_rig_fixture.h"

namespace corelink_test {
namespace {

using namespace corelink;

class FlashController : public FlashOnRig {
protected:
    void SetUp() override { Start({1, 1, 256, 64, 2048}); }
    Device& D() { return *device; }
    HandleArray H() { return handles.data(); }
};

TEST_F(FlashController, SingleOperationsSendTheirCommandsAndTraceTheirNamesWithTheSlot) {
    std::vector<std::uint8_t> id(64, 0xEE);
    ASSERT_EQ(ReadFlashID_UFD(D(), H(), kSlot, 7, id.data()), 1);
    const rig::DeviceState state = State();
    EXPECT_EQ(id, std::vector<std::uint8_t>(state.flashId.begin(), state.flashId.end()));
    EXPECT_EQ(ChipResetEx(D(), H(), kSlot), 1);
    EXPECT_EQ(UFDCacheClear_UFD(D(), H(), kSlot), 1);
    EXPECT_EQ(MediumLoadUnload_UFD(D(), H(), kSlot, 0, 0x02), 1);
    const std::vector<std::string> expected = {
        "EE 90 00 00 00 00 82 00 05 00 00 07 00 00 00 00",
        "EE 02 00 00 00 00 02 00 00 00 00 00 00 00 00 00",
        "EE 6F 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
        "1B 00 00 00 02 00",
    };
    EXPECT_EQ(Cdbs(), expected);
    EXPECT_EQ(tracer.Joined(),
              "ReadFlashID_UFD(3)| UFDSettingRead()|ChipResetEx(3)| ConfigureLUNWrite()|UFDCacheClear_UFD(3)| "
              "CacheClear()|MediumLoadUnload_UFD(3)| SCSI_LoadUnload()|");
    EXPECT_EQ(ChipResetEx(D(), nullptr, kSlot), 0);
}

TEST_F(FlashController, ChipResetClearsBit5OfTheControlRegisterAndPulsesTheResetRegister) {
    Rigctl({"log", "--clear"});
    std::uint8_t control = 0x7F;
    ASSERT_EQ(CVCommCMDControl::MemoryAccessWrite(D(), handles[kSlot], 0x05, 0, 0, 0x001C, 1, &control), 1);
    ClearLog();
    ASSERT_EQ(ChipReset(D(), H(), kSlot), 1);
    std::vector<std::string> writes;
    for (const rig::LogRecord& r : Log()) {
        writes.push_back(rig::HexBytes(&r.header.cdb[4], 3) + (r.dataOut.empty() ? "" : " " + rig::HexBytes(r.dataOut.data(), 1)));
    }
    const std::vector<std::string> expected = {"00 1C 04", "00 1C 05 5F", "00 01 05 80", "00 01 05 00",
                                               "00 01 05 80", "00 01 05 80"};
    EXPECT_EQ(writes, expected);

    // An unreadable control register is not written with a guess.
    Rigctl({"fail", "EE", "01", "00", "00", "00", "1C", "04"});
    ClearLog();
    EXPECT_EQ(ChipReset(D(), H(), kSlot), 1);
    EXPECT_EQ(Log().size(), 5u);
}

TEST_F(FlashController, CpuResetStartsTheCpuResetsItAndWaitsUntilTheUnitIsReady) {
    ASSERT_EQ(CPUReset_UFD(D(), H(), kSlot), 1);
    const std::vector<std::string> expected = {
        "EE 01 00 00 00 1C 04 00 01 00 00 00 00 00 00 00", "EE 01 00 00 00 1C 05 00 01 00 00 00 00 00 00 00",
        "EE 01 00 00 23 11 05 00 01 00 00 00 00 00 00 00", "EE 02 00 00 00 00 01 00 00 00 00 00 00 00 00 00",
        "00 00 00 00 00 00"};
    EXPECT_EQ(Cdbs(), expected);
    EXPECT_EQ(State().xdataMemory[0x001C], 0x40);
    EXPECT_EQ(State().xdataMemory[0x2311], 0x01);
    EXPECT_EQ(tracer.texts.front(), "CPUReset_UFD(3)");
    EXPECT_EQ(clock.Pauses(), 1u);
}

TEST_F(FlashController, CpuResetTimesOutAfterSixPollsAndGivesUpAfterThirtyFailedRounds) {
    Rigctl({"not-ready", "on"});
    EXPECT_EQ(CPUReset_UFD(D(), H(), kSlot), 0);
    EXPECT_EQ(clock.Pauses(), 6u);
    EXPECT_EQ(tracer.texts.back(), "CPU_Rst_Timeout(3)");
    std::size_t polls = 0;
    for (const std::string& cdb : Cdbs()) polls += cdb == "00 00 00 00 00 00" ? 1 : 0;
    EXPECT_EQ(polls, 6u);

    Rigctl({"not-ready", "off"});
    Rigctl({"fail", "EE", "01", "00", "00", "23", "11", "05"});
    ClearLog();
    tracer.texts.clear();
    EXPECT_EQ(CPUReset_UFD(D(), H(), kSlot), 0);
    std::string text = "CPUReset_UFD(3)";
    for (int i = 0; i < 30; ++i) text += "_F3";
    EXPECT_EQ(tracer.texts.front(), text);
    EXPECT_EQ(tracer.texts.back(), "CPU Rst Fail");
    for (const std::string& cdb : Cdbs()) EXPECT_NE(cdb.substr(0, 5), "EE 02");  // no reset sent
    EXPECT_EQ(Cdbs().size(), 90u);
}

TEST_F(FlashController, TheProgrammingImageGoesToTheControllerWithItsSectorCount) {
    std::vector<std::uint8_t> image(4096);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13);
    ASSERT_EQ(INITISP_UFD(D(), H(), kSlot, 0x1000, 4096, image.data()), 1);
    EXPECT_EQ(Cdbs().back(), "EE 90 00 00 10 00 81 00 08 00 00 00 00 00 00 00");
    const rig::DeviceState state = State();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), state.firmware.begin() + 0x1000));
    EXPECT_EQ(INITISP_UFD(D(), H(), kSlot, 0, 512, nullptr), 0);  // no image: nothing sent
}

}  // namespace
}  // namespace corelink_test
