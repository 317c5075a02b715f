#include "main_frame.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <utility>

#include "about_dialog.h"
#include "app_messages.h"
#include "common/core/ini_file.h"
#include "common/core/volume_change.h"
#include "common/win32/notify_icon.h"
#include "common/win32/system_info.h"
#include "copperfold/core/device_scan.h"
#include "copperfold/core/device_trigger.h"
#include "copperfold/core/preflight.h"
#include "copperfold_app.h"
#include "corelink_api.h"
#include "logon_start.h"
#include "menu_translation.h"
#include "resource.h"
#include "run_log_file.h"
#include "run_window.h"

namespace {

constexpr wchar_t kFrameClass[] = L"CopperfoldFrame";
// A key of the language sections; "%s" is the system's reason.
constexpr wchar_t kStartAtLogonFailedText[] = L"The start at logon could not be changed: %s";
constexpr UINT_PTR kIndicatorTimer = 1;
constexpr UINT_PTR kArrivalTimer = 2;
constexpr int kFrameWidth = 900;
constexpr int kFrameHeight = 700;

}  // namespace

CMainFrame::CMainFrame(CCopperfoldApp& owner) : app(owner) {
    corelink = std::make_unique<copperfold::CorelinkSession>();
    document = std::make_unique<CCopperfoldDoc>(&app.Settings().UserFile(), app.JobSection());
    deviceMessages = std::make_unique<copperfold::DeviceMessages>(
        *document, *corelink, runGate, [this](const copperfold::JobBatch& batch) { RunButtonBatch(batch); },
        [this](const std::wstring& reason) { ReportRefusedRun(copperfold::RunTrigger::Button, reason); },
        [this](const common::DeviceTableEntry& device) { FinishButtonRun(device); });
    arrivals = std::make_unique<copperfold::ArrivalRuns>(
        *document, runGate, [this](UINT delayMs) { ::SetTimer(Handle(), kArrivalTimer, delayMs, nullptr); },
        [this](const copperfold::JobBatch& batch, std::uint32_t arrived) { RunArrivalBatch(batch, arrived); },
        [this](const std::wstring& reason) { ReportRefusedRun(copperfold::RunTrigger::Arrival, reason); });
    trayIconData.cbSize = sizeof trayIconData;
    trayIconData.uID = 1;
    trayIconData.uFlags = NIF_MESSAGE;
    trayIconData.uCallbackMessage = copperfold::kTrayCallbackMessage;
}

CMainFrame::~CMainFrame() {
    // Destroyed here, while the handlers of this class still run (the tray icon goes too).
    if (Handle()) ::DestroyWindow(Handle());
}

bool CMainFrame::Create() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    const HMENU menu = ::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    const DWORD style = WS_OVERLAPPEDWINDOW & ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
    if (!Window::Create(kFrameClass, copperfold::kMainWindowTitle, style, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                        kFrameWidth, kFrameHeight, nullptr, menu, icon)) {
        if (menu) ::DestroyMenu(menu);
        return false;
    }
    return true;
}

