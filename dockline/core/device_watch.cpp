#include "device_watch.h"

#include <algorithm>
#include <memory>

namespace dockline {

namespace {

constexpr std::uint8_t kButtonReleasedBit = 0x02;

}  // namespace

bool DeviceWatch::IsLatched(const std::string& devicePath) const {
    return std::find(latched_.begin(), latched_.end(), devicePath) != latched_.end();
}

void DeviceWatch::ForgetLatch(const std::string& devicePath) { std::erase(latched_, devicePath); }

void DeviceWatch::StartPolling() {
    if (polling_) return;
    host_.StartPollTimer();
    polling_ = true;
}

void DeviceWatch::StopPolling() {
    if (!polling_) return;
    host_.StopPollTimer();
    polling_ = false;
}

void DeviceWatch::ScanDevices() {
    // The list is large; it lives as long as the scan needs it.
    auto list = std::make_unique<DeviceList>();
    host_.ScanDeviceList(*list);
    BuildDeviceTable(*list, table_);
    // A device that went away takes its latch along: plugged in again, its button starts afresh.
    std::erase_if(latched_, [this](const std::string& path) {
        for (std::size_t i = 0; i < common::UsedRecords(table_); ++i) {
            if (common::DevicePath(table_.entries[i]) == path) return false;
        }
        return true;
    });
    if (HasPolledDevice(table_)) {
        StartPolling();
    } else {
        StopPolling();
    }
}

bool DeviceWatch::ConfirmArrival(std::uint32_t unitMask) {
    if (IsKnownDriveMask(table_, unitMask)) return true;
    int rescansLeft = kArrivalRescans;
    bool restart = true;
    while (restart) {
        restart = false;
        for (int bit = 0; bit < 26; ++bit) {
            if ((unitMask & (std::uint32_t{1} << bit)) == 0) continue;
            if (!host_.IsMakerDrive(static_cast<char>('A' + bit))) continue;
            if (rescansLeft == 0) {
                host_.Trace("Check TOVI Device Error\n");
                continue;
            }
            --rescansLeft;
            ScanDevices();
            lastEventArrival_ = true;
            if (IsKnownDriveMask(table_, unitMask)) return true;
            restart = true;  // from 'A' again
            break;
        }
    }
    return false;
}

void DeviceWatch::OnVolumeArrival(std::uint32_t unitMask) {
    ScanDevices();
    lastEventArrival_ = true;
    if (ConfirmArrival(unitMask)) {
        host_.ShowNotice(host_.InTray() ? kNoticeInsertInTray : kNoticeInsertVisible);
    }
    NotifyCommandWindows(unitMask, kVolumesArrivedMessage);
}

void DeviceWatch::OnVolumeRemoval(std::uint32_t unitMask) {
    lastEventArrival_ = false;
    if (IsKnownDriveMask(table_, unitMask)) {
        host_.ShowNotice(kNoticeRemoved);
        ScanDevices();
    }
    NotifyCommandWindows(unitMask, kVolumesRemovedMessage);
}

void DeviceWatch::NotifyCommandWindows(std::uint32_t unitMask, unsigned followUp) {
    for (const std::wstring& title : host_.CommandWindowTitles()) {
        host_.SendTable(title, unitMask, table_, followUp, unitMask);
    }
}

void DeviceWatch::OnPollTick() {
    // A tick while polling rests is none of the poll timer's: one already queued when the timer
    // stopped, or a message another program made up.
    if (!polling_) return;
    StopPolling();
    bool handedOver = false;
    std::uint8_t state = 0;  // cleared once per tick
    for (std::size_t i = 0; i < common::UsedRecords(table_); ++i) {
        const common::DeviceTableEntry& entry = table_.entries[i];
        if (entry.modelCode != kPolledModel) continue;
        if (!host_.OpenDevice(entry.listIndex, entry.devicePath)) continue;
        const bool read = host_.ReadButton(entry.listIndex, state);
        const bool pressed = read && (state & kButtonReleasedBit) == 0;
        const std::string path = common::DevicePath(entry);
        const bool latched = IsLatched(path);
        // The press of a run that has ended, still latched: released here, and no run again.
        if (pressed && latched && !awaitingRunEnd_ && host_.AcknowledgeButton(entry.listIndex)) ForgetLatch(path);
        host_.CloseDevice(entry.listIndex);
        if (read && !pressed) ForgetLatch(path);
        if (!pressed || latched) continue;

        host_.LaunchButtonCommand();
        if (host_.SendTable(kCopperfoldTitle, entry.listIndex, table_, kButtonPressedMessage, 0)) {
            handedOver = true;
            latched_.push_back(path);
        }
    }
    if (!handedOver) {
        StartPolling();
        return;
    }
    if (!awaitingRunEnd_) host_.StartProbeTimer();
    awaitingRunEnd_ = true;
}

void DeviceWatch::EndAwaitingRunEnd() {
    if (!awaitingRunEnd_) return;
    awaitingRunEnd_ = false;
    host_.StopProbeTimer();
}

void DeviceWatch::OnResume() {
    EndAwaitingRunEnd();
    StartPolling();
}

void DeviceWatch::OnProbeTick() {
    if (!awaitingRunEnd_ || host_.IsBusy(kCopperfoldTitle)) return;
    host_.Trace("Dockline: the run of a press has ended without word from Copperfold; polling again\n");
    OnResume();
}

void DeviceWatch::OnNoticeClicked() {
    const bool inTray = host_.InTray();
    if (lastEventArrival_ && inTray && table_.count != 0) {
        host_.RestoreFromTray();
    } else if (!lastEventArrival_ && !inTray && table_.count == 0) {
        host_.HideToTray();
    }
}

}  // namespace dockline
