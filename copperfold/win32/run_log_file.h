#pragma once
// One run's entry in the run log file: "%LOCALAPPDATA%\Copperfold\RunLog.txt", UTF-8 text
// (see copperfold/core/run_log.h for a record). The session notes the start, lends the run a
// file system that counts its copies, and at the end appends the record. A log that cannot be
// written never fails the run; the reason goes to the debug output.

#include <windows.h>

#include <string>
#include <vector>

#include "copperfold/core/copy_engine.h"
#include "copperfold/core/recording_file_system.h"
#include "copperfold/core/run_journal.h"
#include "copperfold/core/run_log.h"
#include "win32_file_system.h"

namespace copperfold {

std::wstring RunLogPath();
// Appends `text` (whole lines) to the log: a line that belongs to the record just written.
void AppendRunLogText(const std::wstring& text);

class RunLogSession {
public:
    RunLogSession(RunTrigger trigger, const JobBatch& batch);
    RunLogSession(const RunLogSession&) = delete;
    RunLogSession& operator=(const RunLogSession&) = delete;

    // The file system the run copies through, and the journal its dialog tells of each job and
    // of every problem and note (the record's Error and Note lines).
    FileSystem& Files() { return recording; }
    RunJournal& Journal() { return journal; }
    // Builds the record from the ended run's counters and appends it to the log.
    RunLogEntry Finish(const RunCounters& counters);
    // A run that ran nothing, for `reason` (English): logged as failed.
    RunLogEntry Refuse(const std::wstring& reason);
    // A run that had nothing to do, for `reason` (English): one line, no failure.
    void Skip(const std::wstring& reason);

private:
    Win32FileSystem platform;
    RunJournal journal;
    RecordingFileSystem recording{platform, journal};
    RunLogEntry entry;
    ULONGLONG started = 0;
};

}  // namespace copperfold
