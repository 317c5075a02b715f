#pragma once
// CCopperfoldApp: start-up of Copperfold. Finds the settings files (the user's and the program
// folder's, see settings_location.h), takes the user's jobs over from the program folder's file
// once, reads the language, keeps the program to one instance, creates the "WriteEvent"
// handshake event and shows the main window ("/tray": hides it in the notification area). With
// "/run" it runs the current user's jobs in the progress dialog instead and exits with the run's
// outcome; "/schedule" and "/schedules" set up, remove and list schedules (see command_line.h).

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/core/ini_file.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/command_line.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/run_log.h"
#include "copperfold/core/settings_store.h"
#include "settings_location.h"

class CMainFrame;

class CCopperfoldApp {
public:
    explicit CCopperfoldApp(std::wstring programPath);
    ~CCopperfoldApp();
    CCopperfoldApp(const CCopperfoldApp&) = delete;
    CCopperfoldApp& operator=(const CCopperfoldApp&) = delete;

    // The whole life of the process for this command line; returns the exit code.
    int Main(const std::wstring& commandLine);
    // The start-up steps of an interactive start, the window hidden in the notification area
    // when `inTray` (the start at logon); false ends the process.
    bool InitInstance(bool inTray = false);
    // The message loop; returns the exit code.
    int Run();
    // Hands a key message to the dialog manager of its window; true when it was handled there
    // (then it is neither translated nor dispatched again).
    bool RouteKeys(MSG& message) const;
    // A run of jobs from the command line (the run of schedule `scheduleId`, when not 0: of the
    // jobs that carry it); returns its exit code.
    int RunFromCommandLine(const std::vector<int>& jobNumbers, int scheduleId = 0);
    // "/schedule JOBS WHEN" and "/schedules" (schedule_commands.cpp); return the exit code.
    int ScheduleFromCommandLine(const copperfold::CommandLine& command);
    int ListSchedulesFromCommandLine();
    // "/preview": what a run of those jobs would do, on standard output; returns the exit code.
    int PreviewFromCommandLine(const std::vector<int>& jobNumbers);
    // "/versions": the versions a job keeps, on standard output; returns the exit code.
    int VersionsFromCommandLine(int jobNumber);

    std::wstring Translate(std::wstring_view english, std::wstring_view fallback) const;
    copperfold::SettingsStore& Settings() const { return *settings; }
    const std::wstring& Language() const { return language; }
    // The program's own path (what the start at logon and the schedules start).
    const std::wstring& ProgramPath() const { return programPath; }
    // The file this user's jobs are kept in.
    const std::wstring& JobFilePath() const { return location.userFile; }
    const std::wstring& JobSection() const { return jobSection; }
    CMainFrame* MainFrame() const { return mainFrame.get(); }
    HANDLE WriteEvent() const { return writeEvent.get(); }

private:
    // What every start needs: common controls, OLE, the settings files and the language.
    // Without a window that waits for a click when `unattended`.
    bool StartCommon(bool unattended);
    // The user's section of the program folder's file, into the user's file at the first start
    // (see SettingsStore::TakeOverJobSection); what stands in the way is told, never fatal.
    void TakeOverOldJobs(bool unattended);
    // Reads the user's jobs for the command line until the reading settles (another program may
    // be rewriting the file); what stands in the way, with its exit status, or nothing.
    struct JobFileProblem {
        std::wstring reason;  // English
        copperfold::RunExitCode code;
    };
    std::optional<JobFileProblem> ReadCommandLineJobs(CCopperfoldDoc& document) const;
    // A run from the command line that runs nothing: `reason` to standard error and the run
    // log; returns `code`.
    int RefuseCommandLineRun(const std::wstring& reason, copperfold::RunExitCode code,
                             copperfold::RunTrigger trigger = copperfold::RunTrigger::CommandLine);
    // The user's jobs for a command that reads them (a schedule's); what stands in the way of
    // reading them, reported, with its exit status, or nothing (also when there is no job).
    std::optional<copperfold::RunExitCode> ReadJobsForCommand(CCopperfoldDoc& document);
    // A run, or the preview of one, of the jobs named (all of them without a number); with
    // `restore` ("/restore-version"), of the restore of a version of the one job named instead.
    // `scheduleId` as for RunFromCommandLine.
    int RunJobsFromCommandLine(const std::vector<int>& jobNumbers, const copperfold::CommandLine* restore,
                               int scheduleId = 0);
    int PreviewJobsFromCommandLine(const std::vector<int>& jobNumbers, const copperfold::CommandLine* restore);
    // For a command that only reads (a preview, a listing): the program's start, the user's jobs,
    // the named ones in `batch` as their drives are now; an exit status when it cannot go on.
    std::optional<int> ReadCommandLineBatch(const std::vector<int>& jobNumbers, copperfold::JobBatch& batch);
    // Replaces the batch's one job by the restore `restore` asks for; false (told on standard
    // error) when no such restore can be made.
    bool ToVersionRestore(const copperfold::CommandLine& restore, copperfold::JobBatch& batch) const;

    std::wstring programPath;
    copperfold::SettingsLocation location;
    std::unique_ptr<copperfold::SettingsStore> settings;
    std::wstring jobSection;
    std::wstring language;
    win32::UniqueHandle instanceMutex;
    win32::UniqueHandle writeEvent;
    std::unique_ptr<CMainFrame> mainFrame;
    bool oleInitialized = false;
};
