// Jobs bound to their drive, on two drives of the tests' Wine prefix that the fixture maps to
// folders with volume serial numbers of their own (".windows-serial" in the folder): S: holds
// drive 0xAAAA0001 and T: drive 0xBBBB0002. A drive "moved" is a job bound while its drive had
// another letter; a drive "unplugged" is a job bound to a serial no letter holds. (Wine reads
// the serials once, and only for drives it reports as fixed: such a drive counts as removable
// here by being one of an enclosure's letters.)
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "common/core/device_table.h"
#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/tests/win32/program_run.h"
#include "common/win32/system_info.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/win32/app_messages.h"
#include "copperfold/win32/copperfold_app.h"
#include "copperfold/win32/main_frame.h"

namespace {

using testing_support::TempFolder;

constexpr char kEnclosureOne[] =
    "\\\\?\\usbstor#disk&ven_tovi&prod_usb_enclosure&rev_1.00#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

void WriteText(const std::filesystem::path& file, const std::string& text) {
    testing_support::WriteBytes(file.wstring(), text);
}

class BoundJobs : public ::testing::Test {
protected:
    BoundJobs() {
        for (const wchar_t letter : {L'S', L'T'}) Clear(letter);
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.exe"), Program());
        std::filesystem::copy_file(win32::SiblingPath(win32::ModulePath(), L"Copperfold.ini"),
                                   folder.File(L"Copperfold.ini"));
        source = folder.File(L"Documents");
        std::filesystem::create_directories(source);
        testing_support::WriteBytes(source + L"\\letter.txt", "first");
    }
    ~BoundJobs() override {
        for (const wchar_t letter : {L'S', L'T'}) Clear(letter);
    }
    static void Clear(wchar_t letter) {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(Root(letter), ignored)) {
            if (entry.path().filename() == L".windows-serial") continue;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
    static std::filesystem::path Root(wchar_t letter) { return std::filesystem::path(std::wstring(1, letter) + L":\\"); }
    static DWORD SerialOf(wchar_t letter) {
        DWORD serial = 0;
        const std::wstring root = Root(letter).wstring();
        ::GetVolumeInformationW(root.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
        return serial;
    }
    std::wstring Program() const { return folder.File(L"Copperfold.exe"); }
    std::wstring Section() const { return MakeJobSection(win32::ComputerName(), win32::UserName()); }

    testing_support::ProgramResult Run(const std::wstring& arguments) {
        return testing_support::RunProgram(Program(), arguments, folder.Path());
    }

    TempFolder folder;
    std::wstring source;
};

TEST_F(BoundJobs, TheFixtureGivesTwoDrivesWithTheirOwnSerials) {
    EXPECT_EQ(SerialOf(L'S'), 0xAAAA0001u);
    EXPECT_EQ(SerialOf(L'T'), 0xBBBB0002u);
}

// Yesterday the backup drive was T:; today another drive took T: and the backup drive is S:.
TEST_F(BoundJobs, AJobFollowsItsDriveToAnotherLetterAndIsRefusedWithoutIt) {
    {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, Section());
        doc.AddJob(source, L"T:\\Backup", JobType::Backup, TargetBinding{0xAAAA0001, L""});
        doc.AddJob(source, L"S:\\Backup", JobType::Backup, TargetBinding{0xCCCC0003, L""});
        doc.AddJob(source, L"S:\\Backup", JobType::Restore, TargetBinding{0xCCCC0003, L""});
    }
    const auto moved = Run(L"/run 1");
    EXPECT_EQ(moved.exitCode, 0) << moved.errors;
    EXPECT_EQ(testing_support::ReadBytes((Root(L'S') / L"Backup\\Documents\\letter.txt").wstring()), "first");
    EXPECT_FALSE(std::filesystem::exists(Root(L'T') / L"Backup")) << "nothing written onto the other drive";
    EXPECT_NE(moved.errors.find("T:\\Backup \xE2\x86\x92 S:\\Backup (the drive moved)"), std::string::npos)
        << moved.errors;

    // Drive 0xCCCC0003 is not plugged in; S: holds another drive (with files of its own there).
    WriteText(Root(L'S') / L"Backup\\Documents\\letter.txt", "another drive's letter");
    testing_support::WriteBytes(source + L"\\letter.txt", "second");
    const auto missing = Run(L"/run 2,3");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.errors.find("is not plugged in"), std::string::npos) << missing.errors;
    EXPECT_EQ(testing_support::ReadBytes((Root(L'S') / L"Backup\\Documents\\letter.txt").wstring()),
              "another drive's letter")
        << "the Backup wrote onto a drive that is not its own";
    EXPECT_EQ(testing_support::ReadBytes(source + L"\\letter.txt"), "second")
        << "the Restore copied another drive's files over the user's";
}

void PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// The enclosure's button runs the jobs bound to it wherever their letter went, never a job
// bound to another enclosure whose letter happens to be its own, and its unbound jobs by letter.
TEST_F(BoundJobs, TheButtonMatchesJobsByTheirBindingFirst) {
    // This enclosure (USB serial 0001) holds drive 0xAAAA0001 at S: (yesterday T:); T: holds the
    // other enclosure's drive.
    {
        CIniFile ini(folder.File(L"Copperfold.ini"));
        CCopperfoldDoc doc(&ini, Section());
        doc.AddJob(source, L"T:\\Mine", JobType::Backup, TargetBinding{0xAAAA0001, L"0001"});
        doc.AddJob(source, L"S:\\Other", JobType::Backup, TargetBinding{0xBBBB0002, L"0002"});
        doc.AddJob(source, L"S:\\Plain", JobType::Backup);
    }
    auto app = std::make_unique<CCopperfoldApp>(folder.File(L"Copperfold.exe"));
    ASSERT_TRUE(app->InitInstance());
    const HWND frame = app->MainFrame()->Handle();
    common::DeviceTable table{};
    table.count = 1;
    table.entries[0].modelCode = 1;
    std::strcpy(table.entries[0].devicePath, kEnclosureOne);
    table.entries[0].driveLetterCount = 1;
    table.entries[0].driveLetters[0] = 'S';
    COPYDATASTRUCT copy{0, sizeof table, &table};
    ::SendMessageW(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    ::SendMessageW(frame, copperfold::kButtonPressedMessage, 0, 0);  // returns once the run has ended
    PumpMessages();

    EXPECT_TRUE(std::filesystem::exists(Root(L'S') / L"Mine\\Documents\\letter.txt")) << "bound here, followed to S:";
    EXPECT_FALSE(std::filesystem::exists(Root(L'T') / L"Mine"));
    EXPECT_FALSE(std::filesystem::exists(Root(L'S') / L"Other")) << "bound to the other enclosure";
    EXPECT_TRUE(std::filesystem::exists(Root(L'S') / L"Plain\\Documents\\letter.txt")) << "unbound: by its letter";
    app.reset();
    PumpMessages();

    // The unbound job on the enclosure's drive was bound at the start of the run.
    CIniFile ini(folder.File(L"Copperfold.ini"));
    const CCopperfoldDoc doc(&ini, Section());
    ASSERT_TRUE(doc.jobs[2].binding);
    EXPECT_EQ(*doc.jobs[2].binding, (TargetBinding{0xAAAA0001, L"0001"}));
    EXPECT_EQ(doc.jobs[0].binding->volumeSerial, 0xAAAA0001u) << "kept as it was";
}

}  // namespace
