#include "copperfold_app.h"

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>

#include "app_messages.h"
#include "command_line_report.h"
#include "common/core/translate.h"
#include "common/win32/system_info.h"
#include "common/win32/window.h"
#include "copperfold/core/command_line.h"
#include "copperfold/core/job_schedule.h"
#include "copperfold/core/preflight.h"
#include "copperfold/core/preview.h"
#include "copperfold/core/settled_jobs.h"
#include "copperfold/core/versions.h"
#include "exec_dialog.h"
#include "main_frame.h"
#include "mounted_volumes.h"
#include "resource.h"
#include "run_log_file.h"
#include "shared_mutex.h"
#include "win32_file_system.h"

namespace {

// Between two readings of a job file that another program may be rewriting.
constexpr DWORD kJobFileSettlePauseMs = 150;

// How long a run from the command line waits for another run to end. Long enough for a first
// backup of a large disk over USB 2; short enough that a run held up by a hung one (or by a
// program squatting the mutex's name) ends and says so, instead of holding up every later
// start of its scheduled task, which the Task Scheduler does not start while one is running.
constexpr DWORD kHourMs = 60 * 60 * 1000;
constexpr DWORD kRunTurnLimitMs = 12 * kHourMs;

copperfold::JobFileStamp JobFileStamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return {};
    return {true, (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime};
}

// CR LF line ends, as the platform's tools write.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring lines;
    lines.reserve(text.size() + text.size() / 32);
    for (const wchar_t c : text) lines += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    return lines;
}

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

}  // namespace

CCopperfoldApp::CCopperfoldApp(std::wstring path) : programPath(std::move(path)) {}

CCopperfoldApp::~CCopperfoldApp() {
    mainFrame.reset();
    settings.reset();
    writeEvent.reset();
    instanceMutex.reset();
    if (oleInitialized) ::OleUninitialize();
}

bool CCopperfoldApp::StartCommon(bool unattended) {
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
    ::InitCommonControlsEx(&controls);
    if (FAILED(::OleInitialize(nullptr))) {
        if (unattended) {
            ReportCommandLineError(LoadResourceString(IDS_OLE_INIT_FAILED), true);
        } else {
            ::MessageBoxW(nullptr, LoadResourceString(IDS_OLE_INIT_FAILED).c_str(), copperfold::kMainWindowTitle,
                          MB_OK | MB_ICONSTOP);
        }
        return false;
    }
    oleInitialized = true;

    if (programPath.empty()) return false;
    location = copperfold::LocateSettings(programPath);
    settings = copperfold::OpenSettings(location);
    jobSection = MakeJobSection(win32::ComputerName(), win32::UserName());
    language = settings->Language();
    return true;
}

void CCopperfoldApp::TakeOverOldJobs(bool unattended) {
    using TakeOver = copperfold::SettingsStore::TakeOver;
    const auto shown = [&](std::wstring_view english) {
        return unattended ? std::wstring(english) : Translate(english, english);
    };
    std::wstring text;
    try {
        // The permissions are looked at only when there is a section to take.
        const bool untrusted = settings->SeparateFiles() && settings->ProgramFile().SectionExists(jobSection) &&
                               copperfold::WritableByOrdinaryUsers(location.programFile);
        if (settings->TakeOverJobSection(jobSection, untrusted) != TakeOver::OldFileUntrusted) return;
        text = copperfold::FilledText(shown(copperfold::kUntrustedOldJobsText), {location.programFile});
    } catch (const CIniFileException& error) {
        text = copperfold::WriteFailureText(error, copperfold::kNotSavedText, shown);
    }
    if (unattended) {
        ReportCommandLineError(text, true);
    } else {
        win32::ShowError(nullptr, text.c_str(), L"Error Message");
    }
}

int CCopperfoldApp::Main(const std::wstring& commandLine) {
    const copperfold::CommandLine command = copperfold::ParseCommandLine(commandLine);
    switch (command.kind) {
    case copperfold::CommandLine::Kind::Invalid:
        ReportCommandLineError(command.error, command.unattended);
        return static_cast<int>(copperfold::RunExitCode::BadArguments);
    case copperfold::CommandLine::Kind::Run:
        return RunFromCommandLine(command.jobNumbers, command.scheduleId);
    case copperfold::CommandLine::Kind::Preview:
        return PreviewFromCommandLine(command.jobNumbers);
    case copperfold::CommandLine::Kind::Versions:
        return VersionsFromCommandLine(command.jobNumbers.front());
    case copperfold::CommandLine::Kind::RestoreVersion:
        return command.preview ? PreviewJobsFromCommandLine(command.jobNumbers, &command)
                               : RunJobsFromCommandLine(command.jobNumbers, &command);
    case copperfold::CommandLine::Kind::Schedule:
        return ScheduleFromCommandLine(command);
    case copperfold::CommandLine::Kind::ListSchedules:
        return ListSchedulesFromCommandLine();
    case copperfold::CommandLine::Kind::Interactive:
        break;
    }
    return InitInstance(command.startInTray) ? Run() : 0;
}

