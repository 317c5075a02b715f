#pragma once
// What each job of a run did, for the run log: files and bytes copied, how long it took and how
// it ended. The run's worker says when a job starts and when one is refused; the copies report
// as they end, on whichever thread copied them; the accounts are read once the run has ended.
// A run waits for a job's copies before it starts the next job, so each copy counts for the job
// that was current when it ended. The lines the run reports (a refused job, a failed copy, a
// folder it could not read) and its notes (a pair a Sync left as it is) are kept for the log too.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace copperfold {

enum class JobOutcome { Done, Failed, Refused, Cancelled, NotRun };

struct JobAccount {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t milliseconds = 0;
    JobOutcome outcome = JobOutcome::NotRun;
};

class RunJournal {
public:
    using Clock = std::function<std::uint64_t()>;  // milliseconds, from any fixed point

    RunJournal(std::size_t jobCount, Clock clock);

    // On the run's worker, in job order (a refused job is started and then refused).
    void JobStarted();
    void JobRefused();
    // On any copying thread.
    void CopyEnded(bool succeeded, std::uint64_t bytes);
    // On the run's worker: a problem fails the job going on (a refused job stays refused); a
    // note changes nothing.
    void Problem(std::wstring line);
    void Note(std::wstring line);

    std::uint64_t FilesCopied() const { return files_.load(); }
    std::uint64_t BytesCopied() const { return bytes_.load(); }
    // Once the run has ended: one account per job. `cancelled` says the run was cancelled,
    // which is how the job it was in ended (unless that job had failed already).
    std::vector<JobAccount> Accounts(bool cancelled) const;
    const std::vector<std::wstring>& Problems() const { return problems_; }
    const std::vector<std::wstring>& Notes() const { return notes_; }

private:
    struct Slot {
        std::atomic<std::uint64_t> files{0};
        std::atomic<std::uint64_t> bytes{0};
        std::atomic<bool> failed{false};
        bool refused = false;
        std::uint64_t started = 0;
    };
    std::size_t count_;
    std::unique_ptr<Slot[]> slots_;
    Clock clock_;
    std::atomic<int> current_{-1};
    std::atomic<std::uint64_t> files_{0};
    std::atomic<std::uint64_t> bytes_{0};
    std::vector<std::wstring> problems_;  // the worker's until the run has ended
    std::vector<std::wstring> notes_;
};

}  // namespace copperfold
