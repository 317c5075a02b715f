// The jobs' schedules and plug-in marks as the job file keeps them, and what is made of them:
// the schedules by number, the task's definition and first start, the batch a plug-in runs.
#include "copperfold/core/job_schedule.h"

#include <gtest/gtest.h>

#include "common/tests/fake_ini_file_access.h"
#include "copperfold/core/job_binding.h"

namespace copperfold {
namespace {

class JobScheduleTest : public ::testing::Test, protected testing_support::FakeIniFile {
protected:
    CCopperfoldDoc doc{&ini, L"PC-alice"};
};

TEST(ScheduleTime, ReadsWhatTheCommandLineAndTheFileSayAndWritesItOneWay) {
    const auto daily = ParseScheduleTime(L" Daily 8:05 ");
    ASSERT_TRUE(daily);
    EXPECT_EQ(FormatScheduleTime(*daily), L"daily 08:05");
    const auto weekly = ParseScheduleTime(L"WEEKLY thursday, Mon,  sun 20:00");
    ASSERT_TRUE(weekly);
    EXPECT_EQ(weekly->weekdays, common::kMonday | common::kThursday | common::kSunday);
    EXPECT_EQ(FormatScheduleTime(*weekly), L"weekly Mon,Thu,Sun 20:00") << "Monday first, Sunday last";
    EXPECT_EQ(ParseScheduleTime(FormatScheduleTime(*weekly)), weekly);
    EXPECT_EQ(ScheduleTimeText(*weekly), L"on Mon, Thu, Sun at 20:00");
    EXPECT_EQ(ScheduleTimeText(*daily), L"every day at 08:05");
    for (const wchar_t* bad : {L"", L"daily", L"daily 24:00", L"daily 20:60", L"daily 20:0", L"daily 120:00",
                               L"daily 20:00 Mon", L"weekly 20:00", L"weekly Mon", L"weekly Mon,,Thu 20:00",
                               L"weekly Moonday 20:00", L"hourly 20:00", L"daily -1:00", L"daily 2O:00"}) {
        EXPECT_FALSE(ParseScheduleTime(bad)) << testing::PrintToString(std::wstring(bad));
    }
}

// A schedule lives in its jobs' keys: removing a job renumbers the others and their schedules
// with them, the plug-in mark stays with its job, and what this version cannot read is kept.
TEST_F(JobScheduleTest, SchedulesAndMarksMoveWithTheirJobsThroughRemovalAndReload) {
    for (int n = 1; n <= 4; ++n) {
        doc.AddJob(L"C:\\S" + std::to_wstring(n), L"E:\\T" + std::to_wstring(n), JobType::Backup,
                   TargetBinding{0xAAAA0000u + static_cast<std::uint32_t>(n), L""});
    }
    const ScheduleTime evening = *ParseScheduleTime(L"daily 20:00");
    const ScheduleTime mornings = *ParseScheduleTime(L"weekly Mon,Thu 06:30");
    doc.ModifyJobs([&](CCopperfoldDoc& fresh) {
        fresh.jobs[1].schedules = WithSchedule(L"7 fortnightly Tue 09:00", 1, evening);  // a later version's part
        fresh.jobs[3].schedules = WithSchedule(WithSchedule(L"", 1, evening), 2, mornings);
        fresh.WriteJob(2);
        fresh.WriteJob(4);
        return true;
    });
    EXPECT_EQ(doc.SetRunOnArrival({{L"C:\\S3", L"E:\\T3"}, {L"C:\\S4", L"E:\\T4"}, {L"C:\\Nowhere", L"E:\\"}}, true), 2);
    EXPECT_NE(Text().find(L"Schedule0004=1 daily 20:00; 2 weekly Mon,Thu 06:30\r\n"), std::wstring::npos) << Text();
    EXPECT_NE(Text().find(L"OnArrival0003=0x0001\r\n"), std::wstring::npos);

    std::vector<JobSchedule> before;
    ASSERT_TRUE(doc.RemoveJobs({{L"C:\\S1", L"E:\\T1"}}, [&](const CCopperfoldDoc& old) { before = SchedulesOf(old); }));
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].jobNumbers, (std::vector<int>{2, 4}));