int CMainFrame::OnCreate() {
    statusBar = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0,
                                  0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_STATUS_BAR)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (!statusBar) return -1;
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_STATUS_BAR, MF_BYCOMMAND | MF_CHECKED);
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_EJECT_AFTER_BUTTON_RUN,
                    MF_BYCOMMAND | (EjectAfterButtonRun() ? MF_CHECKED : MF_UNCHECKED));
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_START_AT_LOGON,
                    MF_BYCOMMAND | (copperfold::StartsAtLogon(app.ProgramPath()) ? MF_CHECKED : MF_UNCHECKED));

    // One reading of the settings file for all the texts of the menus and the status bar.
    const CIniFile::Batch snapshot(app.Settings().ProgramFile());
    const auto translate = [this](const std::wstring& text) { return app.Translate(text, text); };
    copperfold::TranslateMenu(::GetMenu(Handle()), translate);
    ::DrawMenuBar(Handle());

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    trayIconData.hWnd = Handle();
    trayIconData.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    if (trayIconData.hIcon) trayIconData.uFlags |= NIF_ICON;
    wcscpy_s(trayIconData.szTip, copperfold::kMainWindowTitle);
    trayIconData.uFlags |= NIF_TIP;

    trayMenu.reset(::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (trayMenu) copperfold::TranslateMenu(trayMenu.get(), translate);
    win32::AllowTaskbarCreated(Handle());

    static constexpr std::array<const wchar_t*, 4> paneTexts = {L"Ready", L"CAP", L"NUM", L"SCRL"};
    for (size_t pane = 0; pane < paneTexts.size(); ++pane) statusTexts[pane] = translate(paneTexts[pane]);
    ::SetTimer(Handle(), kIndicatorTimer, 250, nullptr);
    UpdateStatusIndicators();
    return CreateView() ? 0 : -1;
}

bool CMainFrame::CreateView() {
    CCopperfoldView::DeviceScanner scanner;
    if (ICorelinkCtrl* component = corelink->Component()) {
        scanner = [component](copperfold::DeviceList& list) { component->ScanUSBPort(&list); };
    }
    view = std::make_unique<CCopperfoldView>(CCopperfoldView::Services{
        *document, [this](std::wstring_view english, std::wstring_view fallback) { return app.Translate(english, fallback); },
        app.WriteEvent(), fileSystem, std::move(scanner), &runGate, win32::HasAdministratorRights(), app.ProgramPath()});
    if (!view->Create(Handle(), RECT{0, 0, 1, 1})) {
        view.reset();
        return false;
    }
    CCopperfoldView& shown = *view;
    deviceMessages->SetViewHooks({
        [this, &shown](DWORD unitMask) {
            shown.InvalidateDeviceHandles();
            shown.VolumesArrived(unitMask);
            arrivals->Arrived(unitMask);
        },
        [this, &shown](DWORD unitMask) {
            shown.VolumesRemoved(unitMask);
            shown.InvalidateDeviceHandles();
            arrivals->Removed(unitMask);
        },
        [&shown] { return shown.StopRun(); },
        [&shown](bool enabled) { shown.EnableExecute(enabled); },
    });
    LayoutChildren();
    view->InitialUpdate();
    view->SetStatusSink([this](const std::wstring& text) {
        addStatus = text;
        UpdateStatusIndicators();
    });
    return true;
}

void CMainFrame::LayoutChildren() {
    if (!statusBar) return;
    ::SendMessageW(statusBar, WM_SIZE, 0, 0);
    RECT client{};
    ::GetClientRect(statusBar, &client);
    const int indicator = 48;
    std::array<int, 4> edges = {client.right - 3 * indicator, client.right - 2 * indicator,
                                client.right - indicator, -1};
    ::SendMessageW(statusBar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    UpdateStatusIndicators();
    if (view) {
        // The view fills the client area above the status bar; it places its own children once.
        RECT frame{};
        ::GetClientRect(Handle(), &frame);
        RECT bar{};
        // The bar's own style, not IsWindowVisible: while the frame is being created it is not
        // shown yet, and the view, laid out once, would reach under the bar.
        if (::GetWindowLongPtrW(statusBar, GWL_STYLE) & WS_VISIBLE) ::GetWindowRect(statusBar, &bar);
        ::MoveWindow(view->Handle(), 0, 0, frame.right, frame.bottom - (bar.bottom - bar.top), TRUE);
    }
}

void CMainFrame::UpdateStatusIndicators() {
    if (!statusBar) return;
    static constexpr std::array<int, 3> keys = {VK_CAPITAL, VK_NUMLOCK, VK_SCROLL};
    const std::wstring& idle = addStatus.empty() ? statusTexts[0] : addStatus;
    ::SendMessageW(statusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(idle.c_str()));
    for (size_t pane = 1; pane < statusTexts.size(); ++pane) {
        const bool on = (::GetKeyState(keys[pane - 1]) & 1) != 0;
        ::SendMessageW(statusBar, SB_SETTEXTW, pane, reinterpret_cast<LPARAM>(on ? statusTexts[pane].c_str() : L""));
    }
}

void CMainFrame::ToggleStatusBar() {
    const bool visible = ::IsWindowVisible(statusBar) != 0;
    ::ShowWindow(statusBar, visible ? SW_HIDE : SW_SHOW);
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_STATUS_BAR, MF_BYCOMMAND | (visible ? MF_UNCHECKED : MF_CHECKED));
    LayoutChildren();
}

