// Installing over an earlier version: the shipped settings merged into the users' file.
#include <gtest/gtest.h>

#include "common/tests/fake_ini_file_access.h"
#include "installer/core/settings_merge.h"

namespace {

using common::IniDocument;
using installer::InstallSettingsFile;
using installer::MergeShippedSettings;

constexpr wchar_t kShipped[] =
    L"; shipped header\r\n[Setting]\r\nLANG=ENG\r\nNEWKEY=1\r\n"
    L"[ENG]\r\nOK=OK\r\nReady=Ready\r\nNew text=New text\r\n"
    L"[DEU]\r\nOK=OK\r\nReady=Bereit\r\nNew text=Neuer Text\r\n";

// The file an earlier version left: two users' jobs, hand comments, an old translation, a key
// the user added to a language section, and the user's language choice.
constexpr wchar_t kInstalled[] =
    L"; shipped header\r\n[Setting]\r\nLANG=DEU\r\n"
    L"[ENG]\r\nOK=OK\r\nReady=Ready\r\n"
    L"[DEU]\r\n; my own wording below\r\nOK=Gut\r\nReady=Fertig\r\nMine=Meins\r\n"
    L"[VM-alice]\r\n; nightly backup of the letters\r\nTASK=0x0001\r\nSRC0001=C:\\Letters\r\n"
    L"DST0001=E:\\Letters\r\nType0001=Backup\r\n"
    L"[VM-bob]\r\nTASK=0x0001\r\nSRC0001=D:\\Photos\r\nDST0001=E:\\Photos\r\nType0001=Sync\r\n";

class SettingsMergeTest : public testing_support::FakeIniFile, public ::testing::Test {};

TEST_F(SettingsMergeTest, KeepsJobsCommentsAndLanguageChoiceAndUpdatesTranslations) {
    PutUtf16(kInstalled);
    const auto outcome = MergeShippedSettings(IniDocument::Parse(kShipped), ini);
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(access->replacements, 1);  // one atomic replacement for the whole merge
    EXPECT_EQ(Decoded().encoding, common::TextEncoding::Utf16Le);

    const IniDocument merged = IniDocument::Parse(Text());
    EXPECT_EQ(merged.FindValue(L"Setting", L"LANG"), L"DEU");  // the user's choice stays
    EXPECT_EQ(merged.FindValue(L"Setting", L"NEWKEY"), L"1");  // a new setting arrives
    EXPECT_EQ(merged.FindValue(L"ENG", L"New text"), L"New text");
    EXPECT_EQ(merged.FindValue(L"DEU", L"New text"), L"Neuer Text");
    EXPECT_EQ(merged.FindValue(L"DEU", L"OK"), L"OK");  // shipped translations win in language sections
    EXPECT_EQ(merged.FindValue(L"DEU", L"Ready"), L"Bereit");
    EXPECT_EQ(merged.FindValue(L"DEU", L"Mine"), L"Meins");
    EXPECT_EQ(merged.FindValue(L"VM-alice", L"SRC0001"), L"C:\\Letters");
    EXPECT_EQ(merged.FindValue(L"VM-bob", L"Type0001"), L"Sync");
    EXPECT_NE(Text().find(L"; nightly backup of the letters\r\nTASK=0x0001"), std::wstring::npos);
    EXPECT_NE(Text().find(L"; my own wording below\r\n"), std::wstring::npos);
    // Five entries changed or added: NEWKEY, ENG's and DEU's new text, DEU's OK and Ready.
    EXPECT_EQ(outcome.entriesWritten, 5);
}

TEST_F(SettingsMergeTest, SecondMergeChangesNothing) {
    PutUtf16(kInstalled);
    ASSERT_TRUE(MergeShippedSettings(IniDocument::Parse(kShipped), ini).ok);
    const std::string once = Bytes();
    const auto again = MergeShippedSettings(IniDocument::Parse(kShipped), ini);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.entriesWritten, 0);
    EXPECT_EQ(Bytes(), once);
}

TEST_F(SettingsMergeTest, UnreadableOrUnwritableFileIsLeftAlone) {
    PutUtf16(kInstalled);
    const std::string before = Bytes();
    access->unreadable = true;
    auto outcome = MergeShippedSettings(IniDocument::Parse(kShipped), ini);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(L"could not be read"), std::wstring::npos);
    EXPECT_EQ(access->replacements, 0);

    access->unreadable = false;
    access->failReplace = true;
    outcome = MergeShippedSettings(IniDocument::Parse(kShipped), ini);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(L"could not be written"), std::wstring::npos);
    EXPECT_EQ(Bytes(), before);
}

TEST_F(SettingsMergeTest, FirstInstallCopiesTheShippedFileByteForByte) {
    const std::wstring shippedPath = L"C:\\Temp\\Copperfold.ini";
    access->files[shippedPath] = std::string("\xFF\xFE;\0x\0", 6);  // copied as they are, not re-encoded
    ASSERT_TRUE(InstallSettingsFile(*access, shippedPath, kPath).ok);
    EXPECT_EQ(Bytes(), access->files[shippedPath]);

    const auto missing = InstallSettingsFile(*access, L"C:\\Temp\\none.ini", kPath);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find(L"none.ini"), std::wstring::npos);
}

TEST_F(SettingsMergeTest, InstallOverAnEarlierFileMerges) {
    PutUtf16(kInstalled);
    const std::wstring shippedPath = L"C:\\Temp\\Copperfold.ini";
    access->files[shippedPath] =
        *common::EncodeText(kShipped, common::TextEncoding::Utf16Le, common::Windows1252CodePage());
    ASSERT_TRUE(InstallSettingsFile(*access, shippedPath, kPath).ok);
    const IniDocument merged = IniDocument::Parse(Text());
    EXPECT_EQ(merged.FindValue(L"VM-bob", L"SRC0001"), L"D:\\Photos");
    EXPECT_EQ(merged.FindValue(L"DEU", L"New text"), L"Neuer Text");
}

}  // namespace
