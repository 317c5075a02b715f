// The rig's device stack over its files: handles, the state shared by two programs, the
// sparse image, the command log and the fail-closed stack.
#include <gtest/gtest.h>

#include <cctype>

#include "rig/core/command_log.h"
#include "rig/core/fail_closed_device_stack.h"
#include "rig_fixture.h"

namespace rig_test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Request ButtonRead() { return VendorRead(0x80, 0x87, 0, 1); }

TEST_F(RigTest, OpensOnlyTheRigsInterfacesAndVolumesWithDistinctHandles) {
    auto stack = Program();
    const devio::DeviceHandle first = OpenPath(*stack, kFirstInterface);
    std::string upper = kFirstInterface;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const devio::DeviceHandle again = OpenPath(*stack, upper);
    const devio::DeviceHandle volume = OpenPath(*stack, "\\\\.\\k:");
    ASSERT_NE(first, devio::kInvalidDeviceHandle);
    ASSERT_NE(again, devio::kInvalidDeviceHandle);
    ASSERT_NE(volume, devio::kInvalidDeviceHandle);
    EXPECT_NE(first, again);

    // The volume of K: is the second enclosure: model 3452 at INQUIRY bytes 44..47.
    const Sent inquiry = SendThrough(*stack, volume, MakeRequest({0x12, 0, 0, 0, 0x80, 0}, devio::kDataIn, 128));
    ASSERT_TRUE(inquiry.delivered);
    EXPECT_EQ(std::string(inquiry.data.begin() + 44, inquiry.data.begin() + 48), "3452");
    EXPECT_EQ(inquiry.returned, 208u);

    for (const char* path : {"\\\\?\\usbstor#disk&ven_other#1", "\\\\.\\G:", "\\\\.\\E:\\", ""}) {
        std::uint32_t error = 0;
        EXPECT_EQ(stack->Open(path, 0, 0, devio::kOpenExisting, 0, error), devio::kInvalidDeviceHandle) << path;
        EXPECT_EQ(error, devio::kErrorFileNotFound) << path;
    }

    EXPECT_TRUE(stack->Close(first));
    EXPECT_FALSE(stack->Close(first));
    const Sent closed = SendThrough(*stack, first, ButtonRead());
    EXPECT_FALSE(closed.delivered);
    EXPECT_EQ(closed.lastError, devio::kErrorInvalidHandle);
    EXPECT_EQ(SendThrough(*stack, 0x1234567, ButtonRead()).lastError, devio::kErrorInvalidHandle);

    Request hubRequest = ButtonRead();
    std::uint32_t returned = 0, error = 0;
    EXPECT_FALSE(stack->Control(again, 0x220448, hubRequest.Bytes(), 80, hubRequest.Bytes(), 81, returned, error));
    EXPECT_EQ(error, devio::kErrorNotSupported);
}

TEST_F(RigTest, DrivesComeFromTheRigFile) {
    auto stack = Program();
    EXPECT_EQ(stack->LogicalDriveMask(), (1u << 4) | (1u << 5) | (1u << 10));
    EXPECT_EQ(stack->DriveType("E:\\"), rig::kDriveFixed);
    EXPECT_EQ(stack->DriveType("k:\\"), rig::kDriveRemovable);
    EXPECT_EQ(stack->DriveType("C:\\"), rig::kDriveNoRootDir);
    EXPECT_EQ(stack->SystemMajorVersion(), 6u);
}

TEST_F(RigTest, TwoProgramsShareOneDevice) {
    auto dockline = Program();
    auto copperfold = Program();
    const auto bar = OpenPath(*dockline, kFirstInterface);
    const auto app = OpenPath(*copperfold, kFirstInterface);

    EXPECT_EQ(SendThrough(*dockline, bar, ButtonRead()).data, Bytes{0xFF});
    std::string error;
    ASSERT_TRUE(rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error)
                    ->UpdateState(0, [](rig::DeviceState& s) { s.buttonPressed = true; }, error))
        << error;
    EXPECT_EQ(SendThrough(*dockline, bar, ButtonRead()).data, Bytes{0xFD});
    ASSERT_EQ(SendThrough(*copperfold, app, VendorWrite(0x80, 0x88, 0, {0x02})).status, 0);
    EXPECT_EQ(SendThrough(*dockline, bar, ButtonRead()).data, Bytes{0xFF});

    // The other enclosure keeps its own state.
    const auto second = OpenPath(*copperfold, kSecondInterface);
    ASSERT_EQ(SendThrough(*copperfold, second, VendorWrite(0x80, 0x80, 249, {0x01})).status, 0);
    EXPECT_EQ(SendThrough(*dockline, OpenPath(*dockline, kSecondInterface), VendorRead(0x80, 0x80, 249, 1, 1)).data,
              Bytes{0x01});
    EXPECT_EQ(SendThrough(*dockline, bar, VendorRead(0x80, 0x80, 249, 1, 1)).data, Bytes{0x00});
}

