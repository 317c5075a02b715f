#include "exec_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>

#include "copperfold/core/forwarding_file_system.h"
#include "copperfold/core/job_binding.h"
#include "copperfold/core/run_log.h"
#include "exec_dialog_resource.h"
#include "shared_mutex.h"

namespace {

// Brackets the file copies with the "CopyFileEvent" event: reset while copies run, set once the
// last one has ended, however it ended. Small files may be copied on several threads at once:
// the first copy to start resets the event, the last one to end sets it (and resets it again
// should another copy have started meanwhile). The engine's copies return only when they are
// over, so the worker never waits on the event itself; it tells whoever opens it by name whether
// files are being written right now, and the worker sets it once more when the run is over.
class SignallingFileSystem final : public copperfold::ForwardingFileSystem {
public:
    SignallingFileSystem(copperfold::FileSystem& files, HANDLE copyEvent) : ForwardingFileSystem(files), event(copyEvent) {}

    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to,
                                   const copperfold::CopyProgress& progress, const std::atomic<int>& cancel) override {
        const Bracket copying(*this);
        return ForwardingFileSystem::CopyWithProgress(from, to, progress, cancel);
    }
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const copperfold::CopyProgress& progress, const std::atomic<int>& cancel) override {
        const Bracket copying(*this);
        return ForwardingFileSystem::CopyKeepingReplaced(from, to, keepAs, progress, cancel);
    }

private:
    // Resets the event as the first copy starts, sets it as the last one ends.
    struct Bracket {
        explicit Bracket(SignallingFileSystem& signalling) : files(signalling) {
            if (files.running.fetch_add(1) == 0) ::ResetEvent(files.event);
        }
        ~Bracket() {
            if (files.running.fetch_sub(1) != 1) return;
            ::SetEvent(files.event);
            if (files.running.load() != 0) ::ResetEvent(files.event);
        }
        Bracket(const Bracket&) = delete;
        Bracket& operator=(const Bracket&) = delete;
        SignallingFileSystem& files;
    };

    HANDLE event;
    std::atomic<int> running{0};
};

// The system's text for an error code, in the user's default language when it has one.
std::wstring SystemErrorText(DWORD error) {
    constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t text[1024] = {};
    DWORD length = ::FormatMessageW(kFlags, nullptr, error, LANG_USER_DEFAULT, text, 1024, nullptr);
    if (length == 0) length = ::FormatMessageW(kFlags, nullptr, error, 0, text, 1024, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r')) --length;
    return std::wstring(text, length);
}

bool IsKnownType(JobType type) {
    const auto index = static_cast<std::int32_t>(type);
    return index >= 0 && index < static_cast<std::int32_t>(jobTypeNames.size());
}

}  // namespace

CExecDialog::CExecDialog(Translator translator, copperfold::FileSystem& files)
    : Dialog(IDD_EXEC),
      translate(std::move(translator)),
      fileSystem(files),
      copyFileEvent(copperfold::CreateProgramEvent(kCopyFileEventName, true)) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

CExecDialog::~CExecDialog() { StopWorker(); }

std::wstring CExecDialog::Translate(std::wstring_view english) const {
    // A text the language lacks shows in English rather than as an empty label.
    return translate ? translate(english, english) : std::wstring(english);
}

// --- UI thread ---------------------------------------------------------------------------

bool CExecDialog::OnInitDialog() {
    counters.cancelFlag = 0;
    counters.bytesDone = 0;
    counters.bytesTotal = 0;
    published.Reset();
    shownPosition = 0;
    ResetControls();
    TranslateTexts();
    ::SetTimer(Handle(), kFinishTimer, kFinishTimerPeriodMs, nullptr);
    StartWorker();
    return true;
}

void CExecDialog::ResetControls() {
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS, PBM_SETRANGE32, 0, copperfold::kProgressRange);
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS, PBM_SETPOS, 0, 0);
    ::SendDlgItemMessageW(Handle(), IDC_PROGRESS, PBM_SETSTEP, 1, 0);
    for (const int id : {IDC_TOTAL_LABEL, IDC_ZERO_LABEL, IDC_PATH_LINE1, IDC_PATH_LINE2}) SetItemText(id, L"");
}

void CExecDialog::TranslateTexts() {
    SetItemText(IDCANCEL, Translate(L"&Cancel"));
    texts.cancelQuestion = Translate(L"Do you really want to cancel copy task?");
    texts.promptCaption = Translate(L"Prompt Message");
    for (size_t i = 0; i < texts.jobTypes.size(); ++i) texts.jobTypes[i] = Translate(jobTypeNames[i]);
    static constexpr std::array<std::wstring_view, 4> labels = {L"Copy:", L"To:", L"Compare:", L"With:"};
    for (size_t i = 0; i < labels.size(); ++i) {
        texts.lineLabels[i] = {std::wstring(labels[i]) + L" ", Translate(labels[i]) + L" "};
    }
}

