// Corelink.ax on the simulated enclosure, as the applications use it: created through its class
// object, it opens the enclosure by its device path and reads and writes the button, the
// EEPROM, the power settings and the drive's IDENTIFY data. The rig's command log shows the
// exact command blocks that reached the controller.
#include <initguid.h>

#include "corelink_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/core/device_list.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/temp_folder.h"
#include "rig/core/command_log.h"
#include "rig/core/machine_view.h"
#include "rig/core/rig_control.h"
#include "rig/core/rig_device_stack.h"
#include "rig/tests/topology_fixture.h"

namespace {

// The enclosure on port 1 of the root hub; a second one sits behind an external hub.
constexpr const char* kInterface = rig_test::kBackupInterface;
constexpr BYTE kSlot = 3;

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text).value_or(""); }

// A rig with one enclosure, chosen for the process before the component is loaded.
class CorelinkOnRig : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new testing_support::TempFolder();
        rigFile = folder->File(L"test.rig");
        std::ofstream(std::filesystem::path(rigFile)) << rig_test::TopologyRigText();
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());

        module = ::LoadLibraryW(L"Corelink.ax");
        ASSERT_NE(module, nullptr);
        IClassFactory* factory = win32_test::ClassFactoryOf(module);
        ASSERT_NE(factory, nullptr);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl, reinterpret_cast<void**>(&corelink)), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl2, reinterpret_cast<void**>(&corelink2)), S_OK);
        factory->Release();
    }
    static void TearDownTestSuite() {
        if (corelink) corelink->Release();
        corelink = nullptr;
        if (corelink2) corelink2->Release();
        corelink2 = nullptr;
        delete folder;
        folder = nullptr;
    }
    void SetUp() override {
        handles.fill(INVALID_HANDLE_VALUE);
        ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, kInterface), 1);
        ASSERT_NE(handles[kSlot], INVALID_HANDLE_VALUE);
    }
    void TearDown() override { corelink->CloseDiskPath(handles.data(), kSlot); }

    // rigctl's "fail" switch with the words of `rule` ("off" clears the rules).
    static int Fail(const std::string& rule) {
        std::vector<std::string> arguments{"fail"};
        std::istringstream words(rule);
        for (std::string word; words >> word;) arguments.push_back(word);
        return Rigctl(arguments);
    }
    static int Rigctl(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{Utf8(rigFile)};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::ostringstream out, err;
        return rig::RunRigControl(rig::PlatformFileSystem(), all, out, err);
    }
    // The command blocks the controller received, oldest first.
    static std::vector<rig::LogRecord> Log() {
        std::ifstream in(std::filesystem::path(folder->File(L"test.log")), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        return rig::ParseCommandLog(bytes).records;
    }
    static std::vector<std::uint8_t> Cdb(const rig::LogRecord& record) {
        return {record.header.cdb, record.header.cdb + 16};
    }
    BYTE ReadButton() {
        BYTE state = 0;
        EXPECT_EQ(corelink->ReadButton_USD(handles.data(), kSlot, 1, 0, &state), 1);
        return state;
    }
    std::array<BYTE, 256> ReadEeprom() {
        std::array<BYTE, 256> image{};
        EXPECT_EQ(corelink->ReadEEPROM_USD(handles.data(), kSlot, 1, 0, 0, 0, 256, image.data()), 1);
        return image;
    }
    static unsigned WordSum(const std::array<BYTE, 256>& image) {
        unsigned sum = 0;
        for (size_t i = 0; i < image.size(); i += 2) sum += (image[i] << 8) | image[i + 1];
        return sum & 0xFFFF;
    }

    static inline testing_support::TempFolder* folder = nullptr;
    static inline std::wstring rigFile;
    static inline HMODULE module = nullptr;
    static inline ICorelinkCtrl* corelink = nullptr;
    static inline ICorelinkCtrl2* corelink2 = nullptr;
    std::array<HANDLE, 256> handles{};
};

