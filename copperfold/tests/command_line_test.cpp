#include "copperfold/core/command_line.h"

#include <gtest/gtest.h>

#include "common/tests/fake_ini_file_access.h"

namespace copperfold {
namespace {

using Kind = CommandLine::Kind;

TEST(CommandLineParse, AcceptsRunWithAnOptionalListOfJobNumbers) {
    EXPECT_EQ(ParseCommandLine(L"").kind, Kind::Interactive);
    EXPECT_EQ(ParseCommandLine(L"   ").kind, Kind::Interactive);

    const CommandLine all = ParseCommandLine(L" /run ");
    EXPECT_EQ(all.kind, Kind::Run);
    EXPECT_TRUE(all.jobNumbers.empty());

    EXPECT_EQ(ParseCommandLine(L"/RUN 2,5").jobNumbers, (std::vector<int>{2, 5}));
    EXPECT_EQ(ParseCommandLine(L"/run 3 , 1,255").jobNumbers, (std::vector<int>{3, 1, 255}));
    EXPECT_EQ(ParseCommandLine(L"/run 0001,007,0255").jobNumbers, (std::vector<int>{1, 7, 255}))
        << "numbers as the job file's keys spell them";
    EXPECT_TRUE(all.unattended);
}

TEST(CommandLineParse, RefusesAnythingElseWithAClearMessage) {
    for (const wchar_t* bad : {L"/runs", L"/execute", L"C:\\file.txt", L"/run 0", L"/run 256", L"/run 2,",
                               L"/run x", L"/run 1;2", L"/run -1", L"/run 1,,2", L"/run 1000", L"/run 0000", L"/run 00256"}) {
        const CommandLine parsed = ParseCommandLine(bad);
        EXPECT_EQ(parsed.kind, Kind::Invalid) << testing::PrintToString(std::wstring(bad));
        EXPECT_NE(parsed.error.find(L"Usage:"), std::wstring::npos);
    }
    EXPECT_NE(ParseCommandLine(L"/run 7x").error.find(L"\"7x\""), std::wstring::npos);
    EXPECT_TRUE(ParseCommandLine(L"/run 7x").unattended) << "a run with bad numbers never waits for a click";
    EXPECT_FALSE(ParseCommandLine(L"/execute").unattended);
}

TEST(CommandLineParse, VersionsAndRestoreVersionTakeTheirArgumentsQuotedOrNot) {
    const CommandLine versions = ParseCommandLine(L"/versions 0002");
    EXPECT_EQ(versions.kind, Kind::Versions);
    EXPECT_EQ(versions.jobNumbers, std::vector<int>{2});
    EXPECT_TRUE(versions.unattended);

    const CommandLine all = ParseCommandLine(L"/Restore-Version 3 Target \"2026-05-01 14.30.05 +0200\"");
    EXPECT_EQ(all.kind, Kind::RestoreVersion);
    EXPECT_EQ(all.jobNumbers, std::vector<int>{3});
    EXPECT_TRUE(all.targetSide);
    EXPECT_EQ(all.version, L"2026-05-01 14.30.05 +0200");
    EXPECT_EQ(all.file, L"");
    EXPECT_FALSE(all.preview);

    const CommandLine one = ParseCommandLine(L"/restore-version 1 source \"2026-05-01 14.30.05 +0200 (2)\" "
                                             L"\"Trip\\beach photo.jpg\" /PREVIEW");
    EXPECT_FALSE(one.targetSide);
    EXPECT_EQ(one.version, L"2026-05-01 14.30.05 +0200 (2)");
    EXPECT_EQ(one.file, L"Trip\\beach photo.jpg");
    EXPECT_TRUE(one.preview);

    for (const wchar_t* bad : {L"/versions", L"/versions 1 2", L"/versions x", L"/restore-version 1 target",
                               L"/restore-version 1 middle v", L"/restore-version 0 target v",
                               L"/restore-version 1 target \"v", L"/restore-version 1 target v f extra"}) {
        const CommandLine parsed = ParseCommandLine(bad);
        EXPECT_EQ(parsed.kind, Kind::Invalid) << testing::PrintToString(std::wstring(bad));
        EXPECT_TRUE(parsed.unattended);
        EXPECT_NE(parsed.error.find(L"/restore-version JOB"), std::wstring::npos);
    }
}

TEST(CommandLineParse, TakesSchedulesTheirRunsAndTheStartAtLogon) {
    const CommandLine weekly = ParseCommandLine(L"/schedule 2, 5 weekly Mon,Thu 20:00");
    ASSERT_EQ(weekly.kind, Kind::Schedule) << weekly.error;
    EXPECT_EQ(weekly.jobNumbers, (std::vector<int>{2, 5}));
    ASSERT_TRUE(weekly.scheduleTime);
    EXPECT_EQ(FormatScheduleTime(*weekly.scheduleTime), L"weekly Mon,Thu 20:00");
    EXPECT_TRUE(weekly.unattended);
    const CommandLine off = ParseCommandLine(L"/SCHEDULE 7 OFF");
    ASSERT_EQ(off.kind, Kind::Schedule);
    EXPECT_FALSE(off.scheduleTime);
    EXPECT_EQ(ParseCommandLine(L"/schedules").kind, Kind::ListSchedules);

    const CommandLine scheduled = ParseCommandLine(L"/run 2,5 /scheduled 12");
    ASSERT_EQ(scheduled.kind, Kind::Run);
    EXPECT_EQ(scheduled.jobNumbers, (std::vector<int>{2, 5}));
    EXPECT_EQ(scheduled.scheduleId, 12);
    EXPECT_EQ(ParseCommandLine(L"/run 2").scheduleId, 0);

    const CommandLine tray = ParseCommandLine(L"/tray");
    EXPECT_EQ(tray.kind, Kind::Interactive);
    EXPECT_TRUE(tray.startInTray);
    EXPECT_FALSE(ParseCommandLine(L"").startInTray);

    for (const wchar_t* bad : {L"/schedule daily 20:00", L"/schedule 2,5", L"/schedule 2,5 daily", L"/schedule 0 off",
                               L"/schedule 2 weekly 20:00", L"/schedule 2 daily 20:00 off", L"/schedules 2",
                               L"/run 2 /scheduled", L"/run 2 /scheduled 0", L"/run 2 /scheduled 1000",
                               L"/preview 2 /scheduled 1", L"/tray /run"}) {
        const CommandLine parsed = ParseCommandLine(bad);
        EXPECT_EQ(parsed.kind, Kind::Invalid) << testing::PrintToString(std::wstring(bad));
        EXPECT_TRUE(parsed.unattended) << "nobody may be there to answer a window";
        EXPECT_NE(parsed.error.find(L"Usage:"), std::wstring::npos);
    }
}

class SelectJobsTest : public ::testing::Test, protected testing_support::FakeIniFile {
protected:
    SelectJobsTest() {
        for (int n = 1; n <= 3; ++n) doc.AddJob(L"C:\\S" + std::to_wstring(n), L"E:\\T", JobType::Backup);
    }
    CCopperfoldDoc doc{&ini, L"PC-user"};
    JobBatch batch;
    std::wstring error;
};

TEST_F(SelectJobsTest, NoNumbersMeansEveryJobInFileOrder) {
    ASSERT_TRUE(SelectJobs(doc, {}, batch, error));
    ASSERT_EQ(batch.count, 3);
    EXPECT_EQ(batch.entries[0].source, L"C:\\S1");
    EXPECT_EQ(batch.entries[2].source, L"C:\\S3");
}

TEST_F(SelectJobsTest, NamedJobsRunInTheGivenOrderAndUnknownNumbersAreRefused) {
    ASSERT_TRUE(SelectJobs(doc, {3, 1}, batch, error));
    ASSERT_EQ(batch.count, 2);
    EXPECT_EQ(batch.entries[0].source, L"C:\\S3");
    EXPECT_EQ(batch.entries[1].source, L"C:\\S1");

    EXPECT_FALSE(SelectJobs(doc, {2, 4}, batch, error));
    EXPECT_EQ(batch.count, 0);
    EXPECT_NE(error.find(L"no job 4"), std::wstring::npos);
}

}  // namespace
}  // namespace copperfold
