// The job file on the platform's file system: processes (here threads, each with its own view of
// the file, as the window, a run from the command line and a run's binding are) take turns
// through the file's update lock, and a write that fails says which file and why.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/core/ini_file.h"
#include "common/tests/win32/temp_folder.h"
#include "copperfold/core/copperfold_doc.h"

namespace {

using testing_support::TempFolder;

TEST(JobFile, WritersTakeTurnsAndNoneLosesAnothersJobsAndAFailedWriteSaysWhy) {
    TempFolder folder;
    const std::wstring path = folder.File(L"Copperfold.ini");
    const std::wstring section = MakeJobSection(L"PC", L"alice");
    constexpr int kWriters = 4;
    constexpr int kJobsEach = 12;
    std::atomic<int> ready{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            CIniFile file(path);
            CCopperfoldDoc doc(&file, section);  // every writer starts from the empty table
            ++ready;
            while (ready < kWriters) std::this_thread::yield();
            for (int j = 0; j < kJobsEach; ++j) {
                const std::wstring name = std::to_wstring(w) + L"-" + std::to_wstring(j);
                doc.AddJob(L"C:\\" + name, L"E:\\" + name, JobType::Backup);
            }
        });
    }
    for (std::thread& writer : writers) writer.join();

    CIniFile file(path);
    CCopperfoldDoc all(&file, section);
    ASSERT_EQ(all.jobCount, kWriters * kJobsEach);
    std::set<std::wstring> sources;
    for (int n = 0; n < all.jobCount; ++n) sources.insert(all.jobs[static_cast<size_t>(n)].source);
    EXPECT_EQ(sources.size(), static_cast<size_t>(kWriters * kJobsEach));
    std::vector<std::wstring> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        left.push_back(entry.path().filename());
    }
    EXPECT_EQ(left, std::vector<std::wstring>{L"Copperfold.ini"}) << "no lock or temporary file stays behind";

    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    try {
        all.AddJob(L"C:\\late", L"E:\\late", JobType::Sync);
        ADD_FAILURE() << "a write to a read-only job file was taken for a success";
    } catch (const CIniFileException& error) {
        EXPECT_EQ(error.Path(), path);
        EXPECT_EQ(error.Reason(), common::kFileReadOnlyReason);
    }
    EXPECT_EQ(all.jobCount, kWriters * kJobsEach);
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);

    CIniFile nowhere(folder.File(L"gone\\Copperfold.ini"));
    try {
        nowhere.WriteString(L"Setting", L"LANG", L"DEU");
        ADD_FAILURE() << "a write into a missing folder was taken for a success";
    } catch (const CIniFileException& error) {
        EXPECT_EQ(error.Path(), folder.File(L"gone\\Copperfold.ini"));
        EXPECT_TRUE(error.Reason().ends_with(L"(3)")) << "the system's reason and code: " << error.Reason().c_str();
        EXPECT_GT(error.Reason().size(), 4u);
    }
}

}  // namespace
