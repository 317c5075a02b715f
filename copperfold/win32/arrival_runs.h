#pragma once
// Runs when a drive is plugged in. A job bound to its drive (see job_binding.h) and marked to run
// then ("OnArrival%04d") runs when that drive arrives, at whatever letter: one run of the
// arrived drives' marked jobs, through the run gate, in the progress dialog with its notice and
// its record in the run log, as a run of the enclosure's button.
//
// The main frame hands over every volume arrival and removal it learns of: the system's
// WM_DEVICECHANGE broadcasts and Dockline's 0x0407 / 0x0408, which usually both tell of one
// plug-in. Nothing is polled. One drive gives one run:
//  - arrivals are gathered until no news has come for kSettleMs; a drive that went again
//    meanwhile (a loose plug) or is not mounted by then starts nothing;
//  - an arrival while a run of this program is in progress is kept, and once that run has
//    ended the drive's marked jobs run, but not those that run itself ran (the drive's own
//    plug-in run, a press of the enclosure's button that came first);
//  - a drive whose plug-in run ended less than kQuietMs ago is not run again (it came and went
//    and came back).
// While another Copperfold process runs (a "/run" from a schedule), the arrival runs nothing;
// the caller tells the user as for a press of the button.
//
// UI thread only: the run is modal inside the frame's timer message.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/copy_engine.h"
#include "run_gate.h"

namespace copperfold {

class ArrivalRuns {
public:
    static constexpr UINT kSettleMs = 2000;
    static constexpr ULONGLONG kQuietMs = 10000;
    // After the run in progress has ended, before the arrivals kept during it are looked at.
    static constexpr UINT kAfterRunMs = 200;

    // Starts (or starts again) the caller's one-shot timer, which calls OnTimer.
    using TimerStarter = std::function<void(UINT delayMs)>;
    // Runs a non-empty batch modally (dialog, run log, notice) and returns when it has ended;
    // `arrived` are the drives it was started for (bit n: 'A' + n).
    using BatchRunner = std::function<void(const JobBatch& batch, std::uint32_t arrived)>;
    // Tells the user (run log, notice) that an arrival ran nothing; the text is English.
    using Refusal = std::function<void(const std::wstring& reason)>;

    ArrivalRuns(CCopperfoldDoc& document, RunGate& gate, TimerStarter startTimer, BatchRunner runBatch,
                Refusal refuse);
    ArrivalRuns(const ArrivalRuns&) = delete;
    ArrivalRuns& operator=(const ArrivalRuns&) = delete;

    // Drives mounted or gone (bit n: 'A' + n), as any sender tells it.
    void Arrived(std::uint32_t unitMask);
    void Removed(std::uint32_t unitMask);
    // The timer has expired: the gathered drives' jobs run now, or once the run in progress ends.
    void OnTimer();

private:
    void AfterRun();
    void RunArrived(std::uint32_t letters);
    bool RecentlyRun(std::uint32_t serial, ULONGLONG now) const;

    CCopperfoldDoc& document;
    RunGate& gate;
    TimerStarter startTimer;
    BatchRunner runBatch;
    Refusal refuse;
    std::uint32_t gathered = 0;  // arrived, waiting for the news to settle
    std::uint32_t waiting = 0;   // arrived during a run, waiting for its end
    JobKeys alreadyRun;  // what the run the waiting drives waited for ran
    std::vector<std::pair<std::uint32_t, ULONGLONG>> lastRunEnded;  // volume serial, tick count
};

}  // namespace copperfold