void CMainFrame::HideToTray() {
    if (inTray != 0) return;
    if (::Shell_NotifyIconW(NIM_ADD, &trayIconData)) {
        inTray = 1;
        ::ShowWindow(Handle(), SW_HIDE);
    }
}

void CMainFrame::RestoreFromTray() {
    if (inTray != 1) return;
    if (::Shell_NotifyIconW(NIM_DELETE, &trayIconData)) {
        inTray = 0;
        ::ShowWindow(Handle(), SW_SHOW);
    }
}

void CMainFrame::StartInTray() {
    HideToTray();
    if (inTray == 1) return;
    hideWhenTrayComes = true;
    ::ShowWindow(Handle(), SW_SHOWMINNOACTIVE);
}

void CMainFrame::OnTaskbarCreated() {
    if (std::exchange(hideWhenTrayComes, false)) {
        HideToTray();
        return;
    }
    if (inTray != 1) return;
    // A window hidden without its icon could not be reached at all: it shows itself instead.
    if (!win32::AddNotifyIconAgain(trayIconData)) {
        inTray = 0;
        ::ShowWindow(Handle(), SW_SHOW);
    }
}

void CMainFrame::ShowTrayMenu() {
    if (!trayMenu) return;
    ::SetForegroundWindow(Handle());
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const HMENU popup = ::GetSubMenu(trayMenu.get(), 0);
    ::SetMenuDefaultItem(popup, static_cast<UINT>(defaultTrayItem), TRUE);
    ::TrackPopupMenu(popup, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, Handle(), nullptr);
}

void CMainFrame::RunButtonBatch(const copperfold::JobBatch& batch) {
    const auto translate = [this](std::wstring_view english, std::wstring_view fallback) {
        return app.Translate(english, fallback);
    };
    lastButtonRun = copperfold::RunBatchInDialog(Handle(), batch, copperfold::RunTrigger::Button, translate);
}

void CMainFrame::RunArrivalBatch(const copperfold::JobBatch& batch, std::uint32_t arrived) {
    const auto translate = [this](std::wstring_view english, std::wstring_view fallback) {
        return app.Translate(english, fallback);
    };
    auto run = copperfold::RunBatchInDialog(Handle(), batch, copperfold::RunTrigger::Arrival, translate);
    if (!run) return;
    const auto enclosure = run->result == copperfold::RunResult::Done && EjectAfterButtonRun()
                               ? EnclosureOf(arrived)
                               : std::nullopt;
    FinishUnattendedRun(std::move(*run), enclosure ? &*enclosure : nullptr);
}

std::optional<common::DeviceTableEntry> CMainFrame::EnclosureOf(std::uint32_t letters) {
    const auto holding = [letters](const common::DeviceTable& table) -> std::optional<common::DeviceTableEntry> {
        const std::size_t count = std::min<std::size_t>(table.count, common::kMaxDevices);
        for (std::size_t i = 0; i < count; ++i) {
            for (const char letter : copperfold::DriveLetters(table.entries[i])) {
                if (letter >= 'A' && letter <= 'Z' && (letters & (1u << (letter - 'A')))) return table.entries[i];
            }
        }
        return std::nullopt;
    };
    if (auto known = holding(document->deviceTable)) return known;
    ICorelinkCtrl* component = corelink->Component();
    if (!component) return std::nullopt;
    auto list = std::make_unique<copperfold::DeviceList>();
    component->ScanUSBPort(list.get());
    auto scanned = std::make_unique<common::DeviceTable>();
    copperfold::BuildDeviceTable(*list, *scanned);
    return holding(*scanned);
}

