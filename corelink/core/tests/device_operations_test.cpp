// The enclosure operations: which commands they send, in which order, with which values, and
// what they hand back; opening and closing by path and drive letter.
#include "corelink/core/device_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "fake_device_stack.h"

using corelink_test::Bench;
using corelink_test::Bytes;
using corelink_test::ControlRecord;
using corelink_test::Pattern;
using corelink_test::Reply;

namespace {

using Buffer = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
constexpr std::uint8_t kSlot = 5;
constexpr devio::DeviceHandle kOther = 0x9999;

// A handle array with the bench's handle in slot 5 and a different handle everywhere else, so
// a command on the wrong slot shows.
struct Handles {
    std::array<devio::DeviceHandle, 256> slots;
    Handles() {
        slots.fill(kOther);
        slots[kSlot] = Bench::kHandle;
    }
    devio::DeviceHandle* get() { return slots.data(); }
};

std::uint16_t WordSum(const Buffer& image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < image.size(); i += 2) sum += devio::GetBigEndian16(&image[i]);
    return static_cast<std::uint16_t>(sum);
}

void ExpectAllOnSlot(const Bench& bench) {
    for (const ControlRecord& r : bench.stack.controls) EXPECT_EQ(r.handle, Bench::kHandle);
}

}  // namespace

// ---------------------------------------------------------------- selectors and single commands

TEST(EnclosureOperations, ButtonReadAndWrite) {
    Bench bench;
    Handles handles;
    std::uint8_t button = 0xCC;
    bench.stack.Script({true, 0, {0x02, 0x55}, 0});
    EXPECT_EQ(corelink::ReadButton_USD(bench.device, handles.get(), kSlot, 1, 0x42, &button), 1);
    EXPECT_EQ(button, 0x02);
    EXPECT_EQ(bench.stack.controls.at(0).Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0, 0x87, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bench.stack.controls[0].outputSize, 81u);

    button = 0xCC;
    EXPECT_EQ(corelink::ReadButton_USD(bench.device, handles.get(), kSlot, 0, 0x42, &button), 1);
    EXPECT_EQ(button, 0xCC) << "a write leaves *data alone";
    const ControlRecord& write = bench.stack.controls.at(1);
    EXPECT_EQ(write.Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0, 0x88, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(write.Header().dataIn, devio::kDataOut);
    EXPECT_EQ(write.Data(), Bytes({0x42}));
    ExpectAllOnSlot(bench);
    EXPECT_EQ(bench.tracer.lines,
              (Lines{"ReadButton_USD()", " USDSettingRead()", "WriteButton_USD()", " USDSettingWrite()"}));
}

TEST(EnclosureOperations, EepromAndFirmwareSelectors) {
    Bench bench;
    Handles handles;
    Buffer data = Pattern(16, 1);
    corelink::ReadEEPROM_USD(bench.device, handles.get(), kSlot, 1, 0x12, 0x13, 0x40, 16, data.data());
    corelink::ReadEEPROM_USD(bench.device, handles.get(), kSlot, 2, 0x12, 0x13, 0x40, 16, data.data());
    corelink::ReadFW_USD(bench.device, handles.get(), kSlot, 1, 0x13, 0x1000, 16, data.data());
    corelink::ReadFW_USD(bench.device, handles.get(), kSlot, 3, 0x13, 0x1000, 16, data.data());
    ASSERT_EQ(bench.stack.controls.size(), 4u);
    const auto& c = bench.stack.controls;
    EXPECT_EQ(c[0].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0x40, 0x80, 0, 16, 0, 0, 1, 0x12, 0x13, 0, 0}));
    EXPECT_EQ(c[0].Header().dataIn, devio::kDataIn);
    EXPECT_EQ(c[1].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0x40, 0x80, 0, 16, 0, 0, 2, 0x12, 0x13, 0, 0}));
    EXPECT_EQ(c[1].Header().dataIn, devio::kDataOut);
    EXPECT_EQ(c[2].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0x10, 0, 0x81, 0, 16, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(c[3].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0x10, 0, 0x81, 0, 16, 0, 0, 3, 0, 0x13, 0, 0}));
    EXPECT_EQ(c[3].Data(), data);
    EXPECT_EQ(bench.tracer.lines, (Lines{"ReadEEPROM_USD()", " USDSettingRead()", "WriteEEPROM_USD()",
                                         " USDSettingWrite()", "ReadFW_USD()", " USDSettingRead()", "WriteFW_USD()",
                                         " USDSettingWrite()"}));
}

