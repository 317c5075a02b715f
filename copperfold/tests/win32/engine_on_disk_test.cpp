// The copy engine on the platform's file system: whole jobs over deep trees with names in any
// script, and a Sync that finds nothing to do.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "common/tests/win32/temp_folder.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/tests/counting_observer.h"
#include "copperfold/win32/win32_file_system.h"

namespace copperfold {
namespace {

using testing_support::CountingObserver;

class EngineOnDisk : public ::testing::Test {
protected:
    void Run(const JobRecord& job) {
        JobBatch batch;
        batch.entries[batch.count++] = job;
        observer = CountingObserver{};
        counters.cancelFlag = 0;
        CopyEngine(fs, observer, counters).RunJobs(batch, std::chrono::milliseconds(0));
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

}  // namespace
}  // namespace copperfold
