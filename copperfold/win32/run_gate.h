#pragma once
// One run at a time. Within the process the Execute command and the enclosure's button share
// one gate (a press during any run is turned away); across Copperfold processes every run holds
// the named mutex "TOVI Copperfold Run", so a scheduled "/run" and a run of the window never
// write at once. A run of the window never waits for that mutex: when another process holds
// it, or the system refuses it to this process (see shared_mutex.h), the run is refused at once
// and the caller says so.
//
// UI thread only: the window's runs are modal inside their message handlers, and the mutex
// belongs to the thread that took it.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/win32/unique_handle.h"
#include "copperfold/core/copy_engine.h"

namespace copperfold {

class RunGate {
public:
    enum class Refusal { RunInThisProcess, RunInAnotherProcess };

    // Held for the length of one run; its end lets the next run in and calls the gate's
    // after-run hook.
    class Ticket {
    public:
        Ticket(Ticket&& other) noexcept : gate(other.gate) { other.gate = nullptr; }
        Ticket& operator=(Ticket&& other) noexcept;
        ~Ticket();

    private:
        friend class RunGate;
        explicit Ticket(RunGate& owner) : gate(&owner) {}
        RunGate* gate;
    };

    RunGate();
    RunGate(const RunGate&) = delete;
    RunGate& operator=(const RunGate&) = delete;

    // A ticket, or why there is none.
    struct Entry {
        std::optional<Ticket> ticket;
        Refusal refusal = Refusal::RunInThisProcess;
    };
    // `jobs`, when given, are what the run will run (see RunJobs).
    Entry TryEnter(const JobBatch* jobs = nullptr);
    bool Busy() const { return inProgress; }
    // The jobs (source and target as the job file holds them) of the run in progress, or of the
    // run that ended last.
    const JobKeys& RunJobs() const { return runJobs; }
    // Called on the UI thread, in the order they were added, each time a run has ended and the
    // gate is open again.
    void AddAfterRun(std::function<void()> hook) { afterRun.push_back(std::move(hook)); }

private:
    void Leave();

    win32::UniqueHandle runMutex;
    bool inProgress = false;
    JobKeys runJobs;
    std::vector<std::function<void()>> afterRun;
};

}  // namespace copperfold
