// CIniFile against the platform's own profile functions: whatever one writes, the other must
// read the same way. (Names that differ in the case of non-ASCII letters are left out: the
// platform matches them without regard to case, Wine only for ASCII; CIniFile does as the
// platform does.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/core/ini_file.h"
#include "temp_folder.h"

namespace {

using testing_support::TempFolder;

struct Query {
    const wchar_t* section;
    const wchar_t* key;
};

const std::wstring kEdgeCases =
    L"; leading comment\r\n"
    L"  [ Setting ]  \r\n"
    L"  LANG =  ENG  \r\n"
    L"\r\n"
    L"[ENG]\r\n"
    L";commented=1\r\n"
    L"no equals line\r\n"
    L"Quoted=\"with quotes\"\r\n"
    L"Single='x'\r\n"
    L"Mixed=\"x'\r\n"
    L"OneQuote=\"\r\n"
    L"TwoQuotes=\"\"\r\n"
    L"Empty=\r\n"
    L"Equals=a=b\r\n"
    L"Spaced Key = spaced value \r\n"
    L"Twice=first\r\n"
    L"twice=second\r\n"
    L"[eng]\r\n"
    L"Hidden=second duplicate\r\n"
    L"[Weird]]Name]\r\n"
    L"k=v\r\n"
    L"[NoClose\r\n"
    L"after=1\r\n"
    L"\tTabbed\t=\tvalue\t\r\n"
    L"CR only\rk2=v2\rLF only\nk3=v3\n"
    L"[Unicode \x00C4\x00D6\x00DC \x65E5\x672C]\r\n"
    L"\x00E4pfel=\x00DCber \xD83D\xDE00\r\n";

const std::vector<Query> kQueries = {
    {L"Setting", L"LANG"},        {L" setting ", L" lang "},     {L"ENG", L";commented"},
    {L"ENG", L"no equals line"},  {L"ENG", L"Quoted"},           {L"ENG", L"Single"},
    {L"ENG", L"Mixed"},           {L"ENG", L"OneQuote"},         {L"ENG", L"TwoQuotes"},
    {L"ENG", L"Empty"},           {L"ENG", L"Equals"},           {L"ENG", L"Spaced Key"},
    {L"eng", L"SPACED KEY"},      {L"ENG", L"twice"},            {L"eng", L"Hidden"},
    {L"Weird]]Name", L"k"},       {L"Weird]]Name", L"after"},    {L"Weird]]Name", L"[NoClose"},
    {L"Weird]]Name", L"Tabbed"},  {L"Weird]]Name", L"k2"},       {L"Weird]]Name", L"k3"},
    {L"Missing", L"LANG"},        {L"Setting", L"Missing"},      {L"Unicode \x00C4\x00D6\x00DC \x65E5\x672C", L"\x00E4pfel"},
    {L"ENG", L"Added"},           {L"New Section", L"Key"},      {L"ENG", L"Lead"},
};

std::wstring PlatformGet(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
    std::vector<wchar_t> buffer(4096);
    const DWORD length = ::GetPrivateProfileStringW(section, key, L"dflt  ", buffer.data(),
                                                    static_cast<DWORD>(buffer.size()), path.c_str());
    return std::wstring(buffer.data(), length);
}

std::vector<std::wstring> PlatformKeys(const std::wstring& path, const wchar_t* section) {
    std::vector<wchar_t> buffer(8192);
    const DWORD length = ::GetPrivateProfileStringW(section, nullptr, L"", buffer.data(),
                                                    static_cast<DWORD>(buffer.size()), path.c_str());
    std::vector<std::wstring> keys;
    for (const wchar_t* p = buffer.data(); p < buffer.data() + length && *p; p += wcslen(p) + 1) keys.emplace_back(p);
    return keys;
}

void ExpectSameReading(const std::wstring& path, const char* what) {
    CIniFile ini(path);
    for (const Query& q : kQueries) {
        EXPECT_EQ(ini.GetString(q.section, q.key, L"dflt  "), PlatformGet(path, q.section, q.key))
            << what << ": [" << testing::PrintToString(std::wstring(q.section)) << "] "
            << testing::PrintToString(std::wstring(q.key));
    }
    for (const wchar_t* section : {L"Setting", L"ENG", L"Weird]]Name", L"New Section", L"Missing"}) {
        std::vector<std::wstring> ours;
        ini.GetKeys(section, ours);
        EXPECT_EQ(ours, PlatformKeys(path, section)) << what << ": keys of " << testing::PrintToString(std::wstring(section));
        EXPECT_EQ(ini.SectionExists(section), !PlatformKeys(path, section).empty());
    }
}

TEST(ProfileConformance, ReadsHandWrittenFilesAsThePlatformDoes) {
    TempFolder folder;
    const std::wstring unicodeFile = folder.File(L"unicode.ini");
    testing_support::WriteBytes(unicodeFile, testing_support::Utf16LeFile(kEdgeCases));
    ExpectSameReading(unicodeFile, "UTF-16LE file");

    // The same text in the system code page, without the characters it cannot hold.
    const std::wstring ansiText = kEdgeCases.substr(0, kEdgeCases.find(L"[Unicode"));
    std::string ansi;
    for (wchar_t c : ansiText) ansi.push_back(static_cast<char>(c));
    const std::wstring ansiFile = folder.File(L"ansi.ini");
    testing_support::WriteBytes(ansiFile, ansi);
    ExpectSameReading(ansiFile, "code page file");
}

// The same edits through both implementations leave files that read alike, whoever reads.
TEST(ProfileConformance, EditsMatchThePlatformsEdits) {
    struct Edit {
        const wchar_t* section;
        const wchar_t* key;  // null: delete the section
        const wchar_t* value;
    };
    const std::vector<Edit> edits = {
        {L"Setting", L"LANG", L"DEU"},          {L"New Section", L"Key", L"Value"},
        {L"ENG", L"Added", L"  lead and trail  "}, {L"eng", L"quoted", L"'q'"},
        {L"ENG", L"Empty", L"now set"},         {L"ENG", L"no equals line", L"given"},
        {L"ENG", L"Lead", L"\x00DCber"},         {L"Weird]]Name", nullptr, nullptr},
        {L"Setting", L"LANG", L"DEU"},
    };
    TempFolder folder;
    const std::wstring platformFile = folder.File(L"platform.ini");
    const std::wstring ourFile = folder.File(L"ours.ini");
    testing_support::WriteBytes(platformFile, testing_support::Utf16LeFile(kEdgeCases));
    testing_support::WriteBytes(ourFile, testing_support::Utf16LeFile(kEdgeCases));

    CIniFile ours(ourFile);
    for (const Edit& edit : edits) {
        ASSERT_TRUE(::WritePrivateProfileStringW(edit.section, edit.key, edit.value, platformFile.c_str()));
        ours.WriteString(edit.section, edit.key ? edit.key : L"", edit.value ? edit.value : L"");
    }
    ExpectSameReading(platformFile, "edited by the platform");
    ExpectSameReading(ourFile, "edited by CIniFile");
    CIniFile readPlatformFile(platformFile);
    for (const Query& q : kQueries) {
        EXPECT_EQ(ours.GetString(q.section, q.key, L"-"), readPlatformFile.GetString(q.section, q.key, L"-"));
    }
}

TEST(ProfileConformance, FilesCreatedByEitherSideReadOnTheOther) {
    TempFolder folder;
    // Created by the platform: a code-page file without a byte order mark.
    const std::wstring platformFile = folder.File(L"created-by-platform.ini");
    ASSERT_TRUE(::WritePrivateProfileStringW(L"PC-user", L"TASK", L"0x0002", platformFile.c_str()));
    ASSERT_TRUE(::WritePrivateProfileStringW(L"PC-user", L"SRC0001", L"C:\\Daten \x00E9t\x00E9", platformFile.c_str()));
    const CIniFile readByUs(platformFile);
    EXPECT_EQ(readByUs.GetInt(L"pc-USER", L"task", 0), 2);
    EXPECT_EQ(readByUs.GetString(L"PC-user", L"SRC0001", L""), L"C:\\Daten \x00E9t\x00E9");

    // Created by us: UTF-16LE, so any script survives the platform's reading.
    const std::wstring ourFile = folder.File(L"created-by-us.ini");
    CIniFile ours(ourFile);
    const std::wstring path = L"C:\\\x65E5\x672C\\\x0416\x0443\\\xD83D\xDE00";
    ours.WriteString(L"PC-user", L"SRC0001", path);
    ours.WriteInt(L"PC-user", L"TASK", 1);
    EXPECT_EQ(testing_support::ReadBytes(ourFile).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(PlatformGet(ourFile, L"PC-user", L"SRC0001"), path);
    EXPECT_EQ(PlatformGet(ourFile, L"PC-user", L"TASK"), L"0x0001");
}

}  // namespace