TEST_F(CorelinkOnRig, ButtonPressIsReadThenAcknowledged) {
    EXPECT_TRUE(ReadButton() & 0x02) << "released";
    ASSERT_EQ(Rigctl({"press"}), 0);
    EXPECT_FALSE(ReadButton() & 0x02) << "pressed: bit 0x02 clear";
    EXPECT_FALSE(ReadButton() & 0x02) << "stays pressed until acknowledged";

    BYTE acknowledge = 0;
    EXPECT_EQ(corelink->ReadButton_USD(handles.data(), kSlot, 0, 2, &acknowledge), 1);
    EXPECT_EQ(acknowledge, 0) << "a write leaves the buffer alone";
    EXPECT_TRUE(ReadButton() & 0x02);

    const std::vector<rig::LogRecord> log = Log();
    ASSERT_GE(log.size(), 2u);
    const rig::LogRecord& read = log[log.size() - 1];
    EXPECT_EQ(Cdb(read), (std::vector<std::uint8_t>{0xEE, 0x80, 0, 0, 0, 0, 0x87, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(read.header.dataIn, 1);
    EXPECT_EQ(read.header.dataTransferLength, 1u);
    EXPECT_EQ(read.header.cdbLength, 16);
    EXPECT_EQ(read.header.timeOutValue, 3u);
    const rig::LogRecord& write = log[log.size() - 2];
    EXPECT_EQ(Cdb(write), (std::vector<std::uint8_t>{0xEE, 0x80, 0, 0, 0, 0, 0x88, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(write.header.dataIn, 0);
    EXPECT_EQ(write.dataOut, std::vector<std::uint8_t>{2});
}

TEST_F(CorelinkOnRig, IdentityOfTheEnclosureAndItsDrive) {
    std::array<BYTE, 128> inquiry{};
    ASSERT_EQ(corelink->ReadInquery(handles.data(), kSlot, inquiry.data()), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&inquiry[36]), 4), "QKTR");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&inquiry[44]), 4), "4327");

    std::array<BYTE, 512> identify{};
    ASSERT_EQ(corelink->ATAIdentify_USD(handles.data(), kSlot, 512, identify.data()), 1);
    EXPECT_NE(identify, (std::array<BYTE, 512>{}));
    EXPECT_EQ(Cdb(Log().back()),
              (std::vector<std::uint8_t>{0xA1, 0x08, 0x0D, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CorelinkOnRig, PowerSettingsLeaveAValidEeprom) {
    ASSERT_EQ(corelink->SetTimer_USD(handles.data(), kSlot, 0x012C), 1);
    std::array<BYTE, 256> image = ReadEeprom();
    EXPECT_EQ(image[250], 0x01);
    EXPECT_EQ(image[251], 0x2C);
    EXPECT_EQ(WordSum(image), 0u);

    ASSERT_EQ(corelink->EnableSuspned_USD(handles.data(), kSlot, 1), 1);
    image = ReadEeprom();
    EXPECT_EQ(image[249], 1);
    EXPECT_EQ(WordSum(image), 0u);
    ASSERT_EQ(corelink->EnableSuspned_USD(handles.data(), kSlot, 2), 1) << "anything but 1 disables";
    image = ReadEeprom();
    EXPECT_EQ(image[249], 0);
    EXPECT_EQ(image[251], 0x2C) << "the timer stays";
    EXPECT_EQ(WordSum(image), 0u);
}

TEST_F(CorelinkOnRig, ClosedOrUnknownDevicesFailAndLeaveBuffersAlone) {
    ASSERT_EQ(corelink->CloseDiskPath(handles.data(), kSlot), 1);
    BYTE untouched = 0x5A;
    EXPECT_EQ(corelink->ReadButton_USD(handles.data(), kSlot, 1, 0, &untouched), 0);
    EXPECT_EQ(untouched, 0x5A);

    std::array<HANDLE, 256> others;
    others.fill(INVALID_HANDLE_VALUE);
    EXPECT_EQ(corelink->OpenDiskPathBySymbolicName(others.data(), 0, "\\\\?\\usbstor#disk&ven_other#1#{x}"), 0);
    ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, kInterface), 1);  // for TearDown
}

// A null handle array: every slot that takes one answers 0, opens nothing and sends nothing.
TEST_F(CorelinkOnRig, NullHandleArrayIsRefusedBySlotsTakingHandles) {
    const std::size_t logged = Log().size();
    std::vector<BYTE> data(65536, 0xCD);
    BYTE* d = data.data();
    DWORD word = 0;
    HANDLE volume = INVALID_HANDLE_VALUE;
    ICorelinkCtrl* c = corelink;
    const int results[] = {
        c->OpenDiskPath(nullptr, 2), c->CloseDiskPath(nullptr, kSlot), c->ReadDisk(nullptr, kSlot, 0, 512, d),
        c->WriteDiskRetry(nullptr, kSlot, 0, 512, d), c->OpenDiskPathBySymbolicName(nullptr, kSlot, kInterface),
        c->BuildPhyDiskFileSystem(nullptr, kSlot, d), c->BuildPhyDiskFileSystemW(nullptr, kSlot, d),
        c->Disk_Lock(nullptr, kSlot, &volume), c->Disk_Unlock(nullptr, kSlot, volume),
        c->ReadButton_USD(nullptr, kSlot, 1, 0, d), c->ReadButton_USD(nullptr, kSlot, 0, 2, d),
        c->ReadEEPROM_USD(nullptr, kSlot, 1, 0, 0, 0, 256, d), c->ReadFW_USD(nullptr, kSlot, 1, 0, 0, 64, d),
        c->GetPMInfo_USD(nullptr, kSlot, 4, d), c->EnableSuspned_USD(nullptr, kSlot, 1),
        c->SetTimer_USD(nullptr, kSlot, 5), c->ScanFlashBlock(nullptr, kSlot, d, 64, 1, 0),
        c->FindISPAndCISUseBlock(nullptr, kSlot, d, d, d), c->BuildUFDSystemTable(nullptr, kSlot, d, d, d),
        c->ReadFlashID_UFD(nullptr, kSlot, 0, d), c->ReadCapacity(nullptr, kSlot, &word, &word),
        c->INITISP_UFD(nullptr, kSlot, 0, 16, d), c->CPUReset_UFD(nullptr, kSlot), c->SetHDCapLED_USD(nullptr, kSlot, 1),
        c->ReadCapacityEx(nullptr, kSlot, 0, &word, &word), c->ReadDiskEx(nullptr, kSlot, 0, 0, 512, d, &word),
        c->WriteDisk(nullptr, kSlot, 0, 0, 512, d, &word), c->ATAIdentify_USD(nullptr, kSlot, 512, d),
        c->UFDCacheClear_UFD(nullptr, kSlot), c->MediumLoadUnload_UFD(nullptr, kSlot, 0, 1),
        c->ReadInquery(nullptr, kSlot, d), c->ChipReset(nullptr, kSlot), c->BuildPhyDiskFileSystemExW(nullptr, kSlot, d, 0),
        c->ChipResetEx(nullptr, kSlot), c->ReadSPI_USD(nullptr, kSlot, 1, 0, 0, 0, 0, 16, d)};
    for (std::size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], 0) << "call " << i;

    ICorelinkCtrl2* c2 = corelink2;
    const int results2[] = {
        c2->ReadCode(nullptr, kSlot, 0, 16, d), c2->ReadData(nullptr, kSlot, 1, 0, 16, d),
        c2->ReadXdata(nullptr, kSlot, 1, 0, 16, d), c2->CPUReset(nullptr, kSlot), c2->ReadDeivceID(nullptr, kSlot, d),
        c2->ReadLUNCONFIG(nullptr, kSlot, 1, d), c2->ReadLUNDATA(nullptr, kSlot, 1, 0, 16, d),
        c2->DeviceChange(nullptr, kSlot), c2->MediaChange(nullptr, kSlot), c2->WriteProtect(nullptr, kSlot, 1),
        c2->ReadLunType(nullptr, kSlot, 1, 0, d), c2->ReadLunNo(nullptr, kSlot, 1, 0, d),
        c2->ReadLunID(nullptr, kSlot, 1, 0, d), c2->LogLunIndex(nullptr, kSlot, d), c2->HidLunIndex(nullptr, kSlot, d),
        c2->GetFWKey(nullptr, kSlot, 0, d), c2->InitPassWord(nullptr, kSlot, d), c2->GetPassWord(nullptr, kSlot, d),
        c2->VerifyPassWord(nullptr, kSlot, d), c2->CheckSecurity(nullptr, kSlot, 0, d), c2->ClearCache(nullptr, kSlot),
        c2->ReadEEPROM(nullptr, kSlot, 1, 0, 0, 0, 16, d), c2->ReadFW(nullptr, kSlot, 1, 0, 0, 16, d),
        c2->BIST(nullptr, kSlot, d), c2->DeviceConnect(nullptr, kSlot, 1), c2->Erase(nullptr, kSlot),
        c2->ReadPartition(nullptr, kSlot, 1, 0, 16, d), c2->ReadButton(nullptr, kSlot, 1, 0, d),
        c2->EndSgmt(nullptr, kSlot), c2->InitSgmt(nullptr, kSlot, 0, 0, 0, 16, d), c2->ReadFlashID(nullptr, kSlot, 0, d),
        c2->ReadSYSReady(nullptr, kSlot, 1, 0, d), c2->ReadSYSAddress(nullptr, kSlot, 1, d),
        c2->ReadFlashMethod(nullptr, kSlot, 1, d), c2->ReadSpare(nullptr, kSlot, 1, 0, 0, 0, 16, d),
        c2->BlockAccess(nullptr, kSlot, 1, 0, 0, 0, 0, 0, 16, d), c2->ReadBlockStatus(nullptr, kSlot, 0, d),
        c2->ReadSts(nullptr, kSlot, 0, d), c2->MarkBad(nullptr, kSlot, 0, 0, 0, 0),
        c2->CheckBad(nullptr, kSlot, 0, 0, 0, 0, 0, 16, d), c2->EraseSys(nullptr, kSlot, 0, 0, 0, 0, 0, 16, d),
        c2->ReadTestCmd(nullptr, kSlot, 1, 0, 0, 0, 0, 0, d)};
    for (std::size_t i = 0; i < std::size(results2); ++i) EXPECT_EQ(results2[i], 0) << "ICorelinkCtrl2 call " << i;

    EXPECT_EQ(Log().size(), logged) << "nothing reached the enclosure: no device was opened";
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](BYTE b) { return b == 0xCD; }));
}

