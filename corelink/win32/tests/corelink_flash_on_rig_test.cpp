// Corelink.ax's flash maintenance on a simulated flash controller with a 2 x 2 NAND, through the
// component as a client uses it: the scan into a table the component made, the block search with
// a dump folder (and without one), the system tables with the message function replaced, and
// hostile records.
#include <initguid.h>

#include "corelink_api.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/core/text_codec.h"
#include "common/tests/win32/component_registration.h"
#include "common/tests/win32/temp_folder.h"
#include "rig/core/rig_control.h"
#include "rig/tests/nand_rig_fixture.h"

namespace {

constexpr BYTE kSlot = 3;

std::string Utf8(const std::wstring& text) { return common::WideToUtf8(text).value_or(""); }

std::vector<std::string> shown;  // what the message function was given
void WINAPI KeepMessage(const char* text, void* context) {
    shown.emplace_back(text);
    ++*static_cast<int*>(context);
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class CorelinkFlash : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new testing_support::TempFolder();
        rigFile = folder->File(L"flash.rig");
        std::ofstream(std::filesystem::path(rigFile)) << rig_test::NandRigText({2, 2, 1024, 64, 2048});
        ::SetEnvironmentVariableW(L"ENCLOSURE_RIG", rigFile.c_str());
        module = ::LoadLibraryW(L"Corelink.ax");
        ASSERT_NE(module, nullptr);
        IClassFactory* factory = win32_test::ClassFactoryOf(module);
        ASSERT_NE(factory, nullptr);
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
        ASSERT_EQ(Rigctl({"reset"}), 0);
        handles.fill(INVALID_HANDLE_VALUE);
        ASSERT_EQ(corelink->OpenDiskPathBySymbolicName(handles.data(), kSlot, rig_test::kFlashInterface), 1);
        table = corelink->CreateFlashTable(1, 2, 2, 128);
        ASSERT_NE(table, nullptr);
        chip = reinterpret_cast<BYTE*>(reinterpret_cast<CorelinkFlashTable*>(table)->chips[0]);
        debugBefore = Exists(L"C:\\Debug");
    }
    void TearDown() override {
        corelink->FreeFlashTable(table);
        corelink->CloseDiskPath(handles.data(), kSlot);
        corelink->SetDebugDmpFilePathSS(nullptr);
        EXPECT_EQ(Exists(L"C:\\Debug"), debugBefore) << "nothing is written to a folder no caller named";
    }
    static int Rigctl(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), Utf8(rigFile));
        std::ostringstream out, err;
        const int status = rig::RunRigControl(rig::PlatformFileSystem(), arguments, out, err);
        rigctlOut = out.str();
        return status;
    }
    std::array<BYTE, 14> Parameters(BYTE pairs, BYTE options) const {
        std::array<BYTE, 14> p{};
        p[0] = 4;
        const DWORD count = 4 * 8 * 64;
        std::memcpy(&p[1], &count, 4);
        p[5] = pairs;
        p[6] = options;
        p[7] = 4;
        p[9] = 4;
        p[10] = 8;
        return p;
    }

    static inline testing_support::TempFolder* folder = nullptr;
    static inline std::wstring rigFile;
    static inline std::string rigctlOut;
    static inline HMODULE module = nullptr;
    static inline ICorelinkCtrl* corelink = nullptr;
    std::array<HANDLE, 256> handles{};
    BYTE* table = nullptr;
    BYTE* chip = nullptr;
    bool debugBefore = false;
};

TEST_F(CorelinkFlash, ScansIntoTheComponentsTableAndKeepsTheGeometryForTheSearch) {
    ASSERT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0), 1);
    for (BYTE ce = 0; ce < 2; ++ce) {
        for (BYTE ch = 0; ch < 2; ++ch) {
            for (std::uint32_t bad : rig_test::FixtureBadBlocks(ce, ch, 1024)) {
                EXPECT_EQ(corelink->GetFlashTableBit(chip, ce, ch, bad / 8, static_cast<BYTE>(bad % 8)), 1) << bad;
            }
            EXPECT_EQ(corelink->GetFlashTableBit(chip, ce, ch, 0, 0), 0);  // system or good: clear
        }
    }
    std::array<BYTE, 1 + 7 * 4> found{};
    const auto p = Parameters(2, 0);
    EXPECT_EQ(corelink->FindISPAndCISUseBlock(handles.data(), kSlot, chip, found.data(), const_cast<BYTE*>(p.data())),
              1);
    EXPECT_EQ(found[0], 4);
}

