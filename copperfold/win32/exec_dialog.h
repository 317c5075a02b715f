#pragma once
// CExecDialog: the window of a run. The caller hands it a batch of jobs and runs it modally;
// the dialog starts a worker thread that runs the copy engine over the batch (estimate, then
// copy, job after job) and shows the engine's reports: the two path lines, the bar, the total,
// a busy animation per phase and the current job's type as the caption. The UI thread offers
// Cancel and ends the modal run only once the worker has finished, since the worker uses the
// dialog's members and the batch. One object may run any number of batches, one at a time.
//
// The UI thread and the worker share only the run counters (atomics), the worker's running
// flag (atomic), the published path lines and bar position (atomics) and the "CopyFileEvent"
// event. The worker sends nothing per file: the dialog's 300 ms timer shows the latest path
// lines and position it published. Per run and per job it sets the total, the caption and the
// animation by sending messages, and as its last act it posts one message that ends the dialog
// without waiting for the next tick. The UI thread never waits for the worker before the worker
// has finished.

#include <windows.h>

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/win32/dialog.h"
#include "common/win32/unique_handle.h"
#include "copperfold/core/copy_engine.h"
#include "copperfold/core/run_journal.h"
#include "copperfold/core/file_system.h"
#include "copperfold/core/published_run_state.h"

class CExecDialog : public win32::Dialog, private copperfold::RunObserver {
public:
    // The user-visible text for an English key, or `fallback` when the language has none.
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;

    // Posted by the main frame: stop the run without asking (answered 0).
    static constexpr UINT kCancelRunMessage = WM_USER + 6;
    // Posted by the worker once it has finished.
    static constexpr UINT kWorkerFinishedMessage = WM_APP + 1;
    static constexpr UINT_PTR kFinishTimer = 1;
    static constexpr UINT kFinishTimerPeriodMs = 300;
    static constexpr wchar_t kCopyFileEventName[] = L"CopyFileEvent";

    // The translator is called on one thread at a time: on the UI thread while the dialog
    // opens, later only on the worker.
    CExecDialog(Translator translator, copperfold::FileSystem& fileSystem);
    ~CExecDialog() override;

    // Where an unattended run reports refused jobs, failed copies and what else it could not
    // read or copy, one line each, instead of message boxes that would wait for a click; such a
    // run goes on after a failed copy. Unset (the default), the dialog shows them in boxes (what
    // it could not read or copy in one box at the end) and a failed copy ends the run. Called on
    // the worker thread. Every such line, and every note, also goes to the journal.
    using LineReport = std::function<void(const std::wstring& line)>;
    void SetUnattended(LineReport report) { unattendedReport = std::move(report); }
    // The run's journal, told on the worker when each job starts and when one is refused, and
    // given every line the run reports.
    void SetJournal(copperfold::RunJournal* runJournal) { journal = runJournal; }
    // The jobs of the next run (not owned; they must outlive the modal run). Null runs nothing.
    void SetBatch(const copperfold::JobBatch* jobs) { batch = jobs; }
    // True from the dialog's start until its worker has finished.
    bool IsRunning() const { return workerRunning.load(); }
    const copperfold::RunCounters& Counters() const { return counters; }
    // Unsignalled while a file is being copied.
    HANDLE CopyFileEvent() const { return copyFileEvent.get(); }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // Texts of the run, translated on the UI thread before the worker starts; read-only after.
    struct Texts {
        std::wstring cancelQuestion;
        std::wstring promptCaption;
        std::array<std::wstring, 3> jobTypes;
        // The labels the engine starts its path lines with ("Copy: "), each with its translation.
        std::array<std::pair<std::wstring, std::wstring>, 4> lineLabels;
    };

    // A path line as the run's language shows it: its label translated, the path as it is.
    std::wstring ShownLine(const std::wstring& line) const;

    std::wstring Translate(std::wstring_view english) const;
    void ResetControls();
    void TranslateTexts();
    void StartWorker();
    // Shows what the worker published since the last call.
    void ShowPublished();
    // Ends the dialog once the worker has finished; otherwise nothing.
    void EndIfFinished();
    void JoinWorker();
    void AskCancel();
    // Stops a worker that is still running (the window went away under it) and waits for it.
    void StopWorker();

    static DWORD WINAPI WorkerProcedure(LPVOID self);
    void RunWorker();

    // copperfold::RunObserver, on the worker thread.
    void SetPathLines(const std::wstring& first, const std::wstring& second) override;
    void SetProgress(int position) override;
    void ShowCopyError(std::uint32_t error, const std::wstring& from, const std::wstring& to) override;
    void ShowJobRefused(const JobRecord& job, const copperfold::JobRefusal& reason) override;
    void ShowRunProblem(const copperfold::RunProblem& problem) override;
    void EstimatePhase(bool started) override;
    void CopyPhase(bool started) override;
    void JobStarted(const JobRecord& job) override;
    void TotalKnown(std::uint64_t bytesTotal) override;

    // Shows, once the run has ended, what an attended run could not read or copy.
    void ShowRunProblems();
    void PlayVideo(int resourceId);
    void StopVideo();

    Translator translate;
    LineReport unattendedReport;
    copperfold::RunJournal* journal = nullptr;
    std::vector<std::wstring> runProblems;  // the worker's: an attended run's, for its last box
    copperfold::FileSystem& fileSystem;
    const copperfold::JobBatch* batch = nullptr;
    Texts texts;
    copperfold::RunCounters counters;
    copperfold::PublishedRunState published;
    std::atomic<bool> workerRunning{false};
    win32::UniqueHandle workerThread;  // UI thread only
    win32::UniqueHandle copyFileEvent;
    bool asking = false;               // UI thread only: the cancel question is open
    int shownPosition = -1;            // UI thread only: the bar position last shown
};