TEST_F(CorelinkOnRig, ClosedSlotHoldsTheInvalidHandle) {
    ASSERT_EQ(corelink->CloseDiskPath(handles.data(), kSlot), 1);
    EXPECT_EQ(handles[kSlot], INVALID_HANDLE_VALUE) << "a later call through the slot reaches no reused handle";
    ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, kInterface), 1);  // for TearDown
}

// A settings change whose EEPROM read fails writes nothing back and says so.
TEST_F(CorelinkOnRig, FailedReadStopsASettingsChange) {
    const std::array<BYTE, 256> before = ReadEeprom();
    ASSERT_EQ(Fail("EE 80 .. .. .. .. 80 .. .. .. .. 01"), 0);
    const std::size_t logged = Log().size();
    EXPECT_EQ(corelink->EnableSuspned_USD(handles.data(), kSlot, 1), 0);
    EXPECT_EQ(corelink->SetTimer_USD(handles.data(), kSlot, 0x0200), 0);
    const std::vector<rig::LogRecord> log = Log();
    for (std::size_t i = logged; i < log.size(); ++i) EXPECT_EQ(log[i].header.dataIn, 1) << "only reads";
    ASSERT_EQ(Fail("off"), 0);
    EXPECT_EQ(ReadEeprom(), before);
}

