#pragma once
// CDocklineDlg: the bar window. A borderless always-on-top tool window near the top-left
// corner holding the slot-1 picture and up to six bitmap buttons, which hides into the
// notification area and comes back, and runs the device watch in its message handlers.

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

#include "button_st.h"
#include "common/win32/dialog.h"
#include "common/win32/unique_handle.h"
#include "corelink_client.h"
#include "dockline/core/device_watch.h"
#include "image_file.h"
#include "taskbar_notifier.h"
#include "wnd_shadow.h"

class CDocklineApp;

class CDocklineDlg : public win32::Dialog, private dockline::DeviceWatchHost {
public:
    static constexpr UINT kTrayMessage = WM_USER + 1;     // 0x0401
    static constexpr UINT kHideMessage = WM_USER + 2;     // 0x0402
    static constexpr UINT kResumeMessage = WM_USER + 9;   // 0x0409, from Copperfold
    static constexpr UINT_PTR kPollTimer = 1;
    static constexpr UINT_PTR kRunEndProbeTimer = 2;  // the busy query while a press's run goes on

    explicit CDocklineDlg(CDocklineApp& app);
    ~CDocklineDlg() override;

    void HideToTray() override;
    void RestoreFromTray() override;
    bool InTray() override { return inTray_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

    // The notification-area icon's events, with the cursor position.
    virtual void TrayLeftDown(POINT) {}
    virtual void TrayLeftDoubleClick(POINT);
    virtual void TrayRightDown(POINT cursor);
    virtual void TrayRightDoubleClick(POINT) {}
    virtual void TrayMouseMove(POINT) {}

private:
    void LoadSlots();
    void SetUpMenusAndTray();
    void SetUpNotifier();
    void OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);
    // The shell's notification area came back: the icon goes in again, or the bar, started
    // before there was one to hide in, goes there now.
    void OnTaskbarCreated();
    void OnDeviceChange(WPARAM event, LPARAM record);
    void ShowMenu(HMENU menu, POINT at, UINT flags);
    void Paint();
    void ShutDown();

    // The device watch's view of the platform.
    void ScanDeviceList(dockline::DeviceList& list) override;
    bool OpenDevice(std::uint8_t slot, const char* devicePath) override;
    bool ReadButton(std::uint8_t slot, std::uint8_t& state) override;
    bool AcknowledgeButton(std::uint8_t slot) override;
    void CloseDevice(std::uint8_t slot) override;
    bool IsMakerDrive(char letter) override;
    void StartPollTimer() override;
    void StopPollTimer() override;
    void StartProbeTimer() override;
    void StopProbeTimer() override;
    bool IsBusy(std::wstring_view title) override;
    void LaunchButtonCommand() override;
    bool SendTable(std::wstring_view title, std::uintptr_t data, const common::DeviceTable& table, unsigned followUp,
                   std::uintptr_t followUpParam) override;
    std::vector<std::wstring> CommandWindowTitles() override;
    void ShowNotice(std::wstring_view key) override;
    void Trace(std::string_view text) override;

    CDocklineApp& app_;
    int slotCount_ = 0;
    int slotWidth_ = 0;
    int barHeight_ = 0;
    std::array<dockline::ImageFile, 7> images_;
    std::array<CButtonST, 7> buttons_;
    win32::UniqueMenu barMenu_;
    win32::UniqueMenu trayMenu_;
    NOTIFYICONDATAW trayIcon_{};
    bool inTray_ = false;
    bool hideWhenTrayComes_ = false;  // asked to hide while there was no notification area
    bool minimizeToTray_ = true;
    UINT defaultTrayItem_ = 0;
    win32::UniqueIcon bigIcon_;
    win32::UniqueIcon smallIcon_;
    CWndShadow shadow_;
    CTaskbarNotifier notifier_;
    dockline::CorelinkClient corelink_;
    dockline::DeviceWatch watch_{*this};
    bool shutDown_ = false;
};