bool CCopperfoldApp::InitInstance(bool inTray) {
    if (!StartCommon(false)) return false;

    // Held by another instance when it exists, and also when the system refuses it: an
    // instance running elevated (or as another user) made it.
    copperfold::NamedMutex instance = copperfold::CreateSharedMutex(copperfold::kInstanceMutexName, true);
    if (instance.state != copperfold::NamedMutex::State::Created) {
        // A start at logon leaves a Copperfold that runs already as it is.
        if (inTray) return false;
        if (const HWND running = ::FindWindowW(nullptr, copperfold::kMainWindowTitle)) {
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(running, copperfold::kRestoreMessage, 0, 0, SMTO_ABORTIFHUNG,
                                  copperfold::kPeerAnswerLimitMs, &ignored);
        }
        return false;
    }
    instanceMutex = std::move(instance.handle);
    TakeOverOldJobs(false);

    writeEvent = copperfold::CreateProgramEvent(copperfold::kWriteEventName, true);
    if (!writeEvent) {
        wchar_t message[64];
        std::swprintf(message, 64, L"CreateEvent failed (%lu)\n", ::GetLastError());
        win32::ShowError(nullptr, message, L"Error Message");
        return false;
    }

    mainFrame = std::make_unique<CMainFrame>(*this);
    if (!mainFrame->Create()) return false;
    ::SetWindowTextW(mainFrame->Handle(), copperfold::kMainWindowTitle);
    // Started by Dockline, this instance runs with administrator rights, and a second start from
    // the Start menu without them: its "come back to the front" is let through (it carries no
    // data).
    ::ChangeWindowMessageFilterEx(mainFrame->Handle(), copperfold::kRestoreMessage, MSGFLT_ALLOW, nullptr);
    if (inTray) {
        mainFrame->StartInTray();
        return true;
    }
    ::ShowWindow(mainFrame->Handle(), SW_SHOW);
    ::UpdateWindow(mainFrame->Handle());
    return true;
}

int CCopperfoldApp::RunFromCommandLine(const std::vector<int>& jobNumbers, int scheduleId) {
    return RunJobsFromCommandLine(jobNumbers, nullptr, scheduleId);
}

int CCopperfoldApp::PreviewFromCommandLine(const std::vector<int>& jobNumbers) {
    return PreviewJobsFromCommandLine(jobNumbers, nullptr);
}

bool CCopperfoldApp::ToVersionRestore(const copperfold::CommandLine& restore, copperfold::JobBatch& batch) const {
    JobRecord record;
    const copperfold::JobSide side = restore.targetSide ? copperfold::JobSide::Target : copperfold::JobSide::Source;
    const copperfold::JobRefusal refusal =
        copperfold::MakeVersionRestore(batch.entries[0], side, restore.version, restore.file, record);
    if (refusal.Refused()) {
        ReportCommandLineError(copperfold::FilledText(refusal.text, refusal.arguments), true);
        return false;
    }
    batch.entries[0] = std::move(record);
    return true;
}

std::optional<int> CCopperfoldApp::ReadCommandLineBatch(const std::vector<int>& jobNumbers,
                                                        copperfold::JobBatch& batch) {
    using copperfold::RunExitCode;
    if (!StartCommon(true)) return static_cast<int>(RunExitCode::CopyFailed);
    TakeOverOldJobs(true);
    CCopperfoldDoc document(&settings->UserFile(), jobSection);
    if (const auto problem = ReadCommandLineJobs(document)) {
        ReportCommandLineError(problem->reason, true);
        // No job is nothing to show, but no error: the output says so.
        if (problem->code != RunExitCode::NoJobs) return static_cast<int>(problem->code);
    }
    std::wstring error;
    if (!copperfold::SelectJobs(document, jobNumbers, batch, error)) {
        ReportCommandLineError(error, true);
        return static_cast<int>(RunExitCode::BadArguments);
    }
    // Where each job's drive is now; nothing is recorded, as nothing is written.
    if (copperfold::AnyBound(batch)) {
        copperfold::ResolveBatchTargets(batch, copperfold::ListMountedVolumes(document.deviceTable));
    }
    return std::nullopt;
}

