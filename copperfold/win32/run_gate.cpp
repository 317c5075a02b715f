#include "run_gate.h"

#include "app_messages.h"
#include "copperfold/core/job_binding.h"
#include "shared_mutex.h"

namespace copperfold {

RunGate::RunGate() : runMutex(CreateSharedMutex(kRunMutexName, false).handle) {}

RunGate::Ticket::~Ticket() {
    if (gate) gate->Leave();
}

RunGate::Ticket& RunGate::Ticket::operator=(Ticket&& other) noexcept {
    if (this != &other) {
        if (gate) gate->Leave();
        gate = other.gate;
        other.gate = nullptr;
    }
    return *this;
}

RunGate::Entry RunGate::TryEnter(const JobBatch* jobs) {
    if (inProgress) return {std::nullopt, Refusal::RunInThisProcess};
    // Refused by the system when it was made: another instance holds it (the one that made it
    // may have ended since).
    if (!runMutex) runMutex = CreateSharedMutex(kRunMutexName, false).handle;
    if (!runMutex) return {std::nullopt, Refusal::RunInAnotherProcess};
    // An abandoned mutex (a run that was killed) is ours now, like a free one.
    const DWORD taken = ::WaitForSingleObject(runMutex.get(), 0);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return {std::nullopt, Refusal::RunInAnotherProcess};
    inProgress = true;
    runJobs.clear();
    for (std::size_t i = 0; jobs && i < jobs->count; ++i) runJobs.push_back(StoredKey(jobs->entries[i]));
    return {Ticket(*this), Refusal::RunInThisProcess};
}

void RunGate::Leave() {
    ::ReleaseMutex(runMutex.get());
    inProgress = false;
    for (const auto& hook : afterRun) {
        if (hook) hook();
    }
}

}  // namespace copperfold