std::wstring CExecDialog::ShownLine(const std::wstring& line) const {
    for (const auto& [english, shown] : texts.lineLabels) {
        if (!english.empty() && line.starts_with(english)) return shown + line.substr(english.size());
    }
    return line;
}

void CExecDialog::StartWorker() {
    workerRunning = true;
    workerThread.reset(::CreateThread(nullptr, 0, &CExecDialog::WorkerProcedure, this, CREATE_SUSPENDED, nullptr));
    if (!workerThread) {
        workerRunning = false;  // nothing to wait for: the next tick ends the dialog
        return;
    }
    ::SetThreadPriority(workerThread.get(), THREAD_PRIORITY_ABOVE_NORMAL);
    ::ResumeThread(workerThread.get());
}

bool CExecDialog::OnCommand(int id, int /*notifyCode*/) {
    // Cancel, Escape and the close command ask; nothing ends the run here, the OK command
    // (Enter) included: only the finish timer does, once the worker is done with the batch.
    if (id == IDCANCEL) AskCancel();
    return id == IDOK || id == IDCANCEL;
}

void CExecDialog::AskCancel() {
    if (asking) return;  // a queued second Cancel while the question is open
    asking = true;
    const int answer = ::MessageBoxW(Handle(), texts.cancelQuestion.c_str(), texts.promptCaption.c_str(),
                                     MB_YESNO | MB_ICONINFORMATION);
    asking = false;
    if (answer == IDYES) counters.cancelFlag = 1;
}

void CExecDialog::OnTimer(UINT_PTR timerId) {
    if (timerId != kFinishTimer) return;
    ShowPublished();
    EndIfFinished();
}