// An allocation failure inside an operation (the rig throws where an allocation would) is
// answered with the operation's failure value; nothing escapes into the caller, nothing stays
// locked or open.
TEST_F(CorelinkOnRig, AllocationFailureInsideAnOperationIsAnsweredNotThrown) {
    ASSERT_EQ(Fail("out-of-memory EE 80 .. .. .. .. 87"), 0);
    BYTE button = 0x5A;
    EXPECT_EQ(corelink->ReadButton_USD(handles.data(), kSlot, 1, 0, &button), 0);
    EXPECT_EQ(button, 0x5A);
    ASSERT_EQ(Fail("out-of-memory 12"), 0);
    std::array<BYTE, 128> inquiry{};
    EXPECT_EQ(corelink->ReadInquery(handles.data(), kSlot, inquiry.data()), 0);
    std::vector<devio::DiskPathEntry> disks(32);
    EXPECT_EQ(corelink->ScanDiskPathBySymbolicName(disks.data()), 0);
    std::vector<devio::DeviceListEntry> list(devio::kDeviceListRecords);
    EXPECT_EQ(corelink->ScanUSBPort(list.data()), 0);
    ASSERT_EQ(Fail("out-of-memory 00"), 0);
    std::array<HANDLE, 256> others;
    others.fill(INVALID_HANDLE_VALUE);
    EXPECT_EQ(corelink->OpenDiskPathBySymbolicName(others.data(), 1, kInterface), 0);
    EXPECT_EQ(others[1], INVALID_HANDLE_VALUE) << "the handle whose wake-up failed was closed again";

    ASSERT_EQ(Fail("off"), 0);
    EXPECT_EQ(corelink->ScanUSBPort(list.data()), 1) << "the scan lock was released";
    EXPECT_EQ(corelink->ReadButton_USD(handles.data(), kSlot, 1, 0, &button), 1);
}

