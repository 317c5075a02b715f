#pragma once
// CMainFrame: Copperfold's top-level window, titled "Copperfold" (Dockline and a second
// instance find it by that title). It holds the job document, the status bar and the menus
// (translated at creation), hides in the notification area when minimised and comes back on a
// double-click, "&Open" or a second start of the program; the icon comes back after a restart
// of the shell. It runs the jobs of the enclosure's button (device_messages.h) and of drives
// being plugged in (arrival_runs.h), with a notice of how each run went.

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "common/win32/unique_handle.h"
#include "common/win32/window.h"
#include "copperfold/core/copperfold_doc.h"
#include "arrival_runs.h"
#include "copperfold_view.h"
#include "corelink_session.h"
#include "device_messages.h"
#include "run_gate.h"
#include "run_notice.h"
#include "win32_file_system.h"

class CCopperfoldApp;

class CMainFrame : public win32::Window {
public:
    explicit CMainFrame(CCopperfoldApp& app);
    ~CMainFrame() override;

    bool Create();
    CCopperfoldDoc& Document() { return *document; }
    CCopperfoldView* View() { return view.get(); }
    // The window whose dialog manager handles the keys typed in this frame: the view's form.
    HWND KeyboardDialog() const { return view ? view->Handle() : nullptr; }
    bool InTray() const { return inTray != 0; }
    // The process's device-access component (its Component() is null when it could not be
    // created) and the handler of Dockline's messages, where the view registers its hooks.
    copperfold::CorelinkSession& Corelink() { return *corelink; }
    copperfold::DeviceMessages& Devices() { return *deviceMessages; }

    void HideToTray();
    void RestoreFromTray();
    // The start at logon ("/tray"): hidden in the notification area, or, while the shell has no
    // notification area yet, minimised until it has one.
    void StartInTray();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnException(const std::exception& error) override;

private:
    int OnCreate();
    void OnCommand(UINT id);
    void OnTrayNotify(WPARAM iconId, LPARAM mouseMessage);
    // The shell's notification area came back (Explorer restarted): the icon goes in again.
    void OnTaskbarCreated();
    void ShowTrayMenu();
    // A run of the enclosure's button, then its outcome as a notice of the tray icon.
    void RunButtonBatch(const copperfold::JobBatch& batch);
    // A run of the drives that were plugged in (`arrived`, bit n: 'A' + n), then its notice.
    void RunArrivalBatch(const copperfold::JobBatch& batch, std::uint32_t arrived);
    // A press or a plug-in that ran nothing because another process was running: logged and shown.
    void ReportRefusedRun(copperfold::RunTrigger trigger, const std::wstring& reason);
    // After the button's run, acknowledged: FinishUnattendedRun with the pressed device.
    void FinishButtonRun(const common::DeviceTableEntry& device);
    // After a run nobody may have watched: the enclosure (`device`, when the run was on one)
    // stopped for unplugging when the setting asks for it and the run succeeded, then the notice.
    void FinishUnattendedRun(copperfold::RunLogEntry run, const common::DeviceTableEntry* device);
    // The enclosure that holds one of the drives `letters`: from the document's table, else from
    // a scan (without Dockline the table knows only the enclosures of the program's start).
    std::optional<common::DeviceTableEntry> EnclosureOf(std::uint32_t letters);
    void OnDeviceChange(WPARAM event, LPARAM record);
    void ShowRunNotice(const copperfold::RunLogEntry& run);
    bool EjectAfterButtonRun() const;
    void ToggleEjectAfterButtonRun();
    void ToggleStartAtLogon();
    void ToggleStatusBar();
    void LayoutChildren();
    bool CreateView();
    void UpdateStatusIndicators();

    CCopperfoldApp& app;
    std::unique_ptr<copperfold::CorelinkSession> corelink;
    std::unique_ptr<CCopperfoldDoc> document;
    copperfold::RunGate runGate;  // before the handlers that use it
    std::unique_ptr<copperfold::DeviceMessages> deviceMessages;
    std::unique_ptr<copperfold::ArrivalRuns> arrivals;
    copperfold::Win32FileSystem fileSystem;
    std::unique_ptr<CCopperfoldView> view;  // after the component, which it scans through
    HWND statusBar = nullptr;
    std::array<std::wstring, 4> statusTexts;  // idle text and the three key indicators
    std::wstring addStatus;  // what Add would take; shown instead of the idle text
    NOTIFYICONDATAW trayIconData{};
    int inTray = 0;
    win32::UniqueMenu trayMenu;
    int defaultTrayItem = 0;
    copperfold::RunNotice runNotice;
    std::optional<copperfold::RunLogEntry> lastButtonRun;  // until FinishButtonRun shows it
    bool hideWhenTrayComes = false;  // a start at logon before the shell had a notification area
};