void CExecDialog::ShowPublished() {
    if (const auto lines = published.TakePathLines()) {
        SetItemText(IDC_PATH_LINE1, ShownLine(lines->first));
        SetItemText(IDC_PATH_LINE2, ShownLine(lines->second));
    }
    const int position = published.Position();
    if (position != shownPosition) {
        shownPosition = position;
        ::SendDlgItemMessageW(Handle(), IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
}

void CExecDialog::EndIfFinished() {
    if (workerRunning.load() || !::KillTimer(Handle(), kFinishTimer)) return;  // running, or already ended
    JoinWorker();
    End(0);
}

void CExecDialog::JoinWorker() {
    if (!workerThread) return;
    // The worker has cleared its running flag as its last act: it sends nothing any more.
    ::WaitForSingleObject(workerThread.get(), INFINITE);
    workerThread.reset();
}

bool CExecDialog::OnMessage(UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& result) {
    if (message == kCancelRunMessage) {
        counters.cancelFlag = 1;
        result = 0;
        return true;
    }
    if (message == kWorkerFinishedMessage) {
        ShowPublished();  // the finished state, as the worker left it
        EndIfFinished();
        result = 0;
        return true;
    }
    if (message == WM_DESTROY) StopWorker();  // only when the window is taken away mid-run
    return false;
}

void CExecDialog::StopWorker() {
    if (!workerThread) return;
    counters.cancelFlag = 1;
    // The worker may be sending to a control of this thread: keep answering until it ends.
    const HANDLE thread = workerThread.get();
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    workerThread.reset();
}

// --- worker thread -----------------------------------------------------------------------

DWORD WINAPI CExecDialog::WorkerProcedure(LPVOID self) {
    static_cast<CExecDialog*>(self)->RunWorker();
    return 0;
}

void CExecDialog::RunWorker() {
    const HWND window = Handle();  // read before the UI thread may end the dialog
    try {
        const copperfold::JobBatch noJobs{};
        SignallingFileSystem files(fileSystem, copyFileEvent.get());
        copperfold::CopyEngine engine(files, *this, counters);
        if (unattendedReport) engine.SetOnCopyFailure(copperfold::CopyEngine::OnCopyFailure::GoOn);
        runProblems.clear();
        engine.RunJobs(batch ? *batch : noJobs);
        ShowRunProblems();
    } catch (const std::exception&) {
        counters.cancelFlag = 1;
        ::OutputDebugStringW(L"Copperfold: the run stopped on an unexpected error\n");
    } catch (...) {
        counters.cancelFlag = 1;
    }
    ::SetEvent(copyFileEvent.get());  // no copy runs any more
    workerRunning = false;  // from here on the worker touches nothing of the dialog's but its handle
    ::PostMessageW(window, kWorkerFinishedMessage, 0, 0);
}

void CExecDialog::SetPathLines(const std::wstring& first, const std::wstring& second) {
    published.PublishPathLines(first, second);
}

void CExecDialog::SetProgress(int position) { published.PublishPosition(position); }

void CExecDialog::TotalKnown(std::uint64_t bytesTotal) {
    SetItemText(IDC_ZERO_LABEL, L"0");
    SetItemText(IDC_TOTAL_LABEL, copperfold::FormatSize(bytesTotal));
}

void CExecDialog::JobStarted(const JobRecord& job) {
    if (journal) journal->JobStarted();
    std::wstring caption = IsKnownType(job.type) ? texts.jobTypes[static_cast<size_t>(job.type)]
                                                 : Translate(job.unknownTypeName);
    if (!job.movedFrom.empty()) caption += L": " + copperfold::MovedTargetText(job);
    ::SetWindowTextW(Handle(), caption.c_str());
}

void CExecDialog::ShowCopyError(std::uint32_t error, const std::wstring& from, const std::wstring& to) {
    if (error == copperfold::kErrorRequestAborted) return;  // a cancel is no error
    const std::wstring code = L" Error No:" + std::to_wstring(static_cast<int>(error));
    const std::wstring line = L"Copy failed: " + from + L" -> " + to + L":" + code + L" " + SystemErrorText(error);
    if (journal) journal->Problem(line);
    if (unattendedReport) {
        unattendedReport(line);
        return;
    }
    // "<label> Error No:<code>\n<system text>", with an empty label.
    const std::wstring text = code + L"\n" + SystemErrorText(error);
    ::MessageBoxW(Handle(), text.c_str(), L"Error", MB_ICONHAND);
}

void CExecDialog::ShowJobRefused(const JobRecord& job, const copperfold::JobRefusal& reason) {
    if (journal) journal->JobRefused();
    const std::wstring why = copperfold::FilledText(Translate(reason.text), reason.arguments);
    const std::wstring line =
        L"Job not run (" + std::wstring(job.TypeName()) + L" \"" + job.source + L"\" -> \"" + job.target + L"\"): " + why;
    if (journal) journal->Problem(line);
    if (unattendedReport) {
        unattendedReport(line);
        return;
    }
    const std::wstring text = why + L"\n" + job.source + L"\n" + job.target;
    ::MessageBoxW(Handle(), text.c_str(), texts.promptCaption.c_str(), MB_OK | MB_ICONINFORMATION);
}

void CExecDialog::ShowRunProblem(const copperfold::RunProblem& problem) {
    std::wstring line = copperfold::FilledText(Translate(problem.text), problem.arguments);
    if (problem.error != 0) {
        line += L" Error No:" + std::to_wstring(static_cast<int>(problem.error)) + L" " + SystemErrorText(problem.error);
    }
    if (!problem.failure) {
        if (journal) journal->Note(line);  // the run log's; nobody has to answer for it
        return;
    }
    if (journal) journal->Problem(line);
    if (unattendedReport) {
        unattendedReport(line);
    } else {
        runProblems.push_back(line);
    }
}

void CExecDialog::ShowRunProblems() {
    if (runProblems.empty()) return;
    std::wstring text;
    const std::size_t shown = std::min(runProblems.size(), copperfold::kProblemsKeptInFull);
    for (std::size_t i = 0; i < shown; ++i) text += (i == 0 ? L"" : L"\n\n") + runProblems[i];
    if (runProblems.size() > shown) {
        text += L"\n\n" + copperfold::FilledText(Translate(L"... and %s more."),
                                                  {std::to_wstring(runProblems.size() - shown)});
    }
    ::MessageBoxW(Handle(), text.c_str(), L"Error", MB_ICONHAND);
}

void CExecDialog::EstimatePhase(bool started) {
    if (started) {
        PlayVideo(IDR_AVI_ESTIMATING);
    } else {
        StopVideo();
    }
}

void CExecDialog::CopyPhase(bool started) {
    if (started) {
        PlayVideo(IDR_AVI_COPYING);
    } else {
        StopVideo();
    }
}

void CExecDialog::PlayVideo(int resourceId) {
    const HWND animation = ::GetDlgItem(Handle(), IDC_ANIMATION);
    const auto module = reinterpret_cast<WPARAM>(::GetModuleHandleW(nullptr));
    const auto video = reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(resourceId));
    if (!::SendMessageW(animation, ACM_OPENW, module, video)) return;
    // Every frame, repeated until the phase ends.
    ::SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void CExecDialog::StopVideo() {
    const HWND animation = ::GetDlgItem(Handle(), IDC_ANIMATION);
    ::SendMessageW(animation, ACM_STOP, 0, 0);
    ::SendMessageW(animation, ACM_OPENW, 0, 0);  // closes the video
}