// The applications' discovery: the port walk finds both enclosures with their ports, identities
// and drive letters, and a record's disk path opens the device.
TEST_F(CorelinkOnRig, PortWalkFindsTheEnclosuresAndTheirDisksOpen) {
    std::vector<devio::DeviceListEntry> list(devio::kDeviceListRecords);
    ASSERT_EQ(corelink->ScanUSBPort(list.data()), 1);
    const devio::DeviceListEntry& backup = list[0];
    EXPECT_EQ(backup.connected, 1);
    EXPECT_EQ(backup.vendorId, 0x1A2B);
    EXPECT_EQ(backup.productId, 0x3C4D);
    EXPECT_EQ(backup.hubDepth, 1);
    EXPECT_EQ(backup.portIndex, 1u);
    EXPECT_STREQ(backup.disk.devicePath, kInterface);
    ASSERT_EQ(backup.disk.driveLetterCount, 1);
    EXPECT_EQ(backup.disk.driveLetters[0], 'E');
    EXPECT_EQ(backup.disk.isTovi, 1);
    EXPECT_EQ(list[1].connected, 1) << "the enclosure behind the external hub";
    EXPECT_EQ(list[1].hubDepth, 2);
    EXPECT_EQ(list[2].connected, 0);

    std::array<HANDLE, 256> found;
    found.fill(INVALID_HANDLE_VALUE);
    ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(found.data(), backup.diskIndex, backup.disk.devicePath), 1);
    BYTE state = 0;
    EXPECT_EQ(corelink->ReadButton_USD(found.data(), backup.diskIndex, 1, 0, &state), 1);
    EXPECT_EQ(corelink->CloseDiskPath(found.data(), backup.diskIndex), 1);
}

// ---------------------------------------------------------------- the second interface

std::string HexCdb(const rig::LogRecord& record) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < record.header.cdbLength; ++i) {
        std::snprintf(byte, sizeof byte, "%s%02X", i == 0 ? "" : " ", record.header.cdb[i]);
        text += byte;
    }
    return text;
}

// The component hands each argument to the CDB byte the command tables name.
TEST_F(CorelinkOnRig, SecondInterfacePlacesEveryArgument) {
    std::vector<BYTE> data(4096, 0x3C);
    const std::size_t before = Log().size();
    EXPECT_EQ(corelink2->ReadLUNDATA(handles.data(), kSlot, 0, 0x1234, 3, data.data()), 1);
    EXPECT_EQ(corelink2->ReadEEPROM(handles.data(), kSlot, 1, 0x12, 0x34, 0x10, 0x20, data.data()), 1);
    EXPECT_EQ(corelink2->ReadFW(handles.data(), kSlot, 0, 0x07, 0x1000, 16, data.data()), 1);
    EXPECT_EQ(corelink2->ReadSpare(handles.data(), kSlot, 1, 0x11, 0x22, 0x01020304, 0x10, data.data()), 0);
    EXPECT_EQ(corelink2->InitSgmt(handles.data(), kSlot, 0x01, 0x02, 0x03, 4096, data.data()), 0);
    EXPECT_EQ(corelink2->MarkBad(handles.data(), kSlot, 0x0A0B0C0D, 1, 2, 3), 0);
    EXPECT_EQ(corelink2->CheckBad(handles.data(), kSlot, 0x100, 5, 6, 7, 8, 8, data.data()), 0);
    EXPECT_EQ(corelink2->ReadTestCmd(handles.data(), kSlot, 1, 0x80EE, 0, 0x00010087, 0, 0, data.data()), 1);
    EXPECT_EQ(corelink2->ReadButton(handles.data(), kSlot, 0, 5, data.data()), 1);
    EXPECT_EQ(corelink2->BlockAccess(handles.data(), kSlot, 0, 9, 0x04, 0x11223344, 0x5566, 0x200, 1024, data.data()),
              0);
    const auto log = Log();
    ASSERT_EQ(log.size(), before + 10);
    std::vector<std::string> cdbs;
    for (std::size_t i = before; i < log.size(); ++i) cdbs.push_back(HexCdb(log[i]));
    EXPECT_EQ(cdbs, (std::vector<std::string>{
                        "EE 02 00 00 12 34 2A 00 03 00 00 00 00 00 00 00",
                        "EE 80 00 00 00 10 80 00 20 00 00 01 12 34 00 00",
                        "EE 80 00 00 10 00 81 00 10 00 00 00 00 07 00 00",
                        "EE 95 01 02 03 04 88 00 10 11 22 00 00 00 00 00",
                        "EE 9F 00 01 02 03 81 00 08 00 00 00 00 00 00 00",
                        "EE 50 0A 0B 0C 0D 80 00 01 00 00 02 03 00 00 00",
                        "EE 51 00 00 01 00 00 00 08 05 06 07 08 00 00 00",
                        "EE 80 00 00 00 00 87 00 01 00 00 00 00 00 00 00",
                        "EE 80 00 00 00 00 88 00 01 00 00 05 00 00 00 00",
                        "EE 95 00 00 02 00 8B 09 02 04 44 33 22 11 66 55",
                    }));
    EXPECT_EQ(log[before + 8].dataOut, std::vector<std::uint8_t>{5}) << "the button value is also the data byte";
}

