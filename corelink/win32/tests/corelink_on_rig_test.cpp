// Corelink.ax on the simulated enclosure, as the applications use it: created through its class
// object, it opens the enclosure by its device path and reads and writes the button, the
// EEPROM, the power settings and the drive's IDENTIFY data. The rig's command log shows the
// exact command blocks that reached the controller.
#include <initguid.h>

#include "corelink_api.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/core/device_list.h"
#include "common/core/text_codec.h"
#include "common/tests/win32/temp_folder.h"
#include "rig/core/command_log.h"
#include "rig/core/rig_control.h"
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
        using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject(CLSID_Corelink, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl, reinterpret_cast<void**>(&corelink)), S_OK);
        factory->Release();
    }
    static void TearDownTestSuite() {
        if (corelink) corelink->Release();
        corelink = nullptr;
        delete folder;
        folder = nullptr;
    }
    void SetUp() override {
        handles.fill(INVALID_HANDLE_VALUE);
        ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, kInterface), 1);
        ASSERT_NE(handles[kSlot], INVALID_HANDLE_VALUE);
    }
    void TearDown() override { corelink->CloseDiskPath(handles.data(), kSlot); }

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

}  // namespace
