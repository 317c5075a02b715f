#pragma once
// The bar's link to the enclosures: it keeps the device table, polls the one-touch button of
// every device of the polled model once a second, hands a press to Copperfold, and follows
// volume arrivals and removals with a notice and a message to the programs of the bar's
// commands. Everything runs on the bar's thread; the platform is reached through the host.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/device_table.h"
#include "device_table_builder.h"

namespace dockline {

// Messages to other programs (WM_USER based).
inline constexpr unsigned kButtonPressedMessage = 0x0405;
inline constexpr unsigned kVolumesArrivedMessage = 0x0407;
inline constexpr unsigned kVolumesRemovedMessage = 0x0408;
inline constexpr wchar_t kCopperfoldTitle[] = L"Copperfold";

// Notice keys, translated by the host.
inline constexpr wchar_t kNoticeInsertInTray[] = L"Device Insert1";
inline constexpr wchar_t kNoticeInsertVisible[] = L"Device Insert2";
inline constexpr wchar_t kNoticeRemoved[] = L"Device Removed2";

// Rescans spent on one arrival at most, when a drive answers as the maker's but is not listed.
inline constexpr int kArrivalRescans = 3;

class DeviceWatchHost {
public:
    virtual ~DeviceWatchHost() = default;

    // The component: fills the list (left zeroed when there is no component) and invalidates
    // every open-slot handle; opens, reads the button state byte of, and closes a device.
    virtual void ScanDeviceList(DeviceList& list) = 0;
    virtual bool OpenDevice(std::uint8_t slot, const char* devicePath) = 0;
    virtual bool ReadButton(std::uint8_t slot, std::uint8_t& state) = 0;
    virtual void CloseDevice(std::uint8_t slot) = 0;
    // Dockline's own INQUIRY of drive `letter`.
    virtual bool IsMakerDrive(char letter) = 0;

    virtual void StartPollTimer() = 0;
    virtual void StopPollTimer() = 0;
    virtual void LaunchButtonCommand() = 0;
    // The copy-data message (the table, with `data`) and then the posted `followUp` with
    // `followUpParam` to the top-level window titled `title`; false when there is none.
    virtual bool SendTable(std::wstring_view title, std::uintptr_t data, const common::DeviceTable& table,
                           unsigned followUp, std::uintptr_t followUpParam) = 0;
    virtual std::vector<std::wstring> CommandWindowTitles() = 0;

    virtual bool InTray() = 0;
    virtual void ShowNotice(std::wstring_view key) = 0;
    virtual void HideToTray() = 0;
    virtual void RestoreFromTray() = 0;
    virtual void Trace(std::string_view text) = 0;
};

class DeviceWatch {
public:
    explicit DeviceWatch(DeviceWatchHost& host) : host_(host) {}

    void ScanDevices();
    void OnVolumeArrival(std::uint32_t unitMask);
    void OnVolumeRemoval(std::uint32_t unitMask);
    void OnPollTick();  // ignored while polling rests
    void OnResume();  // Copperfold finished the run a press started
    void OnNoticeClicked();

    const common::DeviceTable& Table() const { return table_; }
    bool Polling() const { return polling_; }

private:
    void StartPolling();
    void StopPolling();
    void NotifyCommandWindows(std::uint32_t unitMask, unsigned followUp);
    // Finds the maker's drive of `unitMask` in the table, rescanning within the budget.
    bool ConfirmArrival(std::uint32_t unitMask);

    DeviceWatchHost& host_;
    common::DeviceTable table_{};
    bool polling_ = false;
    bool lastEventArrival_ = false;
};

}  // namespace dockline