TEST_F(CorelinkOnRig, SecondInterfaceKeepsWhatWasWrittenAndRestoresTheCisModeByte) {
    std::array<BYTE, 64> area{};
    for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<BYTE>(0x80 + i);
    ASSERT_EQ(corelink2->ReadFlashMethod(handles.data(), kSlot, 0, area.data()), 1);
    std::array<BYTE, 64> back{};
    ASSERT_EQ(corelink2->ReadFlashMethod(handles.data(), kSlot, 1, back.data()), 1);
    EXPECT_EQ(back, area);

    BYTE mode = 0;
    ASSERT_EQ(corelink2->ReadXdata(handles.data(), kSlot, 1, 0x2360, 1, &mode), 1);
    std::vector<BYTE> block(512);
    corelink2->BlockAccess(handles.data(), kSlot, 1, 0, 0, 0x00534943, 0, 0, 512, block.data());
    BYTE after = 0;
    ASSERT_EQ(corelink2->ReadXdata(handles.data(), kSlot, 1, 0x2360, 1, &after), 1);
    EXPECT_EQ(after, mode);
    const auto log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(HexCdb(log[log.size() - 3]), "EE 95 00 00 00 00 89 00 01 80 00 01 00 00 00 00");
}

// ---------------------------------------------------------------- disk I/O, lock, removal

TEST_F(CorelinkOnRig, SectorsWrittenInChunksReadBackTheSame) {
    std::vector<BYTE> written(69632);
    for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<BYTE>(i * 13 + (i >> 8));
    ASSERT_EQ(corelink->WriteDiskRetry(handles.data(), kSlot, 10, static_cast<DWORD>(written.size()), written.data()),
              1);
    std::vector<BYTE> read(written.size(), 0);
    DWORD ticks = 0;
    ASSERT_EQ(corelink->ReadDiskEx(handles.data(), kSlot, 0, 10, static_cast<DWORD>(read.size()), read.data(), &ticks),
              1);
    EXPECT_EQ(read, written);
    EXPECT_GT(ticks, 0u) << "the performance counter moved during each chunk";
    const auto log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(HexCdb(log[log.size() - 2]), "28 00 00 00 00 0A 00 00 80 00");
    EXPECT_EQ(HexCdb(log[log.size() - 1]), "28 00 00 00 00 8A 00 00 08 00");

    EXPECT_EQ(corelink->ReadDisk(handles.data(), kSlot, 0, 1000, read.data()), 0) << "not whole sectors";
    EXPECT_EQ(corelink->ReadDisk(handles.data(), kSlot, 0, 512, nullptr), 0);
    EXPECT_EQ(Log().size(), log.size()) << "refused before anything was sent";

    DWORD lastLba = 0, blockLength = 0;
    ASSERT_EQ(corelink->ReadCapacity(handles.data(), kSlot, &lastLba, &blockLength), 1);
    EXPECT_EQ(lastLba, 0x000FFFFFu);
    EXPECT_EQ(blockLength, 512u);
}

