#pragma once
// Copperfold's command line. Without arguments the program starts as usual ("/tray": hidden in
// the notification area, as at logon); "/run" runs every job of the current user in file order
// in the progress dialog and exits; "/run 2,5" runs the named jobs (numbered from 1 as in the job
// file), and "/run 2,5 /scheduled 3" is the run a schedule's task starts (see job_schedule.h).
// "/preview" with the same job list prints what such a run would do, writing nothing.
// "/versions 2" lists the versions job 2 keeps of the files it replaced;
// "/restore-version 2 target "2026-05-01 14.30.05 +0200" [FILE]" puts one of them (or one file
// or folder of it) back, keeping what it replaces as a version in turn, and with "/preview"
// after it prints what that would do instead. Arguments with blanks go in double quotes.
// "/schedule 2,5 daily 20:00", "/schedule 2,5 weekly Mon,Thu 20:00" and "/schedule 2,5 off" set
// up and remove schedules of jobs; "/schedules" lists the user's schedules.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "copy_engine.h"
#include "job_schedule.h"

namespace copperfold {

struct CommandLine {
    enum class Kind { Interactive, Run, Preview, Versions, RestoreVersion, Schedule, ListSchedules, Invalid };
    Kind kind = Kind::Interactive;
    std::vector<int> jobNumbers;  // empty with Run: every job; one job for Versions, RestoreVersion
    // RestoreVersion: the side, the version folder's name, the file in it (empty: all of it), and
    // whether only its preview is asked for.
    bool targetSide = true;
    std::wstring version;
    std::wstring file;
    bool preview = false;
    std::wstring error;           // English text for Invalid
    bool startInTray = false;     // Interactive: "/tray"
    int scheduleId = 0;           // Run: the schedule whose task started the run; 0: none
    std::optional<ScheduleTime> scheduleTime;  // Schedule: when; none for "off"
    // A run nobody may be watching ("/run", also with bad job numbers): whatever it has to say
    // goes to standard error, never into a window that waits for a click.
    bool unattended = false;
};

CommandLine ParseCommandLine(std::wstring_view arguments);

// Fills `batch` with the requested jobs of `doc`; false with an English `error` when a job
// number names no job.
bool SelectJobs(const CCopperfoldDoc& doc, const std::vector<int>& jobNumbers, JobBatch& batch, std::wstring& error);

// Exit status of a run from the command line.
enum class RunExitCode : int {
    AllDone = 0,
    CopyFailed = 1,
    Cancelled = 2,
    BadArguments = 3,
    JobFileUnreadable = 4,
    NoJobs = 5,  // the user has no job in the file: a scheduled run that would do nothing
    // A scheduled run none of whose jobs' bound drives is plugged in: nothing was written.
    DrivesNotPluggedIn = 6,
};

}  // namespace copperfold
