// Win32FileSystem on the platform's own calls: listing, lookups, folders and attributes, and the
// fail-safe copy (progress, cancel, failures, read-only targets, times, deep and Unicode paths,
// files over 4 GiB).
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/tests/win32/temp_folder.h"
#include "copperfold/core/job_paths.h"
#include "copperfold/core/partial_name.h"
#include "copperfold/win32/win32_file_system.h"

namespace {

using copperfold::CopyProgressReason;
using copperfold::ExtendedLengthPath;
using copperfold::FileEntry;
using copperfold::PartialFilePath;
using copperfold::Win32FileSystem;
using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::WriteBytes;

constexpr std::uint64_t kChunk = Win32FileSystem::kChunkSize;

struct ProgressCall {
    std::uint64_t total;
    std::uint64_t done;
    CopyProgressReason reason;
    bool operator==(const ProgressCall&) const = default;
};

void PrintTo(const ProgressCall& call, std::ostream* out) {
    *out << (call.reason == CopyProgressReason::StreamSwitch ? "switch " : "chunk ") << call.done << "/" << call.total;
}

// Bytes that are never zero, different at every position of a chunk.
std::string Content(std::size_t size, char seed = 1) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + (i * 7 + seed) % 251);
    return bytes;
}

void WriteAt(const std::wstring& path, std::uint64_t offset, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string ReadAt(const std::wstring& path, std::uint64_t offset, DWORD length) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    std::string bytes(length, '\0');
    DWORD got = 0;
    ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    ::ReadFile(file, bytes.data(), length, &got, nullptr);
    ::CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

WIN32_FILE_ATTRIBUTE_DATA Info(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data);
    return data;
}

