// Run log records: a good, a cancelled and a failed run, each job's account, and the log kept
// to its newest runs.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "copperfold/core/run_log.h"

namespace {

using copperfold::RunLogEntry;
using copperfold::RunResult;
using copperfold::RunTrigger;

RunLogEntry Entry(RunResult result) {
    RunLogEntry entry;
    entry.startTime = L"2026-12-07 14:05:03";
    entry.trigger = RunTrigger::Button;
    entry.jobs = {JobRecord{L"C:\\Documents", L"E:\\Backup", JobType::Backup, {}},
                  JobRecord{L"C:\\Laptop", L"E:\\Laptop", JobType::Sync, {}}};
    entry.result = result;
    entry.filesCopied = 2034;
    entry.bytesCopied = 8512880;
    entry.milliseconds = 4250;
    return entry;
}

TEST(RunLog, RecordsOfAGoodACancelledAndAFailedRun) {
    EXPECT_EQ(copperfold::FormatRunRecord(Entry(RunResult::Done)),
              L"Run 2026-12-07 14:05:03, started by the enclosure's button\r\n"
              L"  Backup  C:\\Documents -> E:\\Backup\r\n"
              L"  Sync    C:\\Laptop -> E:\\Laptop\r\n"
              L"  Result: done; 2,034 files copied, 8,512,880 bytes, 4.2 s\r\n");

    RunLogEntry cancelled = Entry(RunResult::Cancelled);
    cancelled.trigger = RunTrigger::Execute;
    cancelled.filesCopied = 3;
    cancelled.bytesCopied = 999;
    EXPECT_NE(copperfold::FormatRunRecord(cancelled).find(L"started by the Execute command\r\n"), std::wstring::npos);
    EXPECT_NE(copperfold::FormatRunRecord(cancelled).find(L"  Result: cancelled; 3 files copied, 999 bytes, 4.2 s\r\n"),
              std::wstring::npos);

    RunLogEntry failed = Entry(RunResult::Failed);
    failed.trigger = RunTrigger::CommandLine;
    failed.error = L"There is not enough space on the disk.\r\n (C:\\Documents\\a.txt -> E:\\Backup\\Documents\\a.txt)";
    const std::wstring record = copperfold::FormatRunRecord(failed);
    EXPECT_NE(record.find(L"  Result: failed;"), std::wstring::npos);
    EXPECT_TRUE(record.ends_with(L"  Error: There is not enough space on the disk.   (C:\\Documents\\a.txt -> "
                                 L"E:\\Backup\\Documents\\a.txt)\r\n"))
        << "the error stays on its own line";
    EXPECT_EQ(copperfold::GroupedNumber(0), L"0");
    EXPECT_EQ(copperfold::GroupedNumber(999), L"999");
    EXPECT_EQ(copperfold::GroupedNumber(1000), L"1,000");
}

TEST(RunLog, EachJobsAccountStandsUnderItsLine) {
    RunLogEntry entry = Entry(RunResult::Failed);
    entry.jobs.push_back(JobRecord{L"C:\\Photos", L"E:\\Photos", JobType::Backup, {}});
    entry.accounts = {{2030, 8500000, 3900, copperfold::JobOutcome::Done},
                      {0, 0, 100, copperfold::JobOutcome::Refused},
                      {0, 0, 0, copperfold::JobOutcome::NotRun}};
    EXPECT_EQ(copperfold::FormatRunRecord(entry),
              L"Run 2026-12-07 14:05:03, started by the enclosure's button\r\n"
              L"  Backup  C:\\Documents -> E:\\Backup\r\n"
              L"          done; 2,030 files copied, 8,500,000 bytes, 3.9 s\r\n"
              L"  Sync    C:\\Laptop -> E:\\Laptop\r\n"
              L"          not run: refused\r\n"
              L"  Backup  C:\\Photos -> E:\\Photos\r\n"
              L"          not run\r\n"
              L"  Result: failed; 2,034 files copied, 8,512,880 bytes, 4.2 s\r\n");
}

TEST(RunJournal, SplitsCopiesByJobAndCountsEveryCopyOfConcurrentThreads) {
    std::uint64_t now = 1000;
    copperfold::RunJournal journal(4, [&] { return now; });
    journal.CopyEnded(true, 5);  // before any job (a run's own bookkeeping): totals only

    journal.JobStarted();  // job 0: four threads copy 1,000 files of 3 bytes each
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) journal.CopyEnded(true, 3);
        });
    }
    for (std::thread& thread : threads) thread.join();
    now = 3500;
    journal.JobStarted();  // job 1: refused
    journal.JobRefused();
    journal.JobStarted();  // job 2: one copy, one failure, then the run is cancelled
    now = 3600;
    journal.CopyEnded(true, 7);
    journal.CopyEnded(false, 0);
    now = 4000;

    EXPECT_EQ(journal.FilesCopied(), 1002u);
    EXPECT_EQ(journal.BytesCopied(), 3012u);
    const auto accounts = journal.Accounts(true);
    ASSERT_EQ(accounts.size(), 4u);
    EXPECT_EQ(accounts[0].files, 1000u);
    EXPECT_EQ(accounts[0].bytes, 3000u);
    EXPECT_EQ(accounts[0].milliseconds, 2500u);
    EXPECT_EQ(accounts[0].outcome, copperfold::JobOutcome::Done);
    EXPECT_EQ(accounts[1].outcome, copperfold::JobOutcome::Refused);
    EXPECT_EQ(accounts[1].milliseconds, 0u);
    EXPECT_EQ(accounts[2].outcome, copperfold::JobOutcome::Failed) << "a failure outweighs the cancel";
    EXPECT_EQ(accounts[2].files, 1u);
    EXPECT_EQ(accounts[2].milliseconds, 500u);
    EXPECT_EQ(accounts[3].outcome, copperfold::JobOutcome::NotRun);

    copperfold::RunJournal cancelled(2, [] { return std::uint64_t{0}; });
    cancelled.JobStarted();
    EXPECT_EQ(cancelled.Accounts(true)[0].outcome, copperfold::JobOutcome::Cancelled);
    EXPECT_EQ(cancelled.Accounts(false)[0].outcome, copperfold::JobOutcome::Done);
    cancelled.JobStarted();
    cancelled.JobStarted();  // one start too many is counted for the last job, never beyond the table
    EXPECT_EQ(cancelled.Accounts(false).size(), 2u);
}