void CMainFrame::FinishButtonRun(const common::DeviceTableEntry& device) {
    if (!lastButtonRun) return;  // no job ran
    copperfold::RunLogEntry run = std::move(*lastButtonRun);
    lastButtonRun.reset();
    FinishUnattendedRun(std::move(run), &device);
}

void CMainFrame::FinishUnattendedRun(copperfold::RunLogEntry run, const common::DeviceTableEntry* device) {
    if (device && run.result == copperfold::RunResult::Done && EjectAfterButtonRun()) {
        using Result = copperfold::CorelinkSession::EjectResult;
        const auto outcome = corelink->EjectEnclosure(device->listIndex, copperfold::DevicePath(*device),
                                                      copperfold::DriveLetters(*device));
        switch (outcome.result) {
        case Result::Done:
            run.eject = L"You can unplug the enclosure now.";
            break;
        case Result::Vetoed:
            run.eject = L"The enclosure was not stopped: a program is using a file on it. Close that program, then use "
                        L"Safely Remove Hardware before you unplug it.";
            break;
        default:
            run.eject = L"The enclosure could not be stopped. Use Safely Remove Hardware before you unplug it.";
            break;
        }
        std::wstring line = run.eject;
        if (outcome.code != 0) line += L" (configuration manager code " + std::to_wstring(outcome.code) + L")";
        copperfold::AppendRunLogText(L"  Eject: " + line + L"\r\n");
    }
    ShowRunNotice(run);
}

bool CMainFrame::EjectAfterButtonRun() const {
    return app.Settings().SettingInt(copperfold::kEjectAfterButtonRunKey, 0) != 0;
}

void CMainFrame::ToggleEjectAfterButtonRun() {
    const bool on = !EjectAfterButtonRun();
    try {
        app.Settings().WriteSettingInt(copperfold::kEjectAfterButtonRunKey, on ? 1 : 0);
    } catch (const CIniFileException& error) {
        OnException(error);
        return;
    }
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_EJECT_AFTER_BUTTON_RUN, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void CMainFrame::ToggleStartAtLogon() {
    const std::wstring& program = app.ProgramPath();
    const bool on = !copperfold::StartsAtLogon(program);
    if (const LSTATUS error = copperfold::SetStartAtLogon(program, on); error != ERROR_SUCCESS) {
        const std::wstring text = copperfold::FilledText(
            app.Translate(kStartAtLogonFailedText, kStartAtLogonFailedText), {win32::SystemErrorText(error)});
        win32::ShowError(Handle(), text.c_str(), L"Error Message");
        return;
    }
    ::CheckMenuItem(::GetMenu(Handle()), ID_VIEW_START_AT_LOGON, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void CMainFrame::ReportRefusedRun(copperfold::RunTrigger trigger, const std::wstring& reason) {
    const copperfold::JobBatch none{};
    copperfold::RunLogSession log(trigger, none);
    ShowRunNotice(log.Refuse(reason));
}

void CMainFrame::OnDeviceChange(WPARAM event, LPARAM record) {
    // Nothing past the size the sender gives is read.
    const auto change =
        common::ReadVolumeBroadcast(static_cast<std::uint32_t>(event), reinterpret_cast<const std::uint8_t*>(record));
    if (!change) return;
    if (change->arrival) {
        arrivals->Arrived(change->unitMask);
    } else {
        arrivals->Removed(change->unitMask);
    }
}

void CMainFrame::ShowRunNotice(const copperfold::RunLogEntry& run) {
    runNotice.Show(Handle(), copperfold::kTrayCallbackMessage, trayIconData.hIcon, run,
                   [this](std::wstring_view english) { return app.Translate(english, english); });
}

void CMainFrame::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId == copperfold::kRunNoticeIconId) {
        runNotice.OnTrayEvent(mouseMessage);
        return;
    }
    if (iconId != 1) return;
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU:
        ShowTrayMenu();
        break;
    case WM_LBUTTONDBLCLK:
        RestoreFromTray();
        break;
    default:
        break;
    }
}