std::uint64_t SizeOf(const std::wstring& path) {
    const auto data = Info(path);
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void SetLastWriteTime(const std::wstring& path, std::uint64_t time) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME fileTime{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    ::SetFileTime(file, nullptr, nullptr, &fileTime);
    ::CloseHandle(file);
}

class Win32FileSystemTest : public ::testing::Test {
protected:
    // Copies with a progress routine that records every call and answers with `answer`.
    std::uint32_t Copy(const std::wstring& from, const std::wstring& to) {
        return fs.CopyWithProgress(from, to, [this](std::uint64_t total, std::uint64_t done, CopyProgressReason reason) {
            calls.push_back({total, done, reason});
            return answer(calls.back());
        }, cancel);
    }

    // The names in a folder, hidden ones included, sorted.
    std::vector<std::wstring> Names(const std::wstring& folder) {
        std::vector<FileEntry> entries;
        EXPECT_TRUE(fs.List(folder, entries)) << "cannot list";
        std::vector<std::wstring> names;
        for (const auto& entry : entries) names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder temp;
    Win32FileSystem fs;
    std::atomic<int> cancel{0};
    std::vector<ProgressCall> calls;
    std::function<bool(const ProgressCall&)> answer = [](const ProgressCall&) { return true; };
};

TEST(Win32Paths, ExtendedLengthFormKeepsThePathsCharacters) {
    EXPECT_EQ(ExtendedLengthPath(L"C:\\Data\\x"), L"\\\\?\\C:\\Data\\x");
    EXPECT_EQ(ExtendedLengthPath(L"e:\\"), L"\\\\?\\e:\\");
    EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(ExtendedLengthPath(L"C:\\trailing dot.\\\U0001F600 "), L"\\\\?\\C:\\trailing dot.\\\U0001F600 ");
    // Already extended, devices, and paths only the system can make sense of stay as they are.
    for (const std::wstring path : {L"\\\\?\\C:\\x", L"\\\\.\\PhysicalDrive0", L"relative\\x", L"C:x", L"C:/Data/x",
                                    L"C:\\Data\\..\\x", L"C:\\.\\x", L"C:\\Data\\\\x"}) {
        EXPECT_EQ(ExtendedLengthPath(path), path);
    }
}

TEST(Win32Paths, PartialFileSitsBesideTheDestination) {
    const std::wstring part = PartialFilePath(L"\\\\?\\E:\\Backup\\photo.jpg", 0x1234);
    EXPECT_TRUE(part.starts_with(L"\\\\?\\E:\\Backup\\photo.jpg.~00001234")) << testing::PrintToString(part);
    EXPECT_TRUE(part.ends_with(L".~cfpart"));
    EXPECT_EQ(PartialFilePath(L"photo.jpg", 1), copperfold::PartialFileName(L"photo.jpg", 1));
}

// The full-path form the engine computes for itself is the one the platform's own call gives.
TEST(Win32Paths, PlatformFullPathAgreesWithThePlatform) {
    Win32FileSystem fs;
    for (const wchar_t* path :
         {L"C:\\Data\\Photos.", L"C:\\Data\\Photos. . ", L"C:\\Data.\\Photos", L"C:\\Data..\\Photos", L"C:\\Data \\x",
          L"C:\\Data\\Photos\\", L"C:\\sc\\.\\src", L"C:\\sc\\x\\..\\src\\.", L"C:\\a\\..\\..\\b", L"C:\\a\\..",
          L"C:\\...", L"C:/a//b///c", L"C:\\", L"\\\\server\\share\\a\\..\\..\\b.", L"//server/share/x/",
          L"Z:\\tmp\\x.. .\\y . .", L"\\\\?\\C:\\Photos."}) {
        EXPECT_EQ(copperfold::PlatformFullPath(path), fs.FullPath(path)) << testing::PrintToString(std::wstring(path));
    }
}

TEST_F(Win32FileSystemTest, ListsExistsAndCreatesFolders) {
    WriteBytes(temp.File(L"file.bin"), Content(1234));
    WriteBytes(temp.File(L"hidden.bin"), "x");
    ASSERT_TRUE(fs.SetAttributes(temp.File(L"hidden.bin"), copperfold::kAttributeHidden));
    SetLastWriteTime(temp.File(L"file.bin"), 0x01C0'1234'5678'9ABCull);
    ASSERT_TRUE(fs.CreateFolder(temp.File(L"sub")));
    EXPECT_FALSE(fs.CreateFolder(temp.File(L"sub"))) << "exists already";
    EXPECT_FALSE(fs.CreateFolder(temp.File(L"missing\\sub")));

    std::vector<FileEntry> entries;
    ASSERT_TRUE(fs.List(temp.Path(), entries));
    ASSERT_EQ(entries.size(), 3u) << "no . or ..";
    for (const auto& entry : entries) {
        if (entry.name == L"file.bin") {
            EXPECT_FALSE(entry.IsFolder() || entry.IsHidden());
            EXPECT_EQ(entry.size, 1234u);
            EXPECT_EQ(entry.lastWriteTime, 0x01C0'1234'5678'9ABCull);
        } else if (entry.name == L"hidden.bin") {
            EXPECT_TRUE(entry.IsHidden());
        } else {
            EXPECT_EQ(entry.name, L"sub");
            EXPECT_TRUE(entry.IsFolder());
        }
    }
    ASSERT_TRUE(fs.List(temp.File(L"sub\\"), entries)) << "trailing backslash";
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(fs.List(temp.File(L"missing"), entries));
    EXPECT_FALSE(fs.List(temp.File(L"file.bin"), entries));

    EXPECT_TRUE(fs.Exists(temp.File(L"file.bin")));
    EXPECT_TRUE(fs.Exists(temp.File(L"sub")));
    EXPECT_TRUE(fs.Exists(temp.File(L"sub\\")));
    EXPECT_TRUE(fs.Exists(L"C:\\"));
    EXPECT_FALSE(fs.Exists(temp.File(L"missing")));

    // A lookup by name tells what a listing tells of the entry.
    FileEntry entry;
    ASSERT_TRUE(fs.LookUp(temp.File(L"file.bin"), entry));
    EXPECT_EQ(entry.name, L"file.bin");
    EXPECT_EQ(entry.size, 1234u);
    EXPECT_EQ(entry.lastWriteTime, 0x01C0'1234'5678'9ABCull);
    EXPECT_FALSE(entry.IsFolder() || entry.IsHidden());
    ASSERT_TRUE(fs.LookUp(temp.File(L"hidden.bin"), entry));
    EXPECT_TRUE(entry.IsHidden());
    ASSERT_TRUE(fs.LookUp(temp.File(L"sub"), entry));
    EXPECT_TRUE(entry.IsFolder());
    EXPECT_FALSE(fs.LookUp(temp.File(L"missing"), entry));
    EXPECT_FALSE(fs.LookUp(temp.File(L"missing\\file.bin"), entry));

    ASSERT_TRUE(fs.SetAttributes(temp.File(L"hidden.bin"), 0));
    EXPECT_EQ(Info(temp.File(L"hidden.bin")).dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u);
}

TEST_F(Win32FileSystemTest, CopyReportsStreamSwitchThenRunningTotals) {
    const std::uint64_t size = 2 * kChunk + 123;
    const std::string content = Content(size);
    WriteBytes(temp.File(L"source"), content);
    ASSERT_EQ(Copy(temp.File(L"source"), temp.File(L"dest")), 0u);
    const std::vector<ProgressCall> expected{{size, 0, CopyProgressReason::StreamSwitch},
                                             {size, kChunk, CopyProgressReason::ChunkFinished},
                                             {size, 2 * kChunk, CopyProgressReason::ChunkFinished},
                                             {size, size, CopyProgressReason::ChunkFinished}};
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(ReadBytes(temp.File(L"dest")) == content);

    calls.clear();
    WriteBytes(temp.File(L"empty"), "");
    ASSERT_EQ(Copy(temp.File(L"empty"), temp.File(L"empty copy")), 0u);
    EXPECT_EQ(calls, (std::vector<ProgressCall>{{0, 0, CopyProgressReason::StreamSwitch},
                                                {0, 0, CopyProgressReason::ChunkFinished}}));
    EXPECT_TRUE(fs.Exists(temp.File(L"empty copy")));
}

TEST_F(Win32FileSystemTest, CancelledCopyKeepsThePreviousDestination) {
    WriteBytes(temp.File(L"source"), Content(64 << 20));
    WriteBytes(temp.File(L"dest"), "previous version");
    const std::vector<std::wstring> before = Names(temp.Path());

    answer = [](const ProgressCall& call) { return call.done < 2 * kChunk; };
    EXPECT_EQ(Copy(temp.File(L"source"), temp.File(L"dest")), copperfold::kErrorRequestAborted);
    EXPECT_EQ(calls.back().done, 2 * kChunk) << "stops at the chunk that answered false";
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "previous version");
    EXPECT_EQ(Names(temp.Path()), before) << "no temporary file left";

    // The cancel flag stops it too, raised during the copy or before it.
    calls.clear();
    answer = [this](const ProgressCall& call) {
        if (call.done >= kChunk) cancel = 1;
        return true;
    };
    EXPECT_EQ(Copy(temp.File(L"source"), temp.File(L"dest")), copperfold::kErrorRequestAborted);
    EXPECT_EQ(calls.back().done, kChunk);
    calls.clear();
    EXPECT_EQ(Copy(temp.File(L"source"), temp.File(L"new")), copperfold::kErrorRequestAborted);
    EXPECT_EQ(calls.size(), 1u) << "only the stream switch";
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "previous version");
    EXPECT_EQ(Names(temp.Path()), before);
}

TEST_F(Win32FileSystemTest, FailedCopyLeavesNoPartialFile) {
    WriteBytes(temp.File(L"source"), "data");
    EXPECT_EQ(Copy(temp.File(L"missing"), temp.File(L"dest")), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(Copy(temp.File(L"source"), temp.File(L"missing\\dest")), DWORD{ERROR_PATH_NOT_FOUND});
    // The rename over a folder fails after the data was copied.
    ASSERT_TRUE(fs.CreateFolder(temp.File(L"folder")));
    EXPECT_NE(Copy(temp.File(L"source"), temp.File(L"folder")), 0u);
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::wstring>{L"folder", L"source"}));
    EXPECT_TRUE(Info(temp.File(L"folder")).dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Win32FileSystemTest, ReplacesReadOnlyDestinationAndGivesTheSourcesAttributes) {
    WriteBytes(temp.File(L"source"), "new");
    ASSERT_TRUE(fs.SetAttributes(temp.File(L"source"), copperfold::kAttributeReadOnly));
    SetLastWriteTime(temp.File(L"source"), 0x01D0'0000'0000'1234ull);
    WriteBytes(temp.File(L"dest"), "older and longer content");
    ASSERT_TRUE(fs.SetAttributes(temp.File(L"dest"), copperfold::kAttributeReadOnly));

    ASSERT_EQ(Copy(temp.File(L"source"), temp.File(L"dest")), 0u);
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "new");
    const auto copied = Info(temp.File(L"dest"));
    EXPECT_TRUE(copied.dwFileAttributes & FILE_ATTRIBUTE_READONLY) << "carried from the source";
    EXPECT_FALSE(copied.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) << "the temporary file's bit is not";
    EXPECT_EQ((std::uint64_t{copied.ftLastWriteTime.dwHighDateTime} << 32) | copied.ftLastWriteTime.dwLowDateTime,
              0x01D0'0000'0000'1234ull);
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::wstring>{L"dest", L"source"}));

    // A read-only copy whose rename fails leaves no temporary file either.
    ASSERT_TRUE(fs.CreateFolder(temp.File(L"folder")));
    EXPECT_NE(Copy(temp.File(L"source"), temp.File(L"folder")), 0u);
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::wstring>{L"dest", L"folder", L"source"}));
}