TEST(EnclosureOperations, PowerInformationAndCapacityLed) {
    Bench bench;
    Handles handles;
    Buffer info(4, 0xCC);
    bench.stack.Script({true, 0, {9, 8, 7, 6}, 0});
    EXPECT_EQ(corelink::GetPMInfo_USD(bench.device, handles.get(), kSlot, 4, info.data()), 1);
    EXPECT_EQ(info, Bytes({9, 8, 7, 6}));
    EXPECT_EQ(corelink::SetHDCapLED_USD(bench.device, handles.get(), kSlot, 0x03), 1);
    const auto& c = bench.stack.controls;
    EXPECT_EQ(c.at(0).Cdb(), Bytes({0xEE, 0x8B, 0, 0, 0, 0, 0x01, 0, 4, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.at(1).Cdb(), Bytes({0xEE, 0x8B, 0, 0, 0, 0, 0x07, 0, 0, 0, 0, 3, 0, 0, 0, 0}));
    EXPECT_EQ(c[1].Header().dataIn, devio::kNoData);
    EXPECT_EQ(c[1].input.size(), 80u);
    ExpectAllOnSlot(bench);
}

TEST(EnclosureOperations, AtaIdentifyGoesThroughTheAtaPassThrough) {
    Bench bench;
    Handles handles;
    const Buffer identify = Pattern(512, 0x40);
    Buffer data(512, 0xCC);
    bench.stack.Script({true, 0, identify, 0});
    EXPECT_EQ(corelink::ATAIdentify_USD(bench.device, handles.get(), kSlot, 512, data.data()), 1);
    EXPECT_EQ(data, identify);
    const ControlRecord& r = bench.stack.controls.at(0);
    EXPECT_EQ(r.Cdb(), Bytes({0xA1, 0x08, 0x0D, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.Header().dataTransferLength, 512u);
    EXPECT_EQ(r.outputSize, 592u);
    EXPECT_EQ(bench.tracer.lines, (Lines{"ATAIdentify_USD()", "ATACommandRead()"}));
}

TEST(EnclosureOperations, SpiAccessPacksItsValues) {
    Bench bench;
    Handles handles;
    Buffer data = Pattern(32, 3);
    bench.stack.Script({true, 0, Pattern(32, 0x90), 0});
    EXPECT_EQ(corelink::ReadSPI_USD(bench.device, handles.get(), kSlot, 3, 0xA1B2C3D4, 0x00012345, 0x5A, 0x0ABC, 32,
                                    data.data()),
              1);
    EXPECT_EQ(data, Pattern(32, 0x90));
    // word9 0x0ABC gives bits 4..11 = 0xAB; word12 lands big-endian in bytes 12..15.
    const Buffer spiCdb = {0xEE, 0x80, 0x00, 0x01, 0x23, 0x45, 0x7F, 0x00,
                           0x20, 0xAB, 0x5A, 0x03, 0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(bench.stack.controls.at(0).Cdb(), spiCdb);
    EXPECT_EQ(bench.stack.controls[0].Header().dataIn, devio::kDataIn);

    EXPECT_EQ(corelink::ReadSPI_USD(bench.device, handles.get(), kSlot, 2, 0xA1B2C3D4, 0x00012345, 0x5A, 0x0ABC, 32,
                                    data.data()),
              1);
    Buffer writeCdb = spiCdb;
    writeCdb[11] = 0x02;
    EXPECT_EQ(bench.stack.controls.at(1).Cdb(), writeCdb);
    EXPECT_EQ(bench.stack.controls[1].Header().dataIn, devio::kDataOut);
    EXPECT_EQ(bench.stack.controls[1].Data(), data);
    EXPECT_EQ(bench.tracer.lines,
              (Lines{"ReadSPI_USD()", " TestCommandRead()", "WriteSPI_USD()", " TestCommandWrite()"}));
}

// ---------------------------------------------------------------- suspend and timer

namespace {

// What the controller holds before a settings change.
struct DeviceSettings {
    Buffer powerInfo = {0x10, 0x20, 0x30, 0x5A};
    Buffer firmware = Pattern(0x6000, 0x11);
    Buffer eeprom = Pattern(256, 0x22);
};

void ScriptSettingsReads(Bench& bench, const DeviceSettings& settings) {
    bench.stack.Script({true, 0, settings.powerInfo, 0});
    for (std::size_t offset = 0; offset < settings.firmware.size(); offset += 4096)
        bench.stack.Script({true, 0, Buffer(settings.firmware.begin() + offset,
                                            settings.firmware.begin() + offset + 4096), 0});
    bench.stack.Script({true, 0, settings.eeprom, 0});
}

// Checks the 15 commands of a settings change around the power command, and returns the EEPROM
// image that was written.
Buffer ExpectSettingsSequence(const Bench& bench, const DeviceSettings& settings, const Buffer& powerCdb) {
    const auto& c = bench.stack.controls;
    EXPECT_EQ(c.size(), 1u + 6 + 1 + 1 + 6 + 1);
    if (c.size() != 16) return {};
    EXPECT_EQ(c[0].Cdb(), Bytes({0xEE, 0x8B, 0, 0, 0, 0, 0x01, 0, 4, 0, 0, 0, 0, 0, 0, 0}));
    for (int piece = 0; piece < 6; ++piece) {
        SCOPED_TRACE(testing::Message() << "firmware piece " << piece);
        const int high = piece * 0x10;  // offset 4096 * piece, byte 4 of the address
        EXPECT_EQ(c[1 + piece].Cdb(), Bytes({0xEE, 0x80, 0, 0, high, 0, 0x81, 0x10, 0, 0, 0, 1, 0, 0, 0, 0}));
        EXPECT_EQ(c[1 + piece].Header().dataIn, devio::kDataIn);
        const ControlRecord& back = c[9 + piece];
        EXPECT_EQ(back.Cdb(), Bytes({0xEE, 0x80, 0, 0, high, 0, 0x81, 0x10, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(back.Header().dataIn, devio::kDataOut);
        EXPECT_EQ(back.Data(), Buffer(settings.firmware.begin() + piece * 4096,
                                      settings.firmware.begin() + (piece + 1) * 4096));
    }
    EXPECT_EQ(c[7].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0, 0x80, 0x01, 0x00, 0, 0, 1, 0x5A, 0, 0, 0}));
    EXPECT_EQ(c[8].Cdb(), powerCdb);
    EXPECT_EQ(c[8].Header().dataIn, devio::kNoData);
    EXPECT_EQ(c[15].Cdb(), Bytes({0xEE, 0x80, 0, 0, 0, 0, 0x80, 0x01, 0x00, 0, 0, 0, 0x5A, 0, 0, 0}));
    EXPECT_EQ(c[15].Header().dataIn, devio::kDataOut);
    return c[15].Data();
}

}  // namespace

TEST(SettingsChanges, SuspendOnAndOffRewriteTheEeprom) {
    struct Case {
        std::uint8_t enable;
        std::uint8_t powerCode;
        std::uint8_t switchByte;
        const char* trace;
    };
    for (const Case& c : {Case{1, 0x02, 1, "EnableSuspned_USD()"}, Case{2, 0x03, 0, "DisableSuspned_USD()"},
                          Case{0, 0x03, 0, "DisableSuspned_USD()"}}) {
        SCOPED_TRACE(testing::Message() << "enable " << int{c.enable});
        Bench bench;
        Handles handles;
        const DeviceSettings settings;
        ScriptSettingsReads(bench, settings);
        EXPECT_EQ(corelink::EnableSuspned_USD(bench.device, handles.get(), kSlot, c.enable), 1);
        const Buffer written = ExpectSettingsSequence(
            bench, settings, Bytes({0xEE, 0x8B, 0, 0, 0, 0, c.powerCode, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        ASSERT_EQ(written.size(), 256u);
        EXPECT_EQ(written[249], c.switchByte);
        EXPECT_EQ(WordSum(written), 0);
        EXPECT_EQ(Buffer(written.begin() + 2, written.begin() + 249), Buffer(settings.eeprom.begin() + 2,
                                                                             settings.eeprom.begin() + 249));
        EXPECT_EQ(Buffer(written.begin() + 250, written.end()), Buffer(settings.eeprom.begin() + 250,
                                                                       settings.eeprom.end()));
        ExpectAllOnSlot(bench);
        EXPECT_NE(std::find(bench.tracer.lines.begin(), bench.tracer.lines.end(), c.trace), bench.tracer.lines.end());
    }
}

TEST(SettingsChanges, TimerGoesToThePowerCommandAndTheEeprom) {
    Bench bench;
    Handles handles;
    const DeviceSettings settings;
    ScriptSettingsReads(bench, settings);
    EXPECT_EQ(corelink::SetTimer_USD(bench.device, handles.get(), kSlot, 0x012C), 1);
    const Buffer written =
        ExpectSettingsSequence(bench, settings, Bytes({0xEE, 0x8B, 0, 0, 0, 0, 0x04, 0, 0, 0, 0, 0x01, 0x2C, 0, 0, 0}));
    ASSERT_EQ(written.size(), 256u);
    EXPECT_EQ(written[250], 0x01);
    EXPECT_EQ(written[251], 0x2C);
    EXPECT_EQ(written[249], settings.eeprom[249]);
    EXPECT_EQ(WordSum(written), 0);
    EXPECT_EQ(bench.tracer.lines.at(8), "SetTimer_USD()") << "after the power read, six firmware and one EEPROM read";
}

TEST(SettingsChanges, NothingIsWrittenAfterAFailedReadOrARefusedPowerCommand) {
    // Reads 0..7 are the power information, the six firmware pieces and the EEPROM; command 8
    // is the power command.
    for (std::size_t failing = 0; failing <= 8; ++failing) {
        for (const bool delivered : {false, true}) {
            SCOPED_TRACE(testing::Message() << "command " << failing << (delivered ? " answers CHECK CONDITION"
                                                                                     : " is not delivered"));
            Bench bench;
            Handles handles;
            for (std::size_t i = 0; i < failing; ++i) bench.stack.Script({});
            bench.stack.Script({delivered, devio::kScsiStatusCheckCondition, {}, delivered ? 0 : 31u});
            EXPECT_EQ(corelink::SetTimer_USD(bench.device, handles.get(), kSlot, 0x0102), 0);
            EXPECT_EQ(bench.stack.controls.size(), failing + 1) << "nothing after the failure";
            for (const ControlRecord& sent : bench.stack.controls) {
                EXPECT_NE(sent.Header().dataIn, devio::kDataOut) << "no write-back";
            }
        }
    }
}

TEST(SettingsChanges, AFailedWriteBackIsReportedAndEndsTheChange) {
    {
        Bench bench;
        Handles handles;
        for (int i = 0; i < 15; ++i) bench.stack.Script({});
        bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
        EXPECT_EQ(corelink::EnableSuspned_USD(bench.device, handles.get(), kSlot, 1), 0) << "the EEPROM write";
        EXPECT_EQ(bench.stack.controls.size(), 16u);
    }
    {
        Bench bench;
        Handles handles;
        for (int i = 0; i < 10; ++i) bench.stack.Script({});
        bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});  // the second firmware piece
        EXPECT_EQ(corelink::EnableSuspned_USD(bench.device, handles.get(), kSlot, 1), 0);
        EXPECT_EQ(bench.stack.controls.size(), 11u) << "neither the later pieces nor the EEPROM";
    }
}

TEST(EepromImage, ChecksumMakesTheWordsAddUpToZero) {
    std::array<std::uint8_t, corelink::kEepromSize> image{};
    EXPECT_EQ(corelink::EepromChecksum(image), 0) << "an all-zero image needs no correction";
    image.fill(0xFF);
    corelink::SealEeprom(image);
    EXPECT_EQ(image[0], 0x00);
    EXPECT_EQ(image[1], 0x7F);  // 127 words of 0xFFFF add up to 0x...FF81; 0x10000 - 0xFF81
    EXPECT_EQ(WordSum(Buffer(image.begin(), image.end())), 0);
    image[0] = 0x12;  // the stored checksum is not counted
    EXPECT_EQ(corelink::EepromChecksum(image), 0x007F);
}

// ---------------------------------------------------------------- open, close, INQUIRY

TEST(OpenAndClose, OpenByPathStoresTheHandleAndWakesTheDevice) {
    Bench bench;
    Handles handles;
    bench.stack.nextHandle = 0xABCD;
    bench.stack.Script({true, devio::kScsiStatusCheckCondition, {}, 0});
    const char* path = "\\\\?\\usbstor#disk&ven_x&prod_y#0001#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
    EXPECT_EQ(corelink::OpenDiskPathBySymbolicName(bench.device, handles.get(), 7, path), 1);
    EXPECT_EQ(handles.slots[7], 0xABCDu);
    ASSERT_EQ(bench.stack.opens.size(), 1u);
    const auto& open = bench.stack.opens[0];
    EXPECT_EQ(open.path, path);
    EXPECT_EQ(open.access, devio::kGenericRead | devio::kGenericWrite);
    EXPECT_EQ(open.share, devio::kShareRead | devio::kShareWrite);
    EXPECT_EQ(open.disposition, devio::kOpenExisting);
    EXPECT_EQ(open.flags, 0u);
    ASSERT_EQ(bench.stack.controls.size(), 1u);
    EXPECT_EQ(bench.stack.controls[0].handle, 0xABCDu);
    EXPECT_EQ(bench.stack.controls[0].Cdb(), Buffer(16, 0));
    EXPECT_EQ(bench.tracer.lines,
              (Lines{" SendTestUnitReady()", "OpenDiskPathBySymbolicName(Index=7, Handle=abcd)"}));
}

TEST(OpenAndClose, FailedOpensStoreTheInvalidHandle) {
    Bench bench;
    Handles handles;
    bench.stack.nextHandle = devio::kInvalidDeviceHandle;
    EXPECT_EQ(corelink::OpenDiskPathBySymbolicName(bench.device, handles.get(), 7, "\\\\?\\nothing"), 0);
    EXPECT_EQ(handles.slots[7], devio::kInvalidDeviceHandle);
    EXPECT_TRUE(bench.stack.controls.empty());
    EXPECT_EQ(bench.tracer.lines, (Lines{"OpenDiskPathBySymbolicName(Index=7, Handle=ffffffff)"}));
}

TEST(OpenAndClose, OpenResultIgnoresTheDevicesAnswerButNotAnUndeliveredStatus) {
    Bench bench;
    Handles handles;
    bench.stack.Script({false, 0, {}, devio::kErrorInvalidParameter});
    EXPECT_EQ(corelink::OpenDiskPathBySymbolicName(bench.device, handles.get(), 1, "x"), 1);
    bench.stack.Script({false, devio::kScsiStatusCheckCondition, {}, devio::kErrorInvalidParameter});
    EXPECT_EQ(corelink::OpenDiskPathBySymbolicName(bench.device, handles.get(), 1, "x"), 0);
}

TEST(OpenAndClose, OpenByDriveLetterUsesTheLetterIndexAsSlot) {
    Bench bench;
    Handles handles;
    EXPECT_EQ(corelink::OpenDiskPath(bench.device, handles.get(), 2), 1);
    EXPECT_EQ(corelink::OpenDiskPath(bench.device, handles.get(), 23), 1);
    ASSERT_EQ(bench.stack.opens.size(), 2u);
    EXPECT_EQ(bench.stack.opens[0].path, "\\\\.\\E:");
    EXPECT_EQ(bench.stack.opens[1].path, "\\\\.\\Z:");
    EXPECT_EQ(handles.slots[2], bench.stack.nextHandle);
    EXPECT_EQ(handles.slots[23], bench.stack.nextHandle);
    EXPECT_EQ(bench.tracer.lines.at(0), "OpenDiskPath()");

    // Letters beyond Z (or before C) open nothing and store nothing.
    EXPECT_EQ(corelink::OpenDiskPath(bench.device, handles.get(), 24), 0);
    EXPECT_EQ(corelink::OpenDiskPath(bench.device, handles.get(), -1), 0);
    EXPECT_EQ(bench.stack.opens.size(), 2u);
    EXPECT_EQ(handles.slots[24], kOther);
}

TEST(OpenAndClose, CloseClosesTheSlotsHandleAndInvalidatesTheSlot) {
    Bench bench;
    Handles handles;
    EXPECT_EQ(corelink::CloseDiskPath(bench.device, handles.get(), kSlot), 1);
    EXPECT_EQ(bench.stack.closes, (std::vector<devio::DeviceHandle>{Bench::kHandle}));
    EXPECT_EQ(handles.slots[kSlot], devio::kInvalidDeviceHandle) << "a reused handle value is never reached";
    EXPECT_EQ(bench.tracer.lines, (Lines{"CloseDiskPath(Index=5, Handle=4242)"}));

    EXPECT_EQ(corelink::CloseDiskPath(bench.device, handles.get(), kSlot), 1);
    EXPECT_EQ(bench.stack.closes.size(), 1u) << "a closed slot is not closed twice";
    std::uint8_t button = 0;
    corelink::ReadButton_USD(bench.device, handles.get(), kSlot, 1, 0, &button);
    ASSERT_EQ(bench.stack.controls.size(), 1u);
    EXPECT_EQ(bench.stack.controls[0].handle, devio::kInvalidDeviceHandle);
}

// Every operation that takes the handle array answers 0 for a missing one, and neither opens
// nor sends anything.
TEST(OpenAndClose, MissingHandleArrayIsRefusedEverywhere) {
    Bench bench;
    bench.stack.replies.clear();
    Buffer data(512, 0xCC);
    const std::vector<std::pair<const char*, std::function<int(corelink::Device&)>>> operations = {
        {"OpenDiskPathBySymbolicName",
         [](corelink::Device& d) { return corelink::OpenDiskPathBySymbolicName(d, nullptr, 1, "\\\\?\\x"); }},
        {"OpenDiskPath", [](corelink::Device& d) { return corelink::OpenDiskPath(d, nullptr, 2); }},
        {"CloseDiskPath", [](corelink::Device& d) { return corelink::CloseDiskPath(d, nullptr, 1); }},
        {"ReadInquery", [&](corelink::Device& d) { return corelink::ReadInquery(d, nullptr, 1, data.data()); }},
        {"ReadButton_USD read",
         [&](corelink::Device& d) { return corelink::ReadButton_USD(d, nullptr, 1, 1, 0, data.data()); }},
        {"ReadButton_USD write",
         [&](corelink::Device& d) { return corelink::ReadButton_USD(d, nullptr, 1, 0, 2, data.data()); }},
        {"ReadEEPROM_USD",
         [&](corelink::Device& d) { return corelink::ReadEEPROM_USD(d, nullptr, 1, 1, 0, 0, 0, 256, data.data()); }},
        {"ReadFW_USD",
         [&](corelink::Device& d) { return corelink::ReadFW_USD(d, nullptr, 1, 0, 0, 0, 16, data.data()); }},
        {"GetPMInfo_USD", [&](corelink::Device& d) { return corelink::GetPMInfo_USD(d, nullptr, 1, 4, data.data()); }},
        {"EnableSuspned_USD", [](corelink::Device& d) { return corelink::EnableSuspned_USD(d, nullptr, 1, 1); }},
        {"SetTimer_USD", [](corelink::Device& d) { return corelink::SetTimer_USD(d, nullptr, 1, 5); }},
        {"SetHDCapLED_USD", [](corelink::Device& d) { return corelink::SetHDCapLED_USD(d, nullptr, 1, 1); }},
        {"ATAIdentify_USD",
         [&](corelink::Device& d) { return corelink::ATAIdentify_USD(d, nullptr, 1, 512, data.data()); }},
        {"ReadSPI_USD",
         [&](corelink::Device& d) { return corelink::ReadSPI_USD(d, nullptr, 1, 1, 0, 0, 0, 0, 16, data.data()); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        EXPECT_EQ(operation(bench.device), 0);
    }
    EXPECT_TRUE(bench.stack.opens.empty());
    EXPECT_TRUE(bench.stack.controls.empty());
    EXPECT_TRUE(bench.stack.closes.empty());
    EXPECT_EQ(data, Buffer(512, 0xCC));
}

TEST(OpenAndClose, SlotsAreTheLowEightBitsOfTheArgument) {
    Bench bench;
    Handles handles;
    std::uint8_t button = 0;
    const int wide = 0x105;  // as a caller may pass it through a wider integer
    corelink::ReadButton_USD(bench.device, handles.get(), static_cast<std::uint8_t>(wide), 1, 0, &button);
    ASSERT_EQ(bench.stack.controls.size(), 1u);
    EXPECT_EQ(bench.stack.controls[0].handle, Bench::kHandle);
}

TEST(Inquiry, ReadInqueryHandsOver128Bytes) {
    Bench bench;
    Handles handles;
    const Buffer reply = Pattern(128, 0x51);
    Buffer data(128, 0xCC);
    bench.stack.Script({true, 0, reply, 0});
    EXPECT_EQ(corelink::ReadInquery(bench.device, handles.get(), kSlot, data.data()), 1);
    EXPECT_EQ(data, reply);
    const ControlRecord& r = bench.stack.controls.at(0);
    EXPECT_EQ(r.handle, Bench::kHandle);
    EXPECT_EQ(r.Cdb(), Bytes({0x12, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(bench.tracer.lines, (Lines{"ReadInquery()", " SendInquiry()"}));

    data.assign(128, 0xCC);
    bench.stack.Script({false, 0, reply, devio::kErrorInvalidHandle});
    EXPECT_EQ(corelink::ReadInquery(bench.device, handles.get(), kSlot, data.data()), 0);
    EXPECT_EQ(data, Buffer(128, 0xCC));
}