void CMainFrame::OnCommand(UINT id) {
    switch (id) {
    case ID_APP_ABOUT: {
        CAboutDlg about([this](std::wstring_view english) { return app.Translate(english, english); });
        about.DoModal(Handle());
        break;
    }
    case ID_VIEW_STATUS_BAR:
        ToggleStatusBar();
        break;
    case ID_VIEW_EJECT_AFTER_BUTTON_RUN:
        ToggleEjectAfterButtonRun();
        break;
    case ID_VIEW_START_AT_LOGON:
        ToggleStartAtLogon();
        break;
    case ID_VIEW_PREVIEW:
        if (view) view->PreviewTickedJobs();
        break;
    case ID_TRAY_OPEN:
        RestoreFromTray();
        break;
    case ID_TRAY_EXIT:
        ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void CMainFrame::OnException(const std::exception& error) {
    if (const auto* notWritten = dynamic_cast<const CIniFileException*>(&error)) {
        const std::wstring text = copperfold::WriteFailureText(*notWritten, copperfold::kNotSavedText,
                                                               [this](std::wstring_view english) {
                                                                   return app.Translate(english, english);
                                                               });
        win32::ShowError(Handle(), text.c_str(), L"Error Message");
        return;
    }
    Window::OnException(error);
}

LRESULT CMainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == win32::TaskbarCreatedMessage()) {
        OnTaskbarCreated();
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_SIZE:
        LayoutChildren();
        return 0;
    case WM_ACTIVATE:
        if (view && LOWORD(wParam) == WA_INACTIVE) view->RememberFocus();
        if (LOWORD(wParam) != WA_INACTIVE) hideWhenTrayComes = false;  // the user took the window up
        break;
    case WM_SETFOCUS:
        if (view) view->TakeFocus();  // the keyboard lands on a control, not on the frame
        return 0;
    case WM_TIMER:
        if (wParam == kIndicatorTimer) UpdateStatusIndicators();
        if (wParam == kArrivalTimer) {
            ::KillTimer(Handle(), kArrivalTimer);
            arrivals->OnTimer();
        }
        return 0;
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam, lParam);
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            HideToTray();
            return 0;
        }
        break;
    case copperfold::kTrayCallbackMessage:
        OnTrayNotify(wParam, lParam);
        return 0;
    case copperfold::kRestoreMessage:
        RestoreFromTray();
        if (::IsIconic(Handle())) ::ShowWindow(Handle(), SW_RESTORE);
        ::SetForegroundWindow(Handle());
        return 0;
    case WM_COPYDATA:
        deviceMessages->OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        break;
    case copperfold::kButtonPressedMessage:
        deviceMessages->OnButtonPressed();
        return 0;
    case copperfold::kBusyQueryMessage:
        return deviceMessages->OnBusyQuery(wParam) ? 1 : 0;
    case copperfold::kVolumesArrivedMessage:
        deviceMessages->OnVolumesArrived(wParam);
        return 0;
    case copperfold::kVolumesRemovedMessage:
        deviceMessages->OnVolumesRemoved(wParam);
        return 0;
    case WM_DESTROY:
        deviceMessages->SetViewHooks({});
        view.reset();  // its watcher stops before the window goes
        ::KillTimer(Handle(), kIndicatorTimer);
        ::KillTimer(Handle(), kArrivalTimer);
        if (trayIconData.hWnd && trayIconData.uID && inTray == 1) ::Shell_NotifyIconW(NIM_DELETE, &trayIconData);
        runNotice.Remove();
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}
