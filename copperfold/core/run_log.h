#pragma once
// The run log: one plain-text record per run of jobs (from the button, the Execute command or
// the command line), so that whoever was away from the screen learns how a run ended. A record:
//
//   Run 2026-12-07 14:05:03, started by the enclosure's button
//     Backup  C:\Documents -> E:\Backup
//             done; 2,030 files copied, 8,500,000 bytes, 3.9 s
//     Sync    C:\Laptop -> E:\Laptop
//             done; 4 files copied, 12,880 bytes, 0.3 s
//     Result: done; 2,034 files copied, 8,512,880 bytes, 4.2 s
//     Error: ... (only when something went wrong: the system's text and the two paths, or the
//            first kProblemsKeptInFull problems the run reported and a count of the rest)
//     Note: ... (what the copies found out about a drive, e.g. one that keeps no attributes)
//
// A run appends its record to the file. Only when the file has grown past kRunLogTrimBytes is
// it rewritten with its newest records (at most kRunLogKeptRuns of them, kRunLogKeptBytes of
// text in all). Records are told apart by their first line, which alone starts with "Run ".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "copperfold_doc.h"
#include "run_journal.h"

namespace copperfold {

inline constexpr std::size_t kRunLogKeptRuns = 1000;
inline constexpr std::uint64_t kRunLogTrimBytes = 4u << 20;
inline constexpr std::size_t kRunLogKeptBytes = 2u << 20;
inline constexpr std::size_t kProblemsKeptInFull = 5;

enum class RunTrigger { Button, Execute, CommandLine, Arrival, Schedule, VersionsWindow };
enum class RunResult { Done, Failed, Cancelled };

struct RunLogEntry {
    std::wstring startTime;  // local time, "YYYY-MM-DD hh:mm:ss"
    RunTrigger trigger = RunTrigger::Execute;
    std::vector<JobRecord> jobs;
    std::vector<JobAccount> accounts;  // one per job, or none (then only the totals are shown)
    RunResult result = RunResult::Done;
    std::uint64_t filesCopied = 0;
    std::uint64_t bytesCopied = 0;
    std::uint64_t milliseconds = 0;
    std::wstring error;  // what went wrong, empty when nothing did
    // After a button run: whether the enclosure was stopped for unplugging (an English text),
    // empty when that was not asked for.
    std::wstring eject;
    std::vector<std::wstring> notes;  // what the user should know though nothing failed, a line each
};

// One record, lines ended with CR LF (the file is read with Notepad as well as anything else).
std::wstring FormatRunRecord(const RunLogEntry& entry);
// The one-line record of a run that had nothing to do and wrote nothing (a scheduled run whose
// drives are not plugged in): "Run <time>, started by a schedule: not run, <reason>".
std::wstring FormatSkippedRun(std::wstring_view startTime, RunTrigger trigger, std::wstring_view reason);
// A count with thousands separators: 8,512,880.
std::wstring GroupedNumber(std::uint64_t value);
// The log `existing` with `record` appended, keeping the newest `keep` records. Text before the
// first record (a damaged or foreign start) is dropped with the oldest records.
std::wstring AppendRunRecord(std::wstring_view existing, std::wstring_view record, std::size_t keep = kRunLogKeptRuns);
// The newest records of `log`: at most `keepRecords` of them and, beyond the newest one, no more
// than `maxChars` characters in all. Text before the first record is dropped.
std::wstring TrimRunLog(std::wstring_view log, std::size_t keepRecords, std::size_t maxChars);
// The problems a run reported, for its Error line: the first `keepInFull` in full, joined by
// " | ", and how many more there were.
std::wstring SummarizeProblems(const std::vector<std::wstring>& problems, std::size_t keepInFull = kProblemsKeptInFull);

}  // namespace copperfold