// The copier used to write "<name>.~cfpart" with create-always: a user's file of that name was
// overwritten and then renamed over the destination.
TEST_F(Win32FileSystemTest, NeverWritesAUsersFileThatHasATemporaryName) {
    WriteBytes(temp.File(L"source"), "new content");
    WriteBytes(temp.File(L"dest"), "old");
    const std::string usersFile = "a user's own file";
    WriteBytes(temp.File(L"dest.~cfpart"), usersFile);  // the name the copier once used
    // The next two names drawn are taken already: the copy must draw a third.
    WriteBytes(PartialFilePath(temp.File(L"dest"), 1), usersFile);
    WriteBytes(PartialFilePath(temp.File(L"dest"), 2), usersFile);
    std::uint32_t next = 1;
    Win32FileSystem colliding([&next] { return next++; });

    ASSERT_EQ(colliding.CopyWithProgress(temp.File(L"source"), temp.File(L"dest"), {}, cancel), 0u);
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "new content");
    EXPECT_EQ(next, 4u) << "two collisions, one new name";
    EXPECT_EQ(ReadBytes(temp.File(L"dest.~cfpart")), usersFile);
    EXPECT_EQ(ReadBytes(PartialFilePath(temp.File(L"dest"), 1)), usersFile);
    EXPECT_EQ(ReadBytes(PartialFilePath(temp.File(L"dest"), 2)), usersFile);
    EXPECT_EQ(Names(temp.Path()).size(), 5u) << "and no temporary file of its own left";
}

