#include "copperfold/core/settled_jobs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tests/fake_ini_file_access.h"

namespace {

using copperfold::JobFileStamp;
using copperfold::JobReading;

constexpr char kTwoJobs[] =
    "[PC-alice]\r\nTASK=0x0002\r\nSRC0001=C:\\Docs\r\nDST0001=E:\\Docs\r\nType0001=Backup\r\n"
    "SRC0002=C:\\Mail\r\nDST0002=E:\\Mail\r\nType0002=Sync\r\n";

// A job file that another program rewrites in place: each step of `versions` is what the file
// holds (and its stamp) from one pause to the next; `duringRead` makes the stamp move while a
// reading is going on.
class SettledJobsTest : public ::testing::Test, protected testing_support::FakeIniFile {
protected:
    struct Version {
        std::string bytes;
        bool changesWhileRead = false;
    };

    JobReading Read(std::vector<Version> steps, int attempts = 10) {
        versions = std::move(steps);
        pauses = 0;
        Show(0);
        return copperfold::ReadSettledJobs(
            doc, [this] { return Stamp(); },
            [this] {
                ++pauses;
                Show(std::min(step + 1, versions.size() - 1));
            },
            attempts);
    }

    void Show(size_t index) {
        step = index;
        Put(versions[step].bytes);
        stampReads = 0;
    }
    JobFileStamp Stamp() {
        // The stamp after a reading differs from the one before it when the version changes
        // while it is read.
        const bool moved = versions[step].changesWhileRead && stampReads++ % 2 == 1;
        return {true, versions[step].bytes.size(), step * 10 + (moved ? 1u : 0u)};
    }

    std::vector<Version> versions;
    size_t step = 0;
    int stampReads = 0;
    int pauses = 0;
    CCopperfoldDoc doc{&ini, L"PC-alice"};
};

TEST_F(SettledJobsTest, AFileCaughtEmptyOrCutShortIsReadAgainUntilItSettles) {
    EXPECT_EQ(Read({{kTwoJobs}}), JobReading::Jobs);
    EXPECT_EQ(pauses, 0) << "a settled file with jobs is read once";

    // Caught truncated by an in-place rewrite, then finished.
    EXPECT_EQ(Read({{""}, {kTwoJobs}}), JobReading::Jobs);
    EXPECT_EQ(doc.jobCount, 2);

    // Cut short in the middle of the rewrite (one job of two, written to while read): never
    // taken for the whole file.
    const std::string half = std::string(kTwoJobs).substr(0, 70);
    EXPECT_EQ(Read({{half, true}, {kTwoJobs}}), JobReading::Jobs);
    EXPECT_EQ(doc.jobCount, 2);
    EXPECT_EQ(doc.jobs[1].source, L"C:\\Mail");
}

TEST_F(SettledJobsTest, OnlyAFileThatStaysWithoutAJobHasNone) {
    EXPECT_EQ(Read({{""}}), JobReading::NoJobs);
    EXPECT_EQ(pauses, 1) << "confirmed by a second reading";
    EXPECT_EQ(Read({{"[PC-alice]\r\nTASK=0x0000\r\n"}}), JobReading::NoJobs);
    EXPECT_EQ(Read({{"[PC-bob]\r\nTASK=0x0001\r\nSRC0001=C:\\a\r\nDST0001=E:\\a\r\nType0001=Backup\r\n"}}),
              JobReading::NoJobs);

    // Always being written: the readings never settle.
    EXPECT_EQ(Read({{kTwoJobs, true}}, 4), JobReading::KeptChanging);
    EXPECT_EQ(pauses, 3) << "at most the attempts given";
    // Empty twice, but a different version each time: not yet settled.
    EXPECT_EQ(Read({{""}, {"\r\n"}, {"\r\n"}}), JobReading::NoJobs);
}

TEST_F(SettledJobsTest, SaysWhyThereIsNoJob) {
    const std::wstring path = L"C:\\Program Files\\Copperfold\\Copperfold.ini";
    EXPECT_EQ(copperfold::NoJobText(doc, path, false),
              L"No job to run: the job file " + path + L" does not exist. Add a job in Copperfold's window first.");
    Put("");
    EXPECT_NE(copperfold::NoJobText(doc, path, true).find(L"has no section [PC-alice] for this computer and user."),
              std::wstring::npos);
    Put("[PC-alice]\r\nTASK=0x0000\r\n");
    EXPECT_NE(copperfold::NoJobText(doc, path, true).find(L"holds no jobs (TASK=0)."), std::wstring::npos);
}

}  // namespace
