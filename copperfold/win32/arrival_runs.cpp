#include "arrival_runs.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "copperfold/core/job_binding.h"
#include "mounted_volumes.h"

namespace copperfold {

ArrivalRuns::ArrivalRuns(CCopperfoldDoc& doc, RunGate& runGate, TimerStarter starter, BatchRunner runner,
                         Refusal refusal)
    : document(doc), gate(runGate), startTimer(std::move(starter)), runBatch(std::move(runner)),
      refuse(std::move(refusal)) {
    gate.AddAfterRun([this] { AfterRun(); });
}

void ArrivalRuns::Arrived(std::uint32_t unitMask) {
    unitMask &= kEveryDrive;
    if (unitMask == 0) return;
    gathered |= unitMask;
    if (startTimer) startTimer(kSettleMs);
}

void ArrivalRuns::Removed(std::uint32_t unitMask) {
    gathered &= ~unitMask;
    waiting &= ~unitMask;
}

void ArrivalRuns::OnTimer() {
    const std::uint32_t letters = std::exchange(gathered, 0);
    if (letters == 0) return;
    if (gate.Busy()) {
        waiting |= letters;  // once the run in progress has ended (AfterRun)
        return;
    }
    RunArrived(letters);
}

void ArrivalRuns::AfterRun() {
    if (waiting == 0) return;
    // Called as the gate opens, inside whatever handler ran the run: the drives' turn comes from
    // the timer, not from here.
    alreadyRun = gate.RunJobs();
    gathered |= std::exchange(waiting, 0);
    if (startTimer) startTimer(kAfterRunMs);
}

bool ArrivalRuns::RecentlyRun(std::uint32_t serial, ULONGLONG now) const {
    return std::any_of(lastRunEnded.begin(), lastRunEnded.end(), [&](const auto& ended) {
        return ended.first == serial && now - ended.second < kQuietMs;
    });
}

void ArrivalRuns::RunArrived(std::uint32_t letters) {
    const JobKeys ranJustNow = std::exchange(alreadyRun, {});
    const ULONGLONG now = ::GetTickCount64();
    std::vector<std::uint32_t> serials;
    std::uint32_t arrived = 0;
    for (const MountedVolume& volume : ListMountedVolumes(document.deviceTable, letters)) {
        if (RecentlyRun(volume.serial, now)) continue;
        serials.push_back(volume.serial);
        arrived |= 1u << (volume.letter - L'A');
    }
    if (serials.empty()) return;

    document.ReadJobs();  // as the file holds them now: another program may have changed them
    auto batch = std::make_unique<JobBatch>();
    BuildArrivalBatch(document.jobs.data(), document.jobCount, serials, ranJustNow, *batch);
    if (batch->count == 0) return;
    ResolveBatchTargets(*batch, ListMountedVolumes(document.deviceTable));

    RunGate::Entry entry = gate.TryEnter(batch.get());
    if (!entry.ticket) {
        if (refuse) {
            refuse(L"Another Copperfold run (from the command line or a schedule) was in progress; the jobs of the drive "
                   L"that was plugged in were not run. Plug the drive in again when that run has ended.");
        }
        return;
    }
    if (runBatch) runBatch(*batch, arrived);
    const ULONGLONG ended = ::GetTickCount64();
    std::erase_if(lastRunEnded, [&](const auto& known) { return ended - known.second >= kQuietMs; });
    for (const std::uint32_t serial : serials) lastRunEnded.emplace_back(serial, ended);
    entry.ticket.reset();  // the gate opens: drives that arrived meanwhile get their turn
}

}  // namespace copperfold