TEST_F(Win32FileSystemTest, RecognisesOnlyItsOwnLeftoversAndRemovesThemWhenNoOneWrites) {
    const std::wstring visible = PartialFilePath(temp.File(L"report.doc"), 7);  // killed before it was hidden
    const std::wstring readOnly = PartialFilePath(temp.File(L"photo.jpg"), 8);  // killed just before the rename
    const std::wstring busy = PartialFilePath(temp.File(L"big.iso"), 9);        // another run still writes it
    WriteBytes(visible, "half");
    WriteBytes(readOnly, "whole");
    ASSERT_TRUE(fs.SetAttributes(readOnly, copperfold::kAttributeReadOnly));
    WriteBytes(busy, "growing");
    WriteBytes(temp.File(L"hidden.~cfpart"), "a user's file that merely looks alike");
    ASSERT_TRUE(fs.SetAttributes(temp.File(L"hidden.~cfpart"), copperfold::kAttributeHidden));
    std::wstring forged = PartialFilePath(temp.File(L"notes.txt"), 10);
    forged[forged.size() - 9] = forged[forged.size() - 9] == L'0' ? L'1' : L'0';  // last check digit
    WriteBytes(forged, "looks alike too");
    ASSERT_TRUE(fs.CreateFolder(PartialFilePath(temp.File(L"folder"), 11)));

    std::vector<FileEntry> entries;
    ASSERT_TRUE(fs.List(temp.Path(), entries));
    std::vector<std::wstring> ours;
    for (const FileEntry& entry : entries) {
        if (fs.IsPartialCopy(entry)) ours.push_back(temp.File(entry.name));
    }
    std::sort(ours.begin(), ours.end());
    std::vector<std::wstring> expected{visible, readOnly, busy};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ours, expected);

    HANDLE writer = ::CreateFileW(busy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    for (const std::wstring& path : ours) fs.RemovePartialCopy(path);
    ::CloseHandle(writer);
    EXPECT_EQ(Names(temp.Path()).size(), 4u) << "the look-alikes, the folder and the one being written stay";
    EXPECT_EQ(ReadBytes(busy), "growing");
    EXPECT_EQ(ReadBytes(temp.File(L"hidden.~cfpart")), "a user's file that merely looks alike");
}