TEST_F(CorelinkOnRig, VolumeIsLockedAndGivenBack) {
    HANDLE volume = nullptr;
    ASSERT_EQ(corelink->Disk_Lock(handles.data(), kSlot, &volume), 1);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE) << "E: lies on this disk alone";
    EXPECT_EQ(corelink->Disk_Unlock(handles.data(), kSlot, volume), 1);
    // Given back, it can be locked again.
    ASSERT_EQ(corelink->Disk_Lock(handles.data(), kSlot, &volume), 1);
    ASSERT_NE(volume, INVALID_HANDLE_VALUE);
    EXPECT_EQ(corelink->Disk_Unlock(handles.data(), kSlot, volume), 1);
    EXPECT_EQ(corelink->Disk_Unlock(handles.data(), kSlot, INVALID_HANDLE_VALUE), 1) << "only the refresh";
}

TEST_F(CorelinkOnRig, SafeRemovalIsVetoedOrDone) {
    std::string error;
    const auto machine = rig::Rig::Load(rig::PlatformFileSystem(), Utf8(rigFile), error);
    ASSERT_TRUE(machine) << error;
    rig::RigDeviceStack view(machine);
    std::vector<devio::DeviceInterface> disks;
    view.EnumerateInterfaces(rig::kDiskInterfaceClass, disks);
    ASSERT_FALSE(disks.empty());
    ASSERT_EQ(disks[0].path, kInterface);

    ASSERT_EQ(Rigctl({"eject", "veto"}), 0);
    EXPECT_EQ(corelink->DeviceSafeRemoval(disks[0].instance), 0) << "three vetoes";
    ASSERT_EQ(Rigctl({"eject", "accept"}), 0);
    EXPECT_EQ(corelink->DeviceSafeRemoval(disks[0].instance), 1);
    std::uint32_t unplugged = 0;
    ASSERT_TRUE(machine->ReadUnplugged(unplugged, error)) << error;
    EXPECT_EQ(unplugged & 1u, 1u) << "the enclosure went away";
    ASSERT_EQ(Rigctl({"plug"}), 0);
}

TEST_F(CorelinkOnRig, RegistryCleanUpOnTheRigsRegistry) {
    std::string error;
    const auto machine = rig::Rig::Load(rig::PlatformFileSystem(), Utf8(rigFile), error);
    ASSERT_TRUE(machine) << error;
    rig::RigDeviceStack registry(machine);
    std::vector<std::string> names;
    const std::string usb = "SYSTEM\\CurrentControlSet\\Enum\\USB";
    ASSERT_TRUE(registry.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4E", names));

    EXPECT_EQ(corelink->DeleteDevRegistryRecordEx(0x1A2B, 0x3C4E, L"TOVI\\..", L"USB_Enclosure", L"1.00"), 0);
    EXPECT_TRUE(registry.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4E", names))
        << "a refused text deletes nothing";
    EXPECT_EQ(corelink->DeleteDevRegistryRecordEx(0x1A2B, 0x3C4E, L"TOVI", L"USB_Enclosure", L"1.00"), 1);
    EXPECT_FALSE(registry.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4E", names));
    EXPECT_FALSE(registry.EnumerateRegistryKeys(
        devio::RegistryHive::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_TOVI&Prod_USB_Enclosure&Rev_1.00",
        names));
    EXPECT_TRUE(registry.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, usb + "\\VID_1A2B&PID_3C4D", names));

    EXPECT_EQ(corelink->SetIgnoredRegistry(0x1A2B, 0x3C4D), 1);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> value;
    ASSERT_TRUE(registry.ReadRegistryValue(devio::RegistryHive::LocalMachine,
                                           "SYSTEM\\CurrentControlSet\\Control\\usbflags", "IgnoreHWSerNum1a2b3c4d",
                                           type, value));
    EXPECT_EQ(value, std::vector<std::uint8_t>{1});
    ASSERT_EQ(Rigctl({"reset"}), 0);  // the registry (and every device) as the rig file has them
}

}  // namespace
