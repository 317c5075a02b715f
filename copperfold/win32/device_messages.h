#pragma once
// The main frame's handling of Dockline's messages: the copy-data record with the device
// table, the enclosure's button (run the jobs on the pressed device's drives, acknowledge the
// press, tell Dockline to poll again), the busy query before Dockline closes the program, and
// volume arrivals and removals, which go on to the view.
//
// Everything runs on the UI thread. A button run is modal inside the button message. One run
// at a time, whatever started it (the run gate): a press that arrives during any run is turned
// away, and once that run has ended the pressed device is acknowledged and Dockline is told to
// poll again (it stopped polling when it sent the press). A press while another Copperfold
// process runs (a "/run") is acknowledged at once and noted in the run log.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "copperfold/core/copy_engine.h"
#include "copperfold/core/device_trigger.h"
#include "run_gate.h"

class CCopperfoldDoc;

namespace copperfold {

class CorelinkSession;

class DeviceMessages {
public:
    // What the main window's view lends this handler; every hook may stay empty (no view yet).
    struct ViewHooks {
        std::function<void(DWORD unitMask)> volumesArrived;
        std::function<void(DWORD unitMask)> volumesRemoved;
        // True while the view's own run (its Execute command) is going on; the hook then asks
        // that run to stop.
        std::function<bool()> stopViewRun;
        std::function<void(bool enabled)> enableExecute;
    };
    // Runs a non-empty batch modally and returns when it has ended.
    using BatchRunner = std::function<void(const JobBatch& batch)>;
    // Tells the user (run log, notice) that a press ran nothing; the text is English.
    using PressRefusedReporter = std::function<void(const std::wstring& reason)>;
    // Called once a button run has been acknowledged and Dockline polls again, with the pressed
    // device's record (where the enclosure is stopped for unplugging, when the user wants it).
    using AfterButtonRun = std::function<void(const common::DeviceTableEntry& device)>;

    DeviceMessages(CCopperfoldDoc& document, CorelinkSession& corelink, RunGate& gate, BatchRunner runBatch,
                   PressRefusedReporter reportRefusedPress = {}, AfterButtonRun afterButtonRun = {});

    void SetViewHooks(ViewHooks hooks) { view = std::move(hooks); }
    bool RunInProgress() const { return gate.Busy(); }

    // WM_COPYDATA: keeps dwData and at most one table's bytes; a null record is ignored.
    void OnCopyData(const COPYDATASTRUCT* record);
    // 0x0405: nothing when no usable record was received; turned away during a run (see above).
    void OnButtonPressed();
    // 0x0406: true (busy) while a run is in progress. A run of the view's Execute command is
    // also asked to stop, unless the sender only asks (wParam kBusyQueryOnlyAsk: Dockline
    // waiting for the end of a press's run).
    bool OnBusyQuery(WPARAM mode);
    // 0x0407 / 0x0408 with the message's own unit mask (used when no copy-data record came).
    void OnVolumesArrived(WPARAM unitMask);
    void OnVolumesRemoved(WPARAM unitMask);

    // The jobs on the drives of record `index` of the document's table, one dialog, then the
    // button's acknowledgement (also when no job ran).
    void RunDeviceJobs(std::size_t index);

private:
    struct TurnedAwayPress {
        std::uint8_t listIndex = 0;
        std::string devicePath;
    };

    void AdoptTable(const common::DeviceTable& table);
    void EnableExecute(bool enabled);
    // The gate's after-run hook: acknowledges the presses turned away during the run.
    void AcknowledgeTurnedAwayPresses();
    void ResumeDockline() const;

    CCopperfoldDoc& document;
    CorelinkSession& corelink;
    RunGate& gate;
    BatchRunner runBatch;
    PressRefusedReporter reportRefusedPress;
    AfterButtonRun afterButtonRun;
    ViewHooks view;
    ReceivedDeviceData received;
    std::vector<TurnedAwayPress> turnedAway;  // at most one per list index
    bool inButtonRun = false;  // the button run resumes Dockline itself when it ends
};

}  // namespace copperfold