// Links and drive aliases resolve to one final path; the engine compares those.
TEST_F(Win32FileSystemTest, FinalPathsSeeThroughDriveAliases) {
    ASSERT_TRUE(fs.CreateFolder(temp.File(L"real")));
    EXPECT_EQ(fs.FinalPath(temp.File(L"missing")), L"");
    const std::wstring final = fs.FinalPath(temp.File(L"real"));
    ASSERT_FALSE(final.empty());
    EXPECT_EQ(copperfold::ComparablePath(final), copperfold::ComparablePath(fs.FullPath(temp.File(L"real"))));
    // Under Wine every folder is also reachable through drive Z: (the whole Unix tree).
    const std::wstring alias = testing_support::WineDriveZAlias(temp.File(L"real"));
    if (alias.empty()) GTEST_SKIP() << "no second name for the folder here";
    EXPECT_EQ(copperfold::ComparablePath(fs.FinalPath(alias)), copperfold::ComparablePath(final))
        << testing::PrintToString(alias);
}

TEST_F(Win32FileSystemTest, ChunksOfZerosCopyAsZeros) {
    // Data, a whole chunk of zeros, data, then zeros up to the end.
    const std::string content =
        Content(kChunk) + std::string(kChunk, '\0') + Content(1000, 5) + std::string(kChunk + 77, '\0');
    WriteBytes(temp.File(L"source"), content);
    ASSERT_EQ(Copy(temp.File(L"source"), temp.File(L"dest")), 0u);
    EXPECT_EQ(SizeOf(temp.File(L"dest")), content.size());
    EXPECT_TRUE(ReadBytes(temp.File(L"dest")) == content);
}

TEST_F(Win32FileSystemTest, CopiesDeepPathsAndNamesInAnyScript) {
    std::wstring source = temp.Path();
    std::wstring target = temp.File(L"copy");
    ASSERT_TRUE(fs.CreateFolder(target));
    for (int level = 0; level < 6; ++level) {
        const std::wstring name = L"level " + std::to_wstring(level) + L" " + std::wstring(50, L'd');
        source += L"\\" + name;
        target += L"\\" + name;
        ASSERT_TRUE(fs.CreateFolder(source));
        ASSERT_TRUE(fs.CreateFolder(target));
    }
    ASSERT_GT(target.size(), 320u);
    const std::vector<std::wstring> names{L"Привет, мир.txt", L"漢字とかな.txt", L"smile \U0001F600.txt",
                                          std::wstring(250, L'n')};
    for (const auto& name : names) {
        WriteBytes(ExtendedLengthPath(source + L"\\" + name), "text of " + std::to_string(name.size()));
        ASSERT_TRUE(fs.Exists(source + L"\\" + name));
        ASSERT_EQ(Copy(source + L"\\" + name, target + L"\\" + name), 0u);
        EXPECT_EQ(ReadBytes(ExtendedLengthPath(target + L"\\" + name)), "text of " + std::to_string(name.size()));
    }
    std::vector<std::wstring> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(target), expected);
}

TEST_F(Win32FileSystemTest, CopiesAFileOverFourGigabytes) {
    ULARGE_INTEGER available{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(temp.Path().c_str(), &available, nullptr, nullptr));
    if (available.QuadPart < (12ull << 30)) GTEST_SKIP() << "needs 12 GiB free in the temporary folder";

    // Sparse where the file system allows: only the marks take space.
    const std::wstring source = temp.File(L"big.bin");
    const std::uint64_t size = (4ull << 30) + kChunk / 2 + 7;
    HANDLE file = ::CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD ignored = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    ::CloseHandle(file);
    WriteAt(source, 0, "head");
    WriteAt(source, 4ull << 30, "past 32 bits");
    WriteAt(source, size - 4, "tail");

    ASSERT_EQ(Copy(source, temp.File(L"copy.bin")), 0u);
    EXPECT_EQ(calls.back(), (ProgressCall{size, size, CopyProgressReason::ChunkFinished}));
    EXPECT_EQ(SizeOf(temp.File(L"copy.bin")), size);
    EXPECT_EQ(ReadAt(temp.File(L"copy.bin"), 0, 4), "head");
    EXPECT_EQ(ReadAt(temp.File(L"copy.bin"), 2ull << 30, 4), std::string(4, '\0'));
    EXPECT_EQ(ReadAt(temp.File(L"copy.bin"), 4ull << 30, 12), "past 32 bits");
    EXPECT_EQ(ReadAt(temp.File(L"copy.bin"), size - 4, 8), "tail");
}

}  // namespace