    const CCopperfoldDoc reloaded(&ini, L"PC-alice");
    const std::vector<JobSchedule> after = SchedulesOf(reloaded);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].id, 1);
    EXPECT_EQ(after[0].jobNumbers, (std::vector<int>{1, 3})) << "the same jobs, renumbered";
    EXPECT_EQ(after[1].jobNumbers, (std::vector<int>{3}));
    EXPECT_EQ(after[1].time, mornings);
    EXPECT_EQ(ScheduledRunArguments(after[0]), L"/run 1,3 /scheduled 1");
    EXPECT_EQ(reloaded.jobs[0].schedules, L"7 fortnightly Tue 09:00; 1 daily 20:00") << "the unknown part is kept";
    EXPECT_FALSE(reloaded.jobs[0].runOnArrival);
    EXPECT_TRUE(reloaded.jobs[1].runOnArrival && reloaded.jobs[2].runOnArrival) << "the marks moved with their jobs";
    EXPECT_EQ(WithoutSchedule(reloaded.jobs[2].schedules, 1), L"2 weekly Mon,Thu 06:30");
    EXPECT_EQ(WithoutSchedule(reloaded.jobs[0].schedules, 1), L"7 fortnightly Tue 09:00");

    // A mark taken off is emptied, not left behind; an unbound job never takes one.
    doc.AddJob(L"C:\\Fixed", L"D:\\Backup", JobType::Backup);
    EXPECT_EQ(doc.SetRunOnArrival({{L"C:\\S3", L"E:\\T3"}, {L"C:\\Fixed", L"D:\\Backup"}}, false), 1);
    EXPECT_EQ(doc.SetRunOnArrival({{L"C:\\Fixed", L"D:\\Backup"}}, true), 0);
    EXPECT_NE(Text().find(L"OnArrival0002=\r\n"), std::wstring::npos) << Text();
    EXPECT_EQ(Text().find(L"OnArrival0004"), std::wstring::npos);

    // What a plug-in of drive 0xAAAA0004 (job 3 now) runs, and not once more after that run.
    JobBatch batch;
    BuildArrivalBatch(doc.jobs.data(), doc.jobCount, {0xAAAA0004u, 0xAAAA0003u}, {}, batch);
    ASSERT_EQ(batch.count, 1) << "job 2 (drive 0xAAAA0003) lost its mark";
    EXPECT_EQ(batch.entries[0].source, L"C:\\S4");
    BuildArrivalBatch(doc.jobs.data(), doc.jobCount, {0xAAAA0004u}, {{L"C:\\S4", L"E:\\T4"}}, batch);
    EXPECT_EQ(batch.count, 0);

    // A hand-written mark as the key's description gives it.
    PutUtf16(L"[PC-alice]\r\nTASK=0x0002\r\nSRC0001=C:\\A\r\nDST0001=E:\\A\r\nType0001=Backup\r\nDstVol0001=0x00000001\r\n"
             L"OnArrival0001=1\r\nSRC0002=C:\\B\r\nDST0002=E:\\B\r\nType0002=Backup\r\nOnArrival0002=0x0002\r\n");
    doc.ReadJobs();
    EXPECT_TRUE(doc.jobs[0].runOnArrival);
    EXPECT_FALSE(doc.jobs[1].runOnArrival);
}

TEST(ScheduleTask, RunsAsTheUserUnelevatedFromTheNextTimeAndLateRatherThanNever) {
    const JobSchedule schedule{3, *ParseScheduleTime(L"weekly Mon,Thu 20:00"), {2, 5}};
    const common::ScheduledTask task =
        ScheduleTaskDefinition(schedule, L"C:\\Program Files\\Copperfold\\Copperfold.exe", L"S-1-5-21-1-2-3-1001",
                               L"2026-03-02T20:00:00", L"described");
    const auto xml = common::TaskXml(task);
    ASSERT_TRUE(xml);
    for (const wchar_t* part : {L"<Monday />", L"<Thursday />", L"<StartBoundary>2026-03-02T20:00:00</StartBoundary>",
                                L"<Command>C:\\Program Files\\Copperfold\\Copperfold.exe</Command>",
                                L"<Arguments>/run 2,5 /scheduled 3</Arguments>", L"<UserId>S-1-5-21-1-2-3-1001</UserId>",
                                L"<LogonType>InteractiveToken</LogonType>", L"<RunLevel>LeastPrivilege</RunLevel>",
                                L"<StartWhenAvailable>true</StartWhenAvailable>"}) {
        EXPECT_NE(xml->find(part), std::wstring::npos) << testing::PrintToString(std::wstring(part)) << *xml;
    }
    EXPECT_EQ(ScheduleTaskName(L"PC-al|ce", 3), L"Copperfold PC-al_ce 3");

    // The first start is the next one: later today, else tomorrow (across months and years).
    EXPECT_EQ(NextStartTime({2026, 3, 2, 19, 59}, 20, 0), L"2026-03-02T20:00:00");
    EXPECT_EQ(NextStartTime({2026, 3, 2, 20, 0}, 20, 0), L"2026-03-03T20:00:00");
    EXPECT_EQ(NextStartTime({2028, 2, 28, 21, 0}, 6, 30), L"2028-02-29T06:30:00");
    EXPECT_EQ(NextStartTime({2026, 2, 28, 21, 0}, 6, 30), L"2026-03-01T06:30:00");
    EXPECT_EQ(NextStartTime({2026, 12, 31, 23, 59}, 0, 0), L"2027-01-01T00:00:00");
}

}  // namespace
}  // namespace copperfold
