#pragma once
// The bar's link to the enclosures: it keeps the device table, polls the one-touch button of
// every device of the polled model once a second, hands a press to Copperfold, and follows
// volume arrivals and removals with a notice and a message to the programs of the bar's
// commands. Everything runs on the bar's thread; the platform is reached through the host.
//
// One press, one run. A press stays latched in the device until a program acknowledges it.
// After handing a press over, polling rests until Copperfold reports the end of the run
// (0x0409); should that message never come (the window crashed, or the message was filtered),
// the bar asks the window with the busy query every few seconds and goes on when it is gone or
// idle. Then the bar acknowledges a press that is still latched itself (Copperfold's own
// acknowledgement may have failed: no device access, the device gone), and a device whose press
// was handed over starts no other run until its button was read released or acknowledged.

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
// How often the bar asks Copperfold whether the run a press started is still going.
inline constexpr unsigned kRunEndProbeMilliseconds = 3000;
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
    // Writes the acknowledgement (2) that releases a latched press; the device is open.
    virtual bool AcknowledgeButton(std::uint8_t slot) = 0;
    virtual void CloseDevice(std::uint8_t slot) = 0;
    // Dockline's own INQUIRY of drive `letter`.
    virtual bool IsMakerDrive(char letter) = 0;

    virtual void StartPollTimer() = 0;
    virtual void StopPollTimer() = 0;
    // The timer of the busy query while a handed-over run goes on (every kRunEndProbeMilliseconds).
    virtual void StartProbeTimer() = 0;
    virtual void StopProbeTimer() = 0;
    // Asks the top-level window titled `title` whether a run is in progress, without asking it to
    // stop one; false when it answers idle, is gone or does not answer.
    virtual bool IsBusy(std::wstring_view title) = 0;
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
    void OnProbeTick();  // ignored unless a handed-over run is awaited
    void OnNoticeClicked();

    const common::DeviceTable& Table() const { return table_; }
    bool Polling() const { return polling_; }
    // A press was handed over and its run has not been reported ended.
    bool AwaitingRunEnd() const { return awaitingRunEnd_; }

private:
    void StartPolling();
    void StopPolling();
    void NotifyCommandWindows(std::uint32_t unitMask, unsigned followUp);
    void EndAwaitingRunEnd();
    bool IsLatched(const std::string& devicePath) const;
    void ForgetLatch(const std::string& devicePath);
    // Finds the maker's drive of `unitMask` in the table, rescanning within the budget.
    bool ConfirmArrival(std::uint32_t unitMask);

    DeviceWatchHost& host_;
    common::DeviceTable table_{};
    bool polling_ = false;
    bool lastEventArrival_ = false;
    bool awaitingRunEnd_ = false;
    // The devices whose press was handed over and not yet seen released or acknowledged.
    std::vector<std::string> latched_;
};

}  // namespace dockline