namespace {

// A copy that keeps the file it replaces moves that file aside by a rename just before its own
// rename (the old one keeps its bytes and time), and leaves it where it was when the copy does
// not take its name: a cancel, a place among the versions that is taken. No temporary file stays.
TEST_F(Win32FileSystemTest, ACopyKeepingTheReplacedFileMovesItAsideByARename) {
    WriteBytes(temp.File(L"source"), Content(3 * kChunk + 5));
    WriteBytes(temp.File(L"dest"), "previous version");
    constexpr std::uint64_t kOld = 130'000'000'000'000'000ull;
    SetLastWriteTime(temp.File(L"dest"), kOld);
    ASSERT_TRUE(fs.CreateFolder(temp.File(L"kept")));
    const auto keep = [this](const std::wstring& keepAs) {
        return fs.CopyKeepingReplaced(temp.File(L"source"), temp.File(L"dest"), keepAs,
                                      [this](std::uint64_t total, std::uint64_t done, CopyProgressReason reason) {
                                          calls.push_back({total, done, reason});
                                          return answer(calls.back());
                                      },
                                      cancel);
    };

    answer = [](const ProgressCall& call) { return call.done < 2 * kChunk; };
    EXPECT_EQ(keep(temp.File(L"kept\\dest")), copperfold::kErrorRequestAborted);
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "previous version") << "a cancelled copy moves nothing";
    EXPECT_FALSE(fs.Exists(temp.File(L"kept\\dest")));

    answer = [](const ProgressCall&) { return true; };
    WriteBytes(temp.File(L"kept\\taken"), "another version");
    EXPECT_NE(keep(temp.File(L"kept\\taken")), 0u) << "a taken name is never replaced";
    EXPECT_EQ(ReadBytes(temp.File(L"kept\\taken")), "another version");
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "previous version");
    EXPECT_NE(keep(temp.File(L"missing\\dest")), 0u) << "nor kept where there is no folder";
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), "previous version");
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::wstring>{L"dest", L"kept", L"source"})) << "no temporary file";

    ASSERT_TRUE(::SetFileAttributesW(temp.File(L"dest").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(keep(temp.File(L"kept\\dest")), 0u) << "a read-only file is moved aside as it is";
    EXPECT_EQ(ReadBytes(temp.File(L"dest")), Content(3 * kChunk + 5));
    EXPECT_EQ(ReadBytes(temp.File(L"kept\\dest")), "previous version");
    EXPECT_EQ(Info(temp.File(L"kept\\dest")).dwFileAttributes & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Info(temp.File(L"dest")).dwFileAttributes & FILE_ATTRIBUTE_READONLY, 0u) << "the source's attributes";
    ::SetFileAttributesW(temp.File(L"kept\\dest").c_str(), FILE_ATTRIBUTE_NORMAL);
    const auto kept = Info(temp.File(L"kept\\dest")).ftLastWriteTime;
    EXPECT_EQ((std::uint64_t{kept.dwHighDateTime} << 32) | kept.dwLowDateTime, kOld) << "moved, not copied";
    EXPECT_EQ(keep(temp.File(L"kept\\again")), 0u);
    EXPECT_EQ(ReadBytes(temp.File(L"kept\\again")), Content(3 * kChunk + 5));

    ::DeleteFileW(temp.File(L"dest").c_str());
    EXPECT_EQ(keep(temp.File(L"kept\\none")), 0u) << "with nothing to replace, a plain copy";
    EXPECT_FALSE(fs.Exists(temp.File(L"kept\\none")));
}

// A tree is removed whole, read-only files and nested folders included; its folder's neighbours
// stay.
TEST_F(Win32FileSystemTest, RemovesATreeWithReadOnlyFilesAndNothingBesideIt) {
    for (const wchar_t* folder : {L"tree", L"tree\\deep", L"tree\\deep\\er", L"tree2"}) {
        ASSERT_TRUE(fs.CreateFolder(temp.File(folder)));
    }
    WriteBytes(temp.File(L"tree\\a.txt"), "a");
    WriteBytes(temp.File(L"tree\\deep\\er\\b.txt"), "b");
    WriteBytes(temp.File(L"tree\\deep\\c.txt"), "c");
    ::SetFileAttributesW(temp.File(L"tree\\deep\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(temp.File(L"tree2\\d.txt"), "beside");
    WriteBytes(temp.File(L"tree.txt"), "beside");
    EXPECT_EQ(fs.RemoveTree(temp.File(L"tree")), 0u);
    EXPECT_EQ(Names(temp.Path()), (std::vector<std::wstring>{L"tree.txt", L"tree2"}));
    EXPECT_EQ(ReadBytes(temp.File(L"tree2\\d.txt")), "beside");
}

}  // namespace