TEST_F(RigTest, MalformedBlocksAreNotDeliveredNorLogged) {
    auto stack = Program();
    const auto handle = OpenPath(*stack, kFirstInterface);
    Request request = ButtonRead();
    request.Header().length = 40;
    const Sent sent = SendThrough(*stack, handle, request);
    EXPECT_FALSE(sent.delivered);
    EXPECT_EQ(sent.lastError, devio::kErrorInvalidParameter);
    EXPECT_EQ(ReadTextFile(folder.File("demo.log")), "");
}

TEST_F(RigTest, TheLogHoldsEachRequestByteForByte) {
    auto stack = Program();
    const auto handle = OpenPath(*stack, kFirstInterface);
    Request inquiry = MakeRequest({0x12, 0, 0, 0, 0x80, 0}, devio::kDataIn, 128);
    Bytes inquiryHeader(inquiry.Bytes(), inquiry.Bytes() + 44);
    Request ack = VendorWrite(0x80, 0x88, 0, {0x02});
    Bytes ackHeader(ack.Bytes(), ack.Bytes() + 44);
    Request unknown = MakeRequest({0xFF, 0, 0, 0, 0, 0}, devio::kNoData, 0);
    Bytes unknownHeader(unknown.Bytes(), unknown.Bytes() + 44);
    SendThrough(*stack, handle, inquiry);
    SendThrough(*stack, handle, ack);
    SendThrough(*stack, OpenPath(*stack, kSecondInterface), unknown);

    Bytes expected = {'R', 'I', 'G', 'L', 'O', 'G', 0x01, 0x00};
    const auto record = [&](std::uint8_t size, std::uint8_t enclosure, std::uint8_t status, const Bytes& header,
                            const Bytes& data) {
        expected.insert(expected.end(), {size, 0, 0, 0, enclosure, 0, status, 0});
        expected.insert(expected.end(), {static_cast<std::uint8_t>(data.size()), 0, 0, 0});
        expected.insert(expected.end(), header.begin(), header.end());
        expected.insert(expected.end(), data.begin(), data.end());
    };
    record(56, 0, 0, inquiryHeader, {});
    record(57, 0, 0, ackHeader, {0x02});
    record(56, 1, 2, unknownHeader, {});
    const std::string log = ReadTextFile(folder.File("demo.log"));
    EXPECT_EQ(Bytes(log.begin(), log.end()), expected);

    const rig::ParsedLog parsed = rig::ParseCommandLog(expected);
    ASSERT_EQ(parsed.records.size(), 3u);
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_EQ(parsed.records[1].header.cdb[6], 0x88);
    EXPECT_EQ(parsed.records[1].dataOut, Bytes{0x02});
    EXPECT_EQ(parsed.records[2].enclosure, 1);
    EXPECT_EQ(parsed.records[2].status, 2);

    Bytes torn = expected;
    torn.pop_back();
    const rig::ParsedLog partial = rig::ParseCommandLog(torn);
    EXPECT_EQ(partial.records.size(), 2u);
    EXPECT_FALSE(partial.error.empty());
}

Request Write10(std::uint32_t lba, const Bytes& data) {
    Cdb cdb = {0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    devio::PutBigEndian32(&cdb[2], lba);
    devio::PutBigEndian16(&cdb[7], static_cast<std::uint16_t>(data.size() / 512));
    return MakeRequest(cdb, devio::kDataOut, static_cast<std::uint32_t>(data.size()), data);
}

Request Read10(std::uint32_t lba, std::uint16_t blocks) {
    Cdb cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    devio::PutBigEndian32(&cdb[2], lba);
    devio::PutBigEndian16(&cdb[7], blocks);
    return MakeRequest(cdb, devio::kDataIn, blocks * 512u);
}

TEST_F(RigTest, TheSparseImageStoresOnlyWrittenBlocksAndIsShared) {
    auto writer = Program();
    auto reader = Program();
    const auto w = OpenPath(*writer, kFirstInterface);
    const auto r = OpenPath(*reader, kFirstInterface);
    Bytes blocks(1024);
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<std::uint8_t>(i % 251);

    EXPECT_EQ(SendThrough(*reader, r, Read10(1000, 1)).data, Bytes(512, 0));  // no image yet
    ASSERT_EQ(SendThrough(*writer, w, Write10(1000, blocks)).status, 0);
    const std::string imagePath = folder.File("demo.0.img");
    EXPECT_EQ(ReadTextFile(imagePath).size(), 16u + 2 * (8 + 512));
    const Sent back = SendThrough(*reader, r, Read10(999, 3));
    ASSERT_EQ(back.status, 0);
    EXPECT_EQ(Bytes(back.data.begin() + 512, back.data.end()), blocks);
    EXPECT_EQ(Bytes(back.data.begin(), back.data.begin() + 512), Bytes(512, 0));

    const Bytes changed(512, 0xEE);
    ASSERT_EQ(SendThrough(*writer, w, Write10(1001, changed)).status, 0);
    EXPECT_EQ(ReadTextFile(imagePath).size(), 16u + 2 * (8 + 512));  // rewritten in place
    EXPECT_EQ(SendThrough(*reader, r, Read10(1001, 1)).data, changed);

    std::string error;
    ASSERT_TRUE(rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error)->Reset(error)) << error;
    EXPECT_EQ(SendThrough(*reader, r, Read10(1001, 1)).data, Bytes(512, 0));
}

