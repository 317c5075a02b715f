#include "run_gate.h"

#include "app_messages.h"

namespace copperfold {

RunGate::RunGate() : runMutex(::CreateMutexW(nullptr, FALSE, kRunMutexName)) {}

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

RunGate::Entry RunGate::TryEnter() {
    if (inProgress) return {std::nullopt, Refusal::RunInThisProcess};
    if (runMutex) {
        // An abandoned mutex (a run that was killed) is ours now, like a free one.
        const DWORD taken = ::WaitForSingleObject(runMutex.get(), 0);
        if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) return {std::nullopt, Refusal::RunInAnotherProcess};
    }
    inProgress = true;
    return {Ticket(*this), Refusal::RunInThisProcess};
}

void RunGate::Leave() {
    if (runMutex) ::ReleaseMutex(runMutex.get());
    inProgress = false;
    if (afterRun) afterRun();
}

}  // namespace copperfold
