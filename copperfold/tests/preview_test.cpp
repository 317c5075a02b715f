// The preview of a run: found by the engine over a file system that writes nothing, and the
// same, file for file, as what the run then does.
#include "copperfold/core/preview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "common/core/case_fold.h"
#include "memory_file_system.h"

namespace copperfold {
namespace {

using testing_support::MemoryFileSystem;

class NullObserver final : public RunObserver {
public:
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal&) override {}
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {}
    void TotalKnown(std::uint64_t) override {}
};

// Every case of the Sync rules on one tree, a Backup and a Restore beside it, and a job that is
// refused.
class PreviewTest : public ::testing::Test {
protected:
    PreviewTest() {
        constexpr std::uint64_t second = MemoryFileSystem::kUnitsPerSecond;
        fs.AddFile(L"C:\\S\\new.txt", "only in the source");
        fs.AddFile(L"C:\\S\\same.txt", "same", 100);
        fs.AddFile(L"E:\\T\\same.txt", "same", 100);
        fs.AddFile(L"C:\\S\\newer-here.txt", "newer in the source", 200);
        fs.AddFile(L"E:\\T\\newer-here.txt", "old", 100);
        fs.AddFile(L"C:\\S\\newer-there.txt", "old", 100);
        fs.AddFile(L"E:\\T\\newer-there.txt", "newer in the target", 200);
        fs.AddFile(L"C:\\S\\close.txt", "one", 100);
        fs.AddFile(L"E:\\T\\close.txt", "two", 100);
        fs.SetTime(L"E:\\T\\close.txt", 100 * second + 15 * second / 10);  // within the tolerance
        fs.AddFile(L"C:\\S\\sub\\deep.txt", "a folder only in the source");
        fs.AddFile(L"E:\\T\\only-there.txt", "only in the target");
        fs.AddFile(L"E:\\T\\tsub\\x.txt", "a folder only in the target");
        fs.AddFile(L"C:\\S\\hidden.txt", "skipped", 100, kAttributeHidden);
        fs.AddFile(L"C:\\B\\doc.txt", "backed up");
        fs.AddFolder(L"E:\\BB");
        fs.AddFile(L"E:\\RR\\back.txt", "restored");
        fs.AddFolder(L"C:\\R");

        add({L"C:\\S", L"E:\\T", JobType::Sync});
        add({L"C:\\B", L"E:\\BB", JobType::Backup});
        add({L"C:\\R", L"E:\\RR", JobType::Restore});
        add({L"C:\\B", L"C:\\B\\inside", JobType::Backup});
    }
    void add(JobRecord job) { batch.entries[batch.count++] = std::move(job); }
    static std::set<std::wstring> Upper(const std::vector<std::wstring>& paths) {
        std::set<std::wstring> upper;
        for (const std::wstring& path : paths) upper.insert(common::UpperCased(path));
        return upper;
    }

    MemoryFileSystem fs;
    JobBatch batch;
};

TEST_F(PreviewTest, APreviewWritesNothingAndTheRunAfterItDoesExactlyWhatItListed) {
    const std::vector<JobPreview> previews = PreviewBatch(fs, batch);
    EXPECT_TRUE(fs.copies.empty()) << "the preview copied";
    EXPECT_TRUE(fs.createdFolders.empty()) << "the preview made folders";
    ASSERT_EQ(previews.size(), 4u);

    std::vector<std::wstring> listedFiles, listedFolders;
    for (const JobPreview& preview : previews) {
        for (const PreviewEntry& entry : preview.entries) {
            (entry.kind == PreviewEntry::Kind::Folder ? listedFolders : listedFiles).push_back(entry.path);
        }
    }
    NullObserver observer;
    RunCounters counters;
    CopyEngine engine(fs, observer, counters);
    engine.RunJobs(batch, std::chrono::milliseconds(0));
    std::vector<std::wstring> copiedFiles;
    for (const auto& copy : fs.copies) copiedFiles.push_back(copy.second);
    EXPECT_EQ(Upper(listedFiles), Upper(copiedFiles));
    EXPECT_EQ(listedFiles.size(), copiedFiles.size()) << "each file once";
    EXPECT_EQ(Upper(listedFolders), Upper(fs.createdFolders));
}

TEST_F(PreviewTest, EachFileIsListedWithItsDirectionAndEachJobWithItsTotals) {
    const std::vector<JobPreview> previews = PreviewBatch(fs, batch);
    const auto kindOf = [&](std::size_t job, const std::wstring& path) {
        for (const PreviewEntry& entry : previews[job].entries) {
            if (entry.path == path) return static_cast<int>(entry.kind);
        }
        return -1;
    };
    using Kind = PreviewEntry::Kind;
    EXPECT_EQ(kindOf(0, L"E:\\T\\new.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(0, L"E:\\T\\newer-here.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(0, L"C:\\S\\newer-there.txt"), static_cast<int>(Kind::ToSource));
    EXPECT_EQ(kindOf(0, L"C:\\S\\only-there.txt"), static_cast<int>(Kind::CopiedBack));
    EXPECT_EQ(kindOf(0, L"E:\\T\\sub"), static_cast<int>(Kind::Folder));
    EXPECT_EQ(kindOf(0, L"E:\\T\\same.txt"), -1);
    EXPECT_EQ(kindOf(0, L"E:\\T\\close.txt"), -1) << "1.5 s apart: the same time";
    EXPECT_EQ(kindOf(0, L"C:\\S\\close.txt"), -1);
    EXPECT_EQ(kindOf(0, L"E:\\T\\hidden.txt"), -1);
    EXPECT_EQ(kindOf(1, L"E:\\BB\\B\\doc.txt"), static_cast<int>(Kind::ToTarget));
    EXPECT_EQ(kindOf(2, L"C:\\R\\back.txt"), static_cast<int>(Kind::ToSource));
    EXPECT_NE(previews[3].refusal, L"");
    EXPECT_TRUE(previews[3].entries.empty());
    EXPECT_EQ(previews[1].files, 1u);
    EXPECT_EQ(previews[1].bytes, 9u);

    const std::wstring text = FormatPreview(previews);
    EXPECT_TRUE(text.starts_with(L"Job 1: Sync C:\\S -> E:\\T\n")) << text;
    EXPECT_NE(text.find(L"\n  \u2192 E:\\T\\new.txt (18 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  + C:\\S\\only-there.txt (18 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  \u2190 C:\\S\\newer-there.txt (19 bytes)\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\nJob 4: Backup C:\\B -> C:\\B\\inside\n  refused: "), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"\n  1 folder, 1 file, 9 bytes\n"), std::wstring::npos) << text;
    EXPECT_TRUE(text.ends_with(L"bytes\n"));
    EXPECT_EQ(text, FormatPreview(PreviewBatch(fs, batch))) << "the same text again: stable for diff";

    // A moved drive shows where its target went.
    JobBatch moved;
    moved.entries[0] = batch.entries[1];
    moved.entries[0].movedFrom = L"G:\\BB";
    moved.count = 1;
    EXPECT_NE(FormatPreview(PreviewBatch(fs, moved)).find(L"\n  G:\\BB \u2192 E:\\BB (the drive moved)\n"),
              std::wstring::npos);
}

}  // namespace
}  // namespace copperfold