int CCopperfoldApp::VersionsFromCommandLine(int jobNumber) {
    auto batch = std::make_unique<copperfold::JobBatch>();
    if (const auto stop = ReadCommandLineBatch({jobNumber}, *batch)) return *stop;
    copperfold::Win32FileSystem files;
    JobRecord job = batch->entries[0];
    job.source = files.FullPath(job.source);
    job.target = files.FullPath(job.target);
    WriteStandardOutput(WithCrLf(copperfold::FormatVersions(batch->entries[0], jobNumber,
                                                            copperfold::ListVersions(files, job))));
    return static_cast<int>(copperfold::RunExitCode::AllDone);
}

int CCopperfoldApp::RunJobsFromCommandLine(const std::vector<int>& jobNumbers, const copperfold::CommandLine* restore,
                                           int scheduleId) {
    using copperfold::RunExitCode;
    const copperfold::RunTrigger trigger =
        scheduleId != 0 ? copperfold::RunTrigger::Schedule : copperfold::RunTrigger::CommandLine;
    if (!StartCommon(true)) return static_cast<int>(RunExitCode::CopyFailed);

    // A run from the command line leaves an open window of the program alone; runs of any
    // origin take turns, so two never copy at once.
    copperfold::RunTurn turn =
        copperfold::WaitForRunTurn(copperfold::kRunMutexName, kRunTurnLimitMs, [](bool holderRefusesUs) {
            ReportCommandLineError(holderRefusesUs ? L"Waiting for another Copperfold's run to end (one this program may "
                                                     L"not look into: elevated, or another user's)..."
                                                   : L"Waiting for another Copperfold's run to end...",
                                   true);
        });
    if (turn.state == copperfold::RunTurn::State::TimedOut) {
        return RefuseCommandLineRun(L"Another Copperfold's run (or a program holding its name) did not end within " +
                                        std::to_wstring(kRunTurnLimitMs / kHourMs) + L" hours. No job was run.",
                                    RunExitCode::CopyFailed, trigger);
    }
    const win32::UniqueHandle runMutex = std::move(turn.mutex);
    if (!runMutex) return RefuseCommandLineRun(L"The run mutex could not be created or opened. No job was run.",
                                               RunExitCode::CopyFailed, trigger);
    struct ReleaseOnExit {
        HANDLE mutex;
        ~ReleaseOnExit() { ::ReleaseMutex(mutex); }
    } release{runMutex.get()};

    TakeOverOldJobs(true);
    CCopperfoldDoc document(&settings->UserFile(), jobSection);
    if (const auto problem = ReadCommandLineJobs(document)) {
        // Running nothing and calling that success would hide every missed backup.
        return RefuseCommandLineRun(problem->code == RunExitCode::NoJobs ? problem->reason
                                                                          : problem->reason + L" No job was run.",
                                    problem->code, trigger);
    }
    std::optional<CIniFileException> bindingFailure;
    const std::vector<copperfold::MountedVolume> volumes = copperfold::BindJobsToDrives(document, &bindingFailure);
    if (bindingFailure) {
        ReportCommandLineError(copperfold::WriteFailureText(*bindingFailure, copperfold::kBindingNotRecordedText),
                               true);
    }
    std::vector<int> numbers = jobNumbers;
    if (scheduleId != 0) {
        // The jobs that carry the schedule, whatever numbers its task gives them.
        const std::vector<copperfold::JobSchedule> schedules = copperfold::SchedulesOf(document);
        const copperfold::JobSchedule* schedule = copperfold::FindSchedule(schedules, scheduleId);
        if (!schedule) {
            return RefuseCommandLineRun(
                L"No job belongs to schedule " + std::to_wstring(scheduleId) + L" any more, so nothing was run: its task \"" +
                    copperfold::ScheduleTaskName(jobSection, scheduleId) +
                    L"\" was left behind. Remove it in the Task Scheduler.",
                RunExitCode::NoJobs, trigger);
        }
        if (!numbers.empty() && numbers != schedule->jobNumbers) {
            ReportCommandLineError(L"The schedule's task names the jobs " + copperfold::JobNumbersText(numbers) +
                                       L"; its jobs are numbered " + copperfold::JobNumbersText(schedule->jobNumbers) +
                                       L" now, and those run.",
                                   true);
        }
        numbers = schedule->jobNumbers;
    }
    auto batch = std::make_unique<copperfold::JobBatch>();
    std::wstring error;
    if (!copperfold::SelectJobs(document, numbers, *batch, error)) {
        ReportCommandLineError(error, true);
        return static_cast<int>(RunExitCode::BadArguments);
    }
    copperfold::ResolveBatchTargets(*batch, volumes);
    if (restore && !ToVersionRestore(*restore, *batch)) return static_cast<int>(RunExitCode::BadArguments);
    if (scheduleId != 0 && copperfold::EveryDriveMissing(*batch)) {
        // The drive is at home today: nothing to do, and nothing that failed.
        const std::wstring reason = L"the drives of its jobs (" + copperfold::JobNumbersText(numbers) +
                                    L") are not plugged in, so nothing was written.";
        ReportCommandLineError(L"Not run: " + reason, true);
        copperfold::RunLogSession(trigger, *batch).Skip(reason);
        return static_cast<int>(RunExitCode::DrivesNotPluggedIn);
    }
    for (size_t i = 0; i < batch->count; ++i) {
        if (!batch->entries[i].movedFrom.empty()) ReportCommandLineError(copperfold::MovedTargetText(batch->entries[i]), true);
    }

    copperfold::RunLogSession log(trigger, *batch);
    CExecDialog dialog([this](std::wstring_view english, std::wstring_view fallback) {
        return Translate(english, fallback);
    }, log.Files());
    dialog.SetBatch(batch.get());
    dialog.SetJournal(&log.Journal());
    // Nobody may be watching: refusals and failed copies go to standard error, and the run goes on.
    dialog.SetUnattended([](const std::wstring& line) { ReportCommandLineError(line, true); });
    if (dialog.DoModal(nullptr) == -1) {
        ReportCommandLineError(L"The progress window could not be opened; no job was run.", true);
        return static_cast<int>(RunExitCode::CopyFailed);
    }
    log.Finish(dialog.Counters());
    return copperfold::RunOutcomeCode(dialog.Counters());
}

