// Dockline's own INQUIRY on the simulated enclosure: the maker's drives by their signature,
// the exact command block, and drives that do not open or answer.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "dockline/core/maker_drive_check.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
#include "rig/tests/rig_fixture.h"

namespace {

class MakerDriveCheck : public rig_test::RigTest {
protected:
    void SetUp() override {
        RigTest::SetUp();
        rig_test::WriteTextFile(rigPath, rig_test::ReadTextFile(rigPath) +
                                             "\n[enclosure]\nusb_vendor_id = 0x0781\nusb_product_id = 0x5567\n"
                                             "sectors = 2048\nsignature = ABCD\ninquiry_vendor = Other\n"
                                             "interface = \\\\?\\usbstor#disk&ven_other#0003&0#x\ndrive = H: H\n");
        stack = Program();
        ASSERT_TRUE(stack);
    }
    std::unique_ptr<rig::RigDeviceStack> stack;
    std::string trace;
    dockline::TraceSink sink = [this](std::string_view text) { trace += text; };
};

TEST_F(MakerDriveCheck, SignatureDecides) {
    EXPECT_TRUE(dockline::IsToviDrive(*stack, 'E', sink));
    EXPECT_TRUE(dockline::IsToviDrive(*stack, 'K', sink)) << "any model of the maker";
    EXPECT_FALSE(dockline::IsToviDrive(*stack, 'H', sink)) << "another maker's stick";
    EXPECT_FALSE(dockline::IsToviDrive(*stack, 'Q', sink)) << "no such drive";
    EXPECT_EQ(trace, "\nSendInquiry()\n\nSendInquiry()\n\nSendInquiry()\n");

    const std::string bytes = rig_test::ReadTextFile(folder.File("demo.log"));
    const auto log = rig::ParseCommandLog(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_EQ(log.records.size(), 3u);
    const rig::LogRecord& inquiry = log.records[0];
    EXPECT_EQ(inquiry.header.cdbLength, 6);
    EXPECT_EQ(inquiry.header.dataIn, 1);
    EXPECT_EQ(+inquiry.header.dataTransferLength, 128u);
    EXPECT_EQ(+inquiry.header.timeOutValue, 3u);
    EXPECT_EQ(inquiry.header.senseInfoLength, 24);
    EXPECT_EQ(std::vector<std::uint8_t>(inquiry.header.cdb, inquiry.header.cdb + 6),
              (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0x80, 0}));
}

TEST_F(MakerDriveCheck, UnpluggedOrNotReadyDriveIsNotTheMakers) {
    std::ostringstream out, err;
    ASSERT_EQ(rig::RunRigControl(rig::PlatformFileSystem(), {rigPath, "unplug"}, out, err), 0);
    EXPECT_FALSE(dockline::IsToviDrive(*stack, 'E', sink));
    const devio::DeviceHandle closed = 0x4242;
    dockline::InquiryData reply{};
    EXPECT_FALSE(dockline::SendInquiry(*stack, closed, reply, sink));
}

}  // namespace
