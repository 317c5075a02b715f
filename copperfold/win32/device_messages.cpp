#include "device_messages.h"

#include <memory>

#include "app_messages.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/settings_store.h"
#include "corelink_session.h"
#include "mounted_volumes.h"
#include "run_log_file.h"

namespace copperfold {

DeviceMessages::DeviceMessages(CCopperfoldDoc& doc, CorelinkSession& session, RunGate& runGate, BatchRunner runner,
                               PressRefusedReporter reporter, AfterButtonRun after)
    : document(doc), corelink(session), gate(runGate), runBatch(std::move(runner)),
      reportRefusedPress(std::move(reporter)), afterButtonRun(std::move(after)) {
    gate.AddAfterRun([this] { AcknowledgeTurnedAwayPresses(); });
}

void DeviceMessages::OnCopyData(const COPYDATASTRUCT* record) {
    if (!record) return;
    StoreCopyData(received, record->dwData, record->lpData, record->cbData);
}

void DeviceMessages::AdoptTable(const common::DeviceTable& table) {
    document.deviceTable = table;
    corelink.InvalidateHandles();
}

void DeviceMessages::EnableExecute(bool enabled) {
    if (view.enableExecute) view.enableExecute(enabled);
}

void DeviceMessages::OnButtonPressed() {
    const auto index = ButtonRecordIndex(received);
    if (!index) return;
    if (gate.Busy()) {
        // Turned away; acknowledged and resumed when the run in progress has ended.
        const common::DeviceTableEntry& pressed = received.table.entries[*index];
        for (const TurnedAwayPress& press : turnedAway) {
            if (press.listIndex == pressed.listIndex) return;
        }
        turnedAway.push_back({pressed.listIndex, DevicePath(pressed)});
        return;
    }
    if (DeviceRecordChanged(received.table, document.deviceTable, *index)) AdoptTable(received.table);
    const common::DeviceTableEntry device = document.deviceTable.entries[*index];
    inButtonRun = true;
    RunDeviceJobs(*index);
    inButtonRun = false;
    ResumeDockline();
    if (afterButtonRun) afterButtonRun(device);
}

void DeviceMessages::RunDeviceJobs(std::size_t index) {
    EnableExecute(false);
    if (gate.Busy() || index >= common::kMaxDevices) {
        EnableExecute(true);
        return;
    }
    // A copy: volume messages during the run may replace the document's table.
    const common::DeviceTableEntry device = document.deviceTable.entries[index];
    std::optional<CIniFileException> bindingFailure;
    const std::vector<MountedVolume> volumes = BindJobsToDrives(document, &bindingFailure);
    auto batch = std::make_unique<JobBatch>();
    BuildBoundDeviceBatch(document.jobs.data(), document.jobCount, device, volumes, *batch);
    ResolveBatchTargets(*batch, volumes);
    if (batch->count > 0) {
        RunGate::Entry entry = gate.TryEnter(batch.get());
        if (!entry.ticket) {
            if (reportRefusedPress) {
                reportRefusedPress(L"Another Copperfold run (from the command line or a schedule) was in progress; "
                                   L"the button's jobs were not run. Press the button again when it has ended.");
            }
        } else if (runBatch) {
            runBatch(*batch);
            // Nobody may be watching: the line goes with the run's record.
            if (bindingFailure) {
                AppendRunLogText(L"  " + WriteFailureText(*bindingFailure, kBindingNotRecordedText) + L"\r\n");
            }
        }
    }
    corelink.AcknowledgeButton(device.listIndex, DevicePath(device));
    EnableExecute(true);
}

void DeviceMessages::AcknowledgeTurnedAwayPresses() {
    if (turnedAway.empty()) return;
    const std::vector<TurnedAwayPress> presses = std::move(turnedAway);
    turnedAway.clear();
    for (const TurnedAwayPress& press : presses) corelink.AcknowledgeButton(press.listIndex, press.devicePath);
    if (!inButtonRun) ResumeDockline();
}

void DeviceMessages::ResumeDockline() const {
    if (const HWND dockline = ::FindWindowW(nullptr, kDocklineWindowTitle)) {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(dockline, kButtonRunEndedMessage, 0, 0, SMTO_ABORTIFHUNG, kPeerAnswerLimitMs, &ignored);
    }
}

bool DeviceMessages::OnBusyQuery(WPARAM mode) {
    if (mode == kBusyQueryOnlyAsk) return gate.Busy();  // every run of this process holds the gate
    const bool viewBusy = view.stopViewRun && view.stopViewRun();
    return viewBusy || gate.Busy();
}

void DeviceMessages::OnVolumesArrived(WPARAM unitMask) {
    DWORD mask = static_cast<DWORD>(unitMask);
    if (received.present) {
        const ReceivedDeviceData copy = received;
        mask = static_cast<DWORD>(copy.data);
        AdoptTable(copy.table);
    }
    if (view.volumesArrived) view.volumesArrived(mask);
}

void DeviceMessages::OnVolumesRemoved(WPARAM unitMask) {
    DWORD mask = static_cast<DWORD>(unitMask);
    if (!received.present) {
        if (view.volumesRemoved) view.volumesRemoved(mask);
        return;
    }
    const ReceivedDeviceData copy = received;
    if (view.volumesRemoved) view.volumesRemoved(static_cast<DWORD>(copy.data));
    AdoptTable(copy.table);
}

}  // namespace copperfold
