// rigctl against a rig that a program uses at the same time.
#include "rig/core/rig_control.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rig_fixture.h"

namespace rig_test {
namespace {

class RigControlTest : public RigTest {
protected:
    int Run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), rigPath);
        return rig::RunRigControl(rig::PlatformFileSystem(), args, out, err);
    }

    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(RigControlTest, PressIsSeenByTheProgramUntilItAcknowledges) {
    auto program = Program();
    const auto handle = OpenPath(*program, kSecondInterface);
    ASSERT_EQ(Run({"press", "--enclosure", "1"}), 0) << err.str();
    EXPECT_EQ(SendThrough(*program, handle, VendorRead(0x80, 0x87, 0, 1)).data, std::vector<std::uint8_t>{0xFD});
    ASSERT_EQ(Run({"state", "--enclosure", "1"}), 0);
    EXPECT_NE(out.str().find("button          pressed (reads 0xFD)"), std::string::npos) << out.str();
    ASSERT_EQ(Run({"state"}), 0);
    EXPECT_NE(out.str().find("button          released"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("EEPROM          checksum ok"), std::string::npos) << out.str();

    SendThrough(*program, handle, VendorWrite(0x80, 0x88, 0, {0x02}));
    ASSERT_EQ(Run({"state", "--enclosure", "1"}), 0);
    EXPECT_NE(out.str().find("released (reads 0xFF), last written 0x02"), std::string::npos) << out.str();

    ASSERT_EQ(Run({"press"}), 0);
    ASSERT_EQ(Run({"release"}), 0);
    EXPECT_EQ(SendThrough(*program, OpenPath(*program, kFirstInterface), VendorRead(0x80, 0x87, 0, 1)).data,
              std::vector<std::uint8_t>{0xFF});
}

TEST_F(RigControlTest, NotReadyMakesTestUnitReadyFail) {
    auto program = Program();
    const auto handle = OpenPath(*program, kFirstInterface);
    ASSERT_EQ(Run({"not-ready", "on"}), 0);
    EXPECT_EQ(SendThrough(*program, handle, MakeRequest({0, 0, 0, 0, 0, 0}, devio::kDataIn, 0)).status, 2);
    ASSERT_EQ(Run({"not-ready", "off"}), 0);
    EXPECT_EQ(SendThrough(*program, handle, MakeRequest({0, 0, 0, 0, 0, 0}, devio::kDataIn, 0)).status, 0);
}

TEST_F(RigControlTest, LogPrintsOneLinePerCommandAndClears) {
    auto program = Program();
    const auto handle = OpenPath(*program, kFirstInterface);
    SendThrough(*program, handle, VendorRead(0x80, 0x87, 0, 1));
    SendThrough(*program, handle, VendorWrite(0x80, 0x88, 0, {0x02}));
    ASSERT_EQ(Run({"log"}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "    #  enc  dir    length  status  CDB\n"
              "    0    0  in          1  0x00    EE 80 00 00 00 00 87 00 01 00 00 00 00 00 00 00\n"
              "    1    0  out         1  0x00    EE 80 00 00 00 00 88 00 01 00 00 00 00 00 00 00  data 02\n");
    ASSERT_EQ(Run({"log", "--clear"}), 0);
    ASSERT_EQ(Run({"log"}), 0);
    EXPECT_EQ(out.str(), "    #  enc  dir    length  status  CDB\n");
}

TEST_F(RigControlTest, RefusesWrongUsage) {
    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"jump"}), 2);
    EXPECT_EQ(Run({"not-ready"}), 2);
    EXPECT_EQ(Run({"not-ready", "maybe"}), 2);
    EXPECT_EQ(Run({"press", "--clear"}), 2);
    EXPECT_EQ(Run({"press", "--enclosure"}), 2);
    EXPECT_EQ(Run({"press", "--enclosure", "x"}), 2);
    EXPECT_EQ(Run({"press", "--force"}), 2);
    EXPECT_EQ(Run({"press", "--enclosure", "2"}), 1);
    EXPECT_NE(err.str().find("no enclosure 2"), std::string::npos);

    out.str("");
    err.str("");
    EXPECT_EQ(rig::RunRigControl(rig::PlatformFileSystem(), {folder.File("missing.rig"), "state"}, out, err), 1);
    EXPECT_NE(err.str().find("no such rig file"), std::string::npos) << err.str();
    WriteTextFile(rigPath, "[rig]\nformat = 7\n");
    EXPECT_EQ(Run({"state"}), 1);
    EXPECT_NE(err.str().find("demo.rig: line 2: unsupported format"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace rig_test