int CCopperfoldApp::PreviewJobsFromCommandLine(const std::vector<int>& jobNumbers,
                                               const copperfold::CommandLine* restore) {
    using copperfold::RunExitCode;
    auto batch = std::make_unique<copperfold::JobBatch>();
    if (const auto stop = ReadCommandLineBatch(jobNumbers, *batch)) return *stop;
    if (restore && !ToVersionRestore(*restore, *batch)) return static_cast<int>(RunExitCode::BadArguments);
    copperfold::Win32FileSystem files;
    WriteStandardOutput(WithCrLf(copperfold::FormatPreview(copperfold::PreviewBatch(files, *batch, jobNumbers))));
    return static_cast<int>(RunExitCode::AllDone);
}

std::optional<CCopperfoldApp::JobFileProblem> CCopperfoldApp::ReadCommandLineJobs(CCopperfoldDoc& document) const {
    using copperfold::RunExitCode;
    // Read again until the reading can be trusted: another program may be rewriting the file.
    const copperfold::JobReading reading = copperfold::ReadSettledJobs(
        document, [this] { return JobFileStamp(JobFilePath()); }, [] { ::Sleep(kJobFileSettlePauseMs); });
    if (!document.jobFileReadable || reading == copperfold::JobReading::KeptChanging) {
        const std::wstring why = document.jobFileReadable ? L"kept changing while it was read" :
            L"exists but could not be read (another program may hold it open, or access is denied)";
        return JobFileProblem{L"The job file " + JobFilePath() + L" " + why + L".", RunExitCode::JobFileUnreadable};
    }
    if (reading == copperfold::JobReading::NoJobs) {
        return JobFileProblem{copperfold::NoJobText(document, JobFilePath(), JobFileStamp(JobFilePath()).exists),
                              RunExitCode::NoJobs};
    }
    return std::nullopt;
}

int CCopperfoldApp::RefuseCommandLineRun(const std::wstring& reason, copperfold::RunExitCode code,
                                         copperfold::RunTrigger trigger) {
    ReportCommandLineError(reason, true);
    const copperfold::JobBatch none{};
    copperfold::RunLogSession(trigger, none).Refuse(reason);
    return static_cast<int>(code);
}

int CCopperfoldApp::Run() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (RouteKeys(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

bool CCopperfoldApp::RouteKeys(MSG& message) const {
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) return false;
    // The dialog manager of the window the key was typed in: Tab, Shift+Tab, the mnemonics,
    // Enter and Escape. The main frame hands its keys to its view, a form.
    const HWND root = ::GetAncestor(message.hwnd, GA_ROOT);
    HWND dialog = nullptr;
    if (mainFrame && root == mainFrame->Handle()) {
        dialog = mainFrame->KeyboardDialog();
    } else if (constexpr ULONG_PTR kDialogClassAtom = 0x8002; root && ::GetClassLongPtrW(root, GCW_ATOM) == kDialogClassAtom) {
        dialog = root;  // a modeless dialog
    }
    return dialog && ::IsDialogMessageW(dialog, &message);
}

std::wstring CCopperfoldApp::Translate(std::wstring_view english, std::wstring_view fallback) const {
    return common::Translate(settings->ProgramFile(), language, english, fallback);
}
