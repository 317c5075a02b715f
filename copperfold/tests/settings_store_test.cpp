#include "copperfold/core/settings_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/tests/fake_ini_file_access.h"
#include "copperfold/core/copperfold_doc.h"

namespace {

using copperfold::SettingsStore;
using TakeOver = SettingsStore::TakeOver;

class SettingsStoreTest : public ::testing::Test {
protected:
    void Put(const std::wstring& path, std::wstring_view text) {
        access->files[path] =
            *common::EncodeText(text, common::TextEncoding::Utf16Le, common::Windows1252CodePage());
    }
    std::wstring Text(const std::wstring& path) const {
        return common::DecodeText(access->files.at(path), common::Windows1252CodePage()).text;
    }
    std::unique_ptr<SettingsStore> Installed() {
        return std::make_unique<SettingsStore>(std::make_unique<CIniFile>(kUser, access),
                                               std::make_unique<CIniFile>(kProgram, access));
    }

    const std::wstring kProgram = L"C:\\Program Files\\Copperfold\\Copperfold.ini";
    const std::wstring kUser = L"C:\\Users\\alice\\AppData\\Roaming\\Copperfold\\Copperfold.ini";
    std::shared_ptr<testing_support::FakeIniFileAccess> access =
        std::make_shared<testing_support::FakeIniFileAccess>();
};

// An installed copy: the user's own settings win over the machine's, writes go to the user's
// file only, and the program folder's file is never written.
TEST_F(SettingsStoreTest, SettingsAreTheUsersOverTheMachinesAndWrittenToTheUsersFileOnly) {
    Put(kProgram, L"[Setting]\r\nLANG=DEU\r\nEjectAfterButtonRun=0x0001\r\n[DEU]\r\nOK=OK\r\n");
    const std::string machine = access->files[kProgram];
    auto store = Installed();
    EXPECT_EQ(store->Language(), L"DEU") << "the machine-wide default";
    EXPECT_EQ(store->SettingInt(L"EjectAfterButtonRun", 0), 1);
    EXPECT_EQ(store->SettingInt(L"Later", 7), 7);

    store->WriteSetting(L"LANG", L"FRA");
    store->WriteSettingInt(L"EjectAfterButtonRun", 0);
    EXPECT_EQ(store->Language(), L"FRA");
    EXPECT_EQ(store->SettingInt(L"EjectAfterButtonRun", 1), 0) << "a user's 0 is a value, not a missing key";
    EXPECT_EQ(Text(kUser), L"[Setting]\r\nLANG=FRA\r\nEjectAfterButtonRun=0x0000\r\n");
    EXPECT_EQ(access->files[kProgram], machine);
    EXPECT_EQ(Installed()->Language(), L"FRA") << "kept for the next start";

    // A copy that is not installed has one file for both.
    const SettingsStore shared(std::make_unique<CIniFile>(kProgram, access));
    EXPECT_FALSE(shared.SeparateFiles());
    EXPECT_EQ(&shared.ProgramFile(), &shared.UserFile());
    EXPECT_EQ(shared.Language(), L"DEU");
}

// The old shared file's section of this user, never another's, moves into the user's file once,
// comments and unknown keys and all; the old file keeps every byte. From a file every user may
// write nothing is taken.
TEST_F(SettingsStoreTest, TheUsersOwnOldSectionIsTakenOverOnceAndOnlyFromATrustedFile) {
    const std::wstring alice = MakeJobSection(L"PC", L"alice");
    Put(kProgram,
        L"[Setting]\r\nLANG=ENG\r\n[PC-bob]\r\nTASK=0x0001\r\nSRC0001=C:\\Bob\r\nDST0001=C:\\Users\\Public\r\n"
        L"Type0001=Backup\r\n[PC-alice]\r\n; the letters, every night\r\nTASK=0x0001\r\nSRC0001=C:\\Letters\r\n"
        L"DST0001=E:\\Letters\r\nType0001=Backup\r\nNewer0001=1\r\n");
    const std::string old = access->files[kProgram];

    EXPECT_EQ(Installed()->TakeOverJobSection(alice, true), TakeOver::OldFileUntrusted);
    EXPECT_FALSE(access->files.contains(kUser)) << "nothing taken from a file anyone may write";

    auto store = Installed();
    ASSERT_EQ(store->TakeOverJobSection(alice, false), TakeOver::Taken);
    EXPECT_EQ(Text(kUser), L"[PC-alice]\r\n; the letters, every night\r\nTASK=0x0001\r\nSRC0001=C:\\Letters\r\n"
                           L"DST0001=E:\\Letters\r\nType0001=Backup\r\nNewer0001=1\r\n");
    EXPECT_EQ(access->files[kProgram], old);

    // The user's jobs are theirs now: a change is not undone by a second take-over.
    CCopperfoldDoc doc(&store->UserFile(), alice);
    ASSERT_EQ(doc.jobCount, 1);
    ASSERT_TRUE(doc.RemoveJobs({{L"C:\\Letters", L"E:\\Letters"}}));
    EXPECT_EQ(Installed()->TakeOverJobSection(alice, false), TakeOver::AlreadyOwn);
    EXPECT_EQ(CCopperfoldDoc(&store->UserFile(), alice).jobCount, 0);
    EXPECT_EQ(Installed()->TakeOverJobSection(MakeJobSection(L"PC", L"carol"), false), TakeOver::NotApplicable);
    EXPECT_EQ(access->files[kProgram], old);

    SettingsStore notInstalled(std::make_unique<CIniFile>(kProgram, access));
    EXPECT_EQ(notInstalled.TakeOverJobSection(alice, false), TakeOver::NotApplicable);
}

}  // namespace
