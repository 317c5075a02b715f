#include "device_messages.h"

#include <memory>

#include "app_messages.h"
#include "copperfold/core/copperfold_doc.h"
#include "corelink_session.h"

namespace copperfold {

DeviceMessages::DeviceMessages(CCopperfoldDoc& doc, CorelinkSession& session, BatchRunner runner)
    : document(doc), corelink(session), runBatch(std::move(runner)) {}

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
    if (runInProgress) return;
    const auto index = ButtonRecordIndex(received);
    if (!index) return;
    if (DeviceRecordChanged(received.table, document.deviceTable, *index)) AdoptTable(received.table);
    RunDeviceJobs(*index);
    if (const HWND dockline = ::FindWindowW(nullptr, kDocklineWindowTitle)) {
        ::SendMessageW(dockline, kButtonRunEndedMessage, 0, 0);
    }
}

void DeviceMessages::RunDeviceJobs(std::size_t index) {
    EnableExecute(false);
    if (runInProgress || index >= common::kMaxDevices) {
        EnableExecute(true);
        return;
    }
    runInProgress = true;
    // A copy: volume messages during the run may replace the document's table.
    const common::DeviceTableEntry device = document.deviceTable.entries[index];
    auto batch = std::make_unique<JobBatch>();
    BuildDeviceBatch(document.jobs.data(), document.jobCount, device, *batch);
    if (batch->count > 0 && runBatch) runBatch(*batch);
    corelink.AcknowledgeButton(device.listIndex, DevicePath(device));
    runInProgress = false;
    EnableExecute(true);
}

bool DeviceMessages::OnBusyQuery() {
    const bool viewBusy = view.stopViewRun && view.stopViewRun();
    return viewBusy || runInProgress;
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
