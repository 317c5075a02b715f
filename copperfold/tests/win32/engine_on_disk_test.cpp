// The copy engine on the platform's file system: whole jobs over deep trees with names in any
// script, a Sync that finds nothing to do, and files another program writes while they are copied.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/tests/win32/temp_folder.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/forwarding_file_system.h"
#include "copperfold/core/partial_name.h"
#include "copperfold/tests/counting_observer.h"
#include "copperfold/win32/win32_file_system.h"

namespace copperfold {
namespace {

using testing_support::CountingObserver;

class EngineOnDisk : public ::testing::Test {
protected:
    void Run(const JobRecord& job) { Run(fs, job); }
    void Run(FileSystem& files, const JobRecord& job) {
        JobBatch batch;
        batch.entries[batch.count++] = job;
        observer = CountingObserver{};
        counters.cancelFlag = 0;
        CopyEngine(files, observer, counters).RunJobs(batch, std::chrono::milliseconds(0));
    }
    std::string Read(const std::wstring& path) { return testing_support::ReadBytes(ExtendedLengthPath(path)); }

    testing_support::TempFolder temp;
    Win32FileSystem fs;
    CountingObserver observer;
    RunCounters counters;
};

TEST_F(EngineOnDisk, BackupAndSyncOfADeepTreeWithNamesInAnyScript) {
    // A source whose files lie well past 260 characters, created through the engine itself.
    std::wstring deep = temp.File(L"Quelle \U0001F4C1");
    for (int level = 0; level < 6; ++level) deep += L"\\" + std::wstring(40, static_cast<wchar_t>(L'a' + level));
    CopyEngine maker(fs, observer, counters);
    ASSERT_EQ(maker.MakePath(deep), 1);
    const std::wstring names[] = {L"Отчёт.txt", L"報告書.txt", L"note \U0001F600.txt"};
    for (const auto& name : names) {
        testing_support::WriteBytes(ExtendedLengthPath(deep + L"\\" + name), "content of a file");
    }
    ASSERT_GT((deep + L"\\" + names[0]).size(), 260u);

    Run({temp.File(L"Quelle \U0001F4C1"), temp.File(L"Ziel"), JobType::Backup, {}});
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_EQ(observer.copies, 3);
    const std::wstring copiedDeep = temp.File(L"Ziel") + deep.substr(temp.Path().size());
    for (const auto& name : names) EXPECT_EQ(Read(copiedDeep + L"\\" + name), "content of a file");

    // The copies carry the source's times, so a Sync between the two finds nothing to copy.
    Run({temp.File(L"Quelle \U0001F4C1"), temp.File(L"Ziel\\Quelle \U0001F4C1"), JobType::Sync, {}});
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_EQ(observer.copies, 0);
    EXPECT_EQ(counters.bytesDone.load(), counters.bytesTotal.load()) << "compared files count toward the bar";
}

// Bytes that are never zero (a chunk of zeros is not written), different for each seed.
std::string Content(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(1 + (i * 7 + static_cast<unsigned char>(seed)) % 251);
    return bytes;
}

// Another program overwrites the start of a file in place, keeping its size, once the copy of
// that file has read its first chunk.
class RewrittenWhileCopied final : public ForwardingFileSystem {
public:
    RewrittenWhileCopied(FileSystem& inner, std::wstring file) : ForwardingFileSystem(inner), file_(std::move(file)) {}
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const CopyProgress& progress, const std::atomic<int>& cancel) override {
        if (!from.ends_with(L"\\disk.img") || !armed) return ForwardingFileSystem::CopyKeepingReplaced(from, to, keepAs, progress, cancel);
        const CopyProgress rewriting = [&](std::uint64_t size, std::uint64_t done, CopyProgressReason reason) {
            if (reason == CopyProgressReason::ChunkFinished && armed.exchange(false)) Overwrite();
            return progress(size, done, reason);
        };
        return ForwardingFileSystem::CopyKeepingReplaced(from, to, keepAs, rewriting, cancel);
    }
    std::atomic<bool> armed{false};

private:
    void Overwrite() {
        const win32::UniqueFile other(::CreateFileW(file_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        const std::string head(4096, 'X');
        EXPECT_TRUE(other && ::WriteFile(other.get(), head.data(), 4096, &written, nullptr)) << ::GetLastError();
    }
    std::wstring file_;
};

// A file rewritten in place while a quick Backup that keeps versions copies it: its copy would
// hold the old first chunk under a time within 2 s of the new file's, and every later quick run
// would take it for the new file. The copy is not kept: the run says so and fails, the drive's
// copy stays as it was (nothing is moved among the versions, no temporary file stays), the other
// file is copied, and the next run copies the file whole.
TEST_F(EngineOnDisk, AFileRewrittenWhileItIsCopiedIsNotKeptAsItsCopy) {
    const std::wstring source = temp.File(L"Work");
    const std::wstring target = temp.File(L"Drive");
    std::filesystem::create_directories(source);
    const std::wstring file = source + L"\\disk.img";
    const std::size_t size = 3 * Win32FileSystem::kChunkSize;
    testing_support::WriteBytes(file, Content(size, 1));
    testing_support::WriteBytes(source + L"\\notes.txt", "notes");
    for (const std::wstring& path : {file, source + L"\\notes.txt"}) {  // written yesterday
        const win32::UniqueFile opened(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        const std::uint64_t yesterday = FileTimeNow() - 24 * 3600 * kFileTimeUnitsPerSecond;
        const FILETIME time{static_cast<DWORD>(yesterday), static_cast<DWORD>(yesterday >> 32)};
        ASSERT_TRUE(opened && ::SetFileTime(opened.get(), nullptr, &time, &time));
    }
    JobRecord job(source, target, JobType::Backup);
    job.options = {1, 30};
    Run(job);
    ASSERT_TRUE(observer.errors.empty());
    const std::wstring copy = target + L"\\Work\\disk.img";
    ASSERT_TRUE(Read(copy) == Content(size, 1));

    const std::string edited = Content(size, 2);
    testing_support::WriteBytes(file, edited);
    testing_support::WriteBytes(source + L"\\notes.txt", "notes, edited");
    RewrittenWhileCopied files(fs, file);
    files.armed = true;
    Run(files, job);
    EXPECT_FALSE(files.armed.load()) << "the file was rewritten during its copy";
    EXPECT_EQ(RunOutcomeCode(counters), 1);
    EXPECT_TRUE(observer.errors.empty());
    EXPECT_EQ(observer.failures.size(), 1u);
    const std::wstring told = file + L" changed while it was being copied (another program was writing it), so its copy "
                                     L"was not kept and " + copy + L" was left as it was. The next run copies it again.";
    EXPECT_EQ(observer.failures.empty() ? std::wstring() : observer.failures[0], told);
    EXPECT_TRUE(Read(copy) == Content(size, 1)) << "the previous copy stays";
    EXPECT_EQ(Read(target + L"\\Work\\notes.txt"), "notes, edited");
    std::size_t kept = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(target)) {
        EXPECT_FALSE(IsPartialFileName(entry.path().filename().wstring())) << entry.path();
        if (entry.is_regular_file() && entry.path().filename() == L"disk.img" && entry.path() != copy) ++kept;
    }
    EXPECT_EQ(kept, 0u) << "nothing was replaced, so nothing was kept";

    std::string now = edited;
    now.replace(0, 4096, std::string(4096, 'X'));
    ASSERT_TRUE(Read(file) == now);
    Run(job);
    EXPECT_EQ(RunOutcomeCode(counters), 0);
    EXPECT_EQ(observer.copies, 1);
    EXPECT_TRUE(Read(copy) == now) << "the next quick run copies the file whole";
}

}  // namespace
}  // namespace copperfold