TEST_F(RigTest, ADamagedStateFileFailsRequestsInsteadOfInventingAState) {
    auto stack = Program();
    const auto handle = OpenPath(*stack, kFirstInterface);
    ASSERT_TRUE(SendThrough(*stack, handle, ButtonRead()).delivered);
    WriteTextFile(folder.File("demo.state"), "RIGSTATE but not really");
    const Sent sent = SendThrough(*stack, handle, ButtonRead());
    EXPECT_FALSE(sent.delivered);
    EXPECT_EQ(sent.lastError, rig::kErrorIoDevice);

    std::string error;
    ASSERT_TRUE(rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error)->Reset(error)) << error;
    EXPECT_EQ(SendThrough(*stack, handle, ButtonRead()).data, Bytes{0xFF});
}

TEST_F(RigTest, EnclosuresAddedToTheRigFileGetTheirDefaultState) {
    auto before = Program();
    SendThrough(*before, OpenPath(*before, kFirstInterface), VendorWrite(0x8B, 0x07, 0, {}, 0x09));
    std::string text = ReadTextFile(rigPath);
    WriteTextFile(rigPath, text + "[enclosure]\nusb_vendor_id = 1\nusb_product_id = 2\nsectors = 8\n"
                                  "button = pressed\ninterface = third\n");
    auto after = Program();
    EXPECT_EQ(SendThrough(*after, OpenPath(*after, "THIRD"), ButtonRead()).data, Bytes{0xFD});
    std::string error;
    rig::DeviceState state;
    ASSERT_TRUE(rig::Rig::Load(rig::PlatformFileSystem(), rigPath, error)->ReadState(0, state, error)) << error;
    EXPECT_EQ(state.led, 0x09);
}

TEST(FailClosedDeviceStack, EveryCallFails) {
    rig::FailClosedDeviceStack stack;
    std::uint32_t error = 0, returned = 0;
    EXPECT_EQ(stack.Open(kFirstInterface, 0, 0, devio::kOpenExisting, 0, error), devio::kInvalidDeviceHandle);
    EXPECT_EQ(error, devio::kErrorFileNotFound);
    Request request = ButtonRead();
    EXPECT_FALSE(stack.Control(0x1000, devio::kIoctlScsiPassThrough, request.Bytes(), request.inputSize,
                               request.Bytes(), request.outputSize, returned, error));
    std::vector<devio::DeviceInterface> interfaces;
    EXPECT_FALSE(stack.EnumerateInterfaces(devio::Guid{}, interfaces));
    std::vector<std::string> names;
    EXPECT_FALSE(stack.EnumerateVolumes(names));
    EXPECT_FALSE(stack.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, "SYSTEM", names));
    EXPECT_FALSE(stack.WriteRegistryValue(devio::RegistryHive::LocalMachine, "SYSTEM", "x", 1, {}));
    EXPECT_NE(stack.RequestEject(1), 0u);
    EXPECT_NE(stack.DeleteRegistryKey(devio::RegistryHive::LocalMachine, "SYSTEM\\x"), 0u);
    EXPECT_NE(stack.CheckRegistryKey(devio::RegistryHive::LocalMachine, "SYSTEM"), 0u);
    std::string report;
    EXPECT_FALSE(stack.GrantRegistryKeyToAdministrators(devio::RegistryHive::LocalMachine, "SYSTEM", report));
    EXPECT_EQ(stack.LogicalDriveMask(), 0u);
}

}  // namespace
}  // namespace rig_test
