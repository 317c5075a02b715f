// CIniFile's writes on the platform: atomic replacement, and failures that leave the previous
// file as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "common/core/ini_file.h"
#include "temp_folder.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempFolder;

size_t CountEntries(const std::wstring& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

TEST(IniFileOnPlatform, FailedWritesThrowAndKeepThePreviousFile) {
    TempFolder folder;
    const std::wstring path = folder.File(L"Copperfold.ini");
    CIniFile ini(path);
    ini.WriteString(L"PC-user", L"SRC0001", L"C:\\Data");
    const std::string before = ReadBytes(path);

    // A read-only job file cannot be replaced.
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_THROW(ini.WriteString(L"PC-user", L"SRC0001", L"C:\\Other"), CIniFileException);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(CountEntries(folder.Path()), 1u) << "no temporary file may be left behind";
    EXPECT_EQ(ini.GetString(L"PC-user", L"SRC0001", L""), L"C:\\Data");
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A missing folder is not created.
    CIniFile missingFolder(folder.File(L"no such folder\\Copperfold.ini"));
    EXPECT_THROW(missingFolder.WriteInt(L"PC-user", L"TASK", 1), CIniFileException);
    EXPECT_FALSE(std::filesystem::exists(folder.File(L"no such folder")));
    EXPECT_EQ(missingFolder.GetInt(L"PC-user", L"TASK", 7), 7);

    // A "folder" that is a file.
    CIniFile underFile(path + L"\\Copperfold.ini");
    EXPECT_THROW(underFile.WriteString(L"a", L"b", L"c"), CIniFileException);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(IniFileOnPlatform, ReplacementKeepsHiddenAttributeAndLeavesNoTemporaryFiles) {
    TempFolder folder;
    const std::wstring path = folder.File(L"Copperfold.ini");
    CIniFile ini(path);
    ini.WriteString(L"Setting", L"LANG", L"ENG");
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    for (int i = 0; i < 20; ++i) ini.WriteInt(L"PC-user", L"TASK", i);
    EXPECT_EQ(CountEntries(folder.Path()), 1u);
    EXPECT_TRUE(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(ini.GetInt(L"PC-user", L"TASK", -1), 19);
}

TEST(IniFileOnPlatform, CodePageFilesSwitchToUnicodeOnlyWhenNeeded) {
    TempFolder folder;
    const std::wstring path = folder.File(L"ansi.ini");
    testing_support::WriteBytes(path, "[Setting]\r\nLANG=ENG\r\n");
    CIniFile ini(path);

    ini.WriteString(L"PC-user", L"SRC0001", L"C:\\Eingang");
    EXPECT_NE(ReadBytes(path).substr(0, 2), "\xFF\xFE") << "a plain path keeps the file in the code page";

    const std::wstring cyrillic = L"C:\\\x0414\x0430\x043D\x043D\x044B\x0435";
    ini.WriteString(L"PC-user", L"DST0001", cyrillic);
    EXPECT_EQ(ReadBytes(path).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ini.GetString(L"PC-user", L"DST0001", L""), cyrillic);
    EXPECT_EQ(ini.GetString(L"PC-user", L"SRC0001", L""), L"C:\\Eingang");
    EXPECT_EQ(ini.GetString(L"Setting", L"LANG", L""), L"ENG");
}

}  // namespace

namespace {

// The id of a process that has ended.
DWORD EndedProcessId() {
    wchar_t commandLine[] = L"cmd.exe /c exit";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
        return 0;
    }
    ::WaitForSingleObject(info.hProcess, 30000);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return info.dwProcessId;
}

void WriteAt2000(const std::wstring& path) {
    testing_support::WriteBytes(path, "half a file");
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME january2000{0x256D4000u, 0x01BF53EBu};
    ::SetFileTime(file, nullptr, nullptr, &january2000);
    ::CloseHandle(file);
}

}  // namespace

// A write that crashed leaves its temporary file for good; the next write removes those whose
// writer has ended (or whose id now belongs to a process started after the file was written),
// and leaves every other file alone.
TEST(IniFileOnPlatform, StaleTemporaryFilesOfEndedWritersAreRemovedAtTheNextWrite) {
    TempFolder folder;
    const std::wstring path = folder.File(L"Copperfold.ini");
    const DWORD ended = EndedProcessId();
    ASSERT_NE(ended, 0u);
    const std::wstring self = std::to_wstring(::GetCurrentProcessId());
    const std::wstring stale[] = {path + L".~" + std::to_wstring(ended) + L".0.tmp",
                                  path + L".~" + std::to_wstring(ended) + L".12.tmp",
                                  path + L".~" + self + L".900.tmp"};  // older than this process: an earlier owner
    for (const std::wstring& file : stale) WriteAt2000(file);
    const std::wstring kept[] = {path + L".~" + self + L".901.tmp",  // this process may be writing it
                                 path + L".~notes.tmp", path + L".~1.2.tmp.bak",
                                 folder.File(L"Other.ini.~") + std::to_wstring(ended) + L".0.tmp"};
    for (const std::wstring& file : kept) testing_support::WriteBytes(file, "keep");

    CIniFile ini(path);
    ini.WriteString(L"Setting", L"LANG", L"ENG");
    for (const std::wstring& file : stale) EXPECT_FALSE(std::filesystem::exists(file)) << testing::PrintToString(file);
    for (const std::wstring& file : kept) EXPECT_EQ(ReadBytes(file), "keep") << testing::PrintToString(file);
    EXPECT_EQ(CountEntries(folder.Path()), 1u + std::size(kept));
}
