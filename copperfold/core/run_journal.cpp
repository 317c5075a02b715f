#include "run_journal.h"

#include <utility>

namespace copperfold {

RunJournal::RunJournal(std::size_t jobCount, Clock clock)
    : count_(jobCount), slots_(std::make_unique<Slot[]>(jobCount)), clock_(std::move(clock)) {}

void RunJournal::JobStarted() {
    const int next = current_.load() + 1;
    if (static_cast<std::size_t>(next) >= count_) return;  // more starts than jobs: counted for the last
    slots_[static_cast<std::size_t>(next)].started = clock_();
    current_.store(next);
}

void RunJournal::JobRefused() {
    if (const int job = current_.load(); job >= 0) slots_[static_cast<std::size_t>(job)].refused = true;
}

void RunJournal::CopyEnded(bool succeeded, std::uint64_t bytes) {
    if (succeeded) {
        ++files_;
        bytes_ += bytes;
    }
    const int job = current_.load();
    if (job < 0) return;
    Slot& slot = slots_[static_cast<std::size_t>(job)];
    if (succeeded) {
        ++slot.files;
        slot.bytes += bytes;
    } else {
        slot.failed = true;
    }
}

void RunJournal::Problem(std::wstring line) {
    problems_.push_back(std::move(line));
    if (const int job = current_.load(); job >= 0) slots_[static_cast<std::size_t>(job)].failed = true;
}

void RunJournal::Note(std::wstring line) { notes_.push_back(std::move(line)); }

std::vector<JobAccount> RunJournal::Accounts(bool cancelled) const {
    const std::uint64_t now = clock_();
    const int last = current_.load();
    std::vector<JobAccount> accounts(count_);
    for (int job = 0; job <= last; ++job) {
        const Slot& slot = slots_[static_cast<std::size_t>(job)];
        JobAccount& account = accounts[static_cast<std::size_t>(job)];
        account.files = slot.files.load();
        account.bytes = slot.bytes.load();
        const std::uint64_t ended = job < last ? slots_[static_cast<std::size_t>(job) + 1].started : now;
        account.milliseconds = ended >= slot.started ? ended - slot.started : 0;
        if (slot.refused) {
            account.outcome = JobOutcome::Refused;
        } else if (slot.failed.load()) {
            account.outcome = JobOutcome::Failed;
        } else if (cancelled && job == last) {
            account.outcome = JobOutcome::Cancelled;
        } else {
            account.outcome = JobOutcome::Done;
        }
    }
    return accounts;
}

}  // namespace copperfold