TEST(RunLog, KeepsTheNewestRunsAndDropsADamagedStart) {
    std::wstring log = L"garbage without a record start\r\n";
    for (int n = 0; n < 5; ++n) {
        RunLogEntry entry = Entry(RunResult::Done);
        entry.startTime = L"run" + std::to_wstring(n);
        log = copperfold::AppendRunRecord(log, copperfold::FormatRunRecord(entry), 3);
    }
    EXPECT_TRUE(log.starts_with(L"Run run2,"));
    EXPECT_NE(log.find(L"Run run3,"), std::wstring::npos);
    EXPECT_NE(log.find(L"Run run4,"), std::wstring::npos);
    EXPECT_EQ(log.find(L"garbage"), std::wstring::npos);
    EXPECT_EQ(log.find(L"run1"), std::wstring::npos);

    // A job path that itself holds "Run " at a line start cannot start a record: it is indented.
    RunLogEntry tricky = Entry(RunResult::Done);
    tricky.jobs[0].source = L"C:\\x\nRun fake";
    const std::wstring two = copperfold::AppendRunRecord(copperfold::FormatRunRecord(tricky),
                                                        copperfold::FormatRunRecord(Entry(RunResult::Done)), 2);
    EXPECT_EQ(copperfold::AppendRunRecord(two, L"Run last\r\n", 2).find(L"fake"), std::wstring::npos);
    EXPECT_EQ(copperfold::AppendRunRecord(L"Run a\r\nRun b", L"Run c\r\n", 5), L"Run a\r\nRun b\r\nRun c\r\n");
}

TEST(RunLog, TrimmingKeepsTheNewestRecordsWithinACharacterBudget) {
    const std::wstring log = L"Run a\r\n  aaaaaaaa\r\nRun b\r\n  bbbb\r\nRun c\r\n";
    EXPECT_EQ(copperfold::TrimRunLog(log, 10, 1000), log);
    EXPECT_EQ(copperfold::TrimRunLog(log, 2, 1000), L"Run b\r\n  bbbb\r\nRun c\r\n");
    EXPECT_EQ(copperfold::TrimRunLog(log, 10, 22), L"Run b\r\n  bbbb\r\nRun c\r\n") << "exactly the budget";
    EXPECT_EQ(copperfold::TrimRunLog(log, 10, 21), L"Run c\r\n");
    EXPECT_EQ(copperfold::TrimRunLog(L"Run huge" + std::wstring(100, L'x'), 10, 5), L"Run huge" + std::wstring(100, L'x') + L"\r\n")
        << "the newest record stays whatever its size";
    EXPECT_EQ(copperfold::TrimRunLog(L"no record at all", 10, 100), L"");
    EXPECT_EQ(copperfold::TrimRunLog(log, 0, 100), L"");
}

TEST(RunLog, ManyProblemsKeepTheFirstFewInFullAndCountTheRest) {
    std::vector<std::wstring> problems;
    EXPECT_EQ(copperfold::SummarizeProblems(problems), L"");
    problems = {L"one", L"two"};
    EXPECT_EQ(copperfold::SummarizeProblems(problems), L"one | two");
    problems.clear();
    for (int n = 0; n < 1105; ++n) problems.push_back(L"failure " + std::to_wstring(n) + std::wstring(60, L'p'));
    const std::wstring summary = copperfold::SummarizeProblems(problems);
    EXPECT_TRUE(summary.starts_with(L"failure 0")) << "the first failure in full";
    EXPECT_NE(summary.find(L"failure 4"), std::wstring::npos);
    EXPECT_EQ(summary.find(L"failure 5"), std::wstring::npos);
    EXPECT_TRUE(summary.ends_with(L" | and 1,100 more"));
    EXPECT_LT(summary.size(), 400u);

    RunLogEntry entry = Entry(RunResult::Failed);
    entry.error = summary;
    const std::wstring record = copperfold::FormatRunRecord(entry);
    EXPECT_EQ(record.find(L"Error: failure 0"), record.find(L"Error:"));
}

}  // namespace