TEST_F(CorelinkFlash, DumpsGoIntoTheNamedFolderOnlyAlsoWithoutItsTrailingSeparator) {
    const std::wstring dumps = folder->File(L"dumps");  // no trailing backslash, not created yet
    ASSERT_EQ(corelink->SetDebugDmpFilePathSS(dumps.c_str()), 1);
    ASSERT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0x80), 1);
    std::array<BYTE, 1 + 7 * 12> found{};
    const auto p = Parameters(6, 0x06);
    ASSERT_EQ(corelink->FindISPAndCISUseBlock(handles.data(), kSlot, chip, found.data(), const_cast<BYTE*>(p.data())),
              1);
    EXPECT_TRUE(Exists(dumps + L"\\BadBlockRec.txt"));
    EXPECT_TRUE(Exists(dumps + L"\\BlockMap_03.txt"));
    EXPECT_FALSE(Exists(dumps + L"BadBlockRec.txt"));  // never beside the folder
    std::ifstream rec(std::filesystem::path(dumps + L"\\BadBlockRec.txt"), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(rec), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("Bad Block RowAddress: 0x000000c0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("CE: 2, CH: 2, Entry: 128\r\n"), std::string::npos) << text;
    // The weak block's written and read units, under the dump folder.
    std::size_t units = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(dumps))) {
        const std::string name = Utf8(entry.path().filename().wstring());
        if (name.rfind("MarkBad(3), Addr=240, ", 0) == 0) {
            ++units;
            EXPECT_EQ(entry.file_size(), 16384u);
        }
    }
    EXPECT_EQ(units, 2u);
}

TEST_F(CorelinkFlash, AFolderThatCannotBeMadeLosesOnlyTheDump) {
    const std::wstring unreachable = folder->File(L"missing\\deeper\\dumps\\");
    ASSERT_EQ(corelink->SetDebugDmpFilePathSS(unreachable.c_str()), 1);
    EXPECT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0x80), 1);
    EXPECT_FALSE(Exists(folder->File(L"missing")));
    EXPECT_EQ(corelink->GetFlashTableBit(chip, 0, 0, 0, 3), 1);
}

TEST_F(CorelinkFlash, TheTableWritesMessageGoesToTheInstalledFunctionNotToAWindow) {
    const auto install = reinterpret_cast<CorelinkSetMessageHandlerFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module, CORELINK_SET_MESSAGE_HANDLER_EXPORT)));
    ASSERT_NE(install, nullptr);
    int calls = 0;
    install(KeepMessage, &calls);
    ASSERT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0), 1);
    ASSERT_EQ(Rigctl({"fail", "EE", "95", "..", "..", "..", "..", "8B", "04", "04", "..", "57", "43", "54"}), 0);
    auto p = Parameters(0, 0x04);
    std::array<BYTE, 30> capacity{};
    capacity[21] = 4;
    capacity[22] = 64;
    EXPECT_EQ(corelink->BuildUFDSystemTable(handles.data(), kSlot, chip, p.data(), capacity.data()), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(shown, std::vector<std::string>{"Write WCT Error"});
    install(nullptr, nullptr);  // dropped from now on
}

TEST_F(CorelinkFlash, HostileRecordsAreRefusedWithoutTouchingTheCallersMemory) {
    EXPECT_EQ(corelink->CreateFlashTable(1, 4, 5, 16), nullptr);
    EXPECT_EQ(corelink->CreateFlashTable(200, 4, 4, 0x01000000), nullptr);
    std::array<BYTE, 1 + 7 * 4> found;
    found.fill(0xCC);
    auto p = Parameters(2, 0);
    // An object that never scanned has no geometry to address blocks with.
    IClassFactory* factory = win32_test::ClassFactoryOf(module);
    ASSERT_NE(factory, nullptr);
    ICorelinkCtrl* fresh = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICorelinkCtrl, reinterpret_cast<void**>(&fresh)), S_OK);
    factory->Release();
    EXPECT_EQ(fresh->FindISPAndCISUseBlock(handles.data(), kSlot, chip, found.data(), p.data()), 0);
    fresh->Release();
    EXPECT_EQ(found[0], 0xCC);
    ASSERT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0), 1);
    p[0] = 17;
    EXPECT_EQ(corelink->FindISPAndCISUseBlock(handles.data(), kSlot, chip, found.data(), p.data()), 0);
    EXPECT_EQ(found[0], 0xCC);
    std::array<BYTE, 30> capacity{};  // a zero divisor
    p = Parameters(0, 0);
    EXPECT_EQ(corelink->BuildUFDSystemTable(handles.data(), kSlot, chip, p.data(), capacity.data()), 0);
    EXPECT_EQ(corelink->FindISPAndCISUseBlock(handles.data(), kSlot, nullptr, found.data(), p.data()), 0);
    chip[0] = 9;  // CH 9 in the caller's record
    EXPECT_EQ(corelink->ScanFlashBlock(handles.data(), kSlot, chip, 64, 0, 0), 0);
    chip[0] = 2;
}

}  // namespace
