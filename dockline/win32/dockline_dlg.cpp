#include "dockline_dlg.h"

#include "command_windows.h"
#include "common/core/device_stack_selection.h"
#include "common/core/volume_change.h"
#include "common/win32/notify_icon.h"
#include "dockline/core/maker_drive_check.h"
#include "dockline_app.h"
#include "menu_text.h"
#include "resource.h"

namespace {

constexpr wchar_t kTrayTip[] = L"KestrelStorageTool";
constexpr int kBarX = 32;
constexpr int kSlotMargin = 3;  // the picture and the buttons start 3 pixels in
constexpr int kCornerEllipse = 10;

}  // namespace

CDocklineDlg::CDocklineDlg(CDocklineApp& app) : win32::Dialog(IDD_DOCKLINE_DIALOG), app_(app) {
    trayIcon_.cbSize = sizeof trayIcon_;
    trayIcon_.uID = 1;
    trayIcon_.uCallbackMessage = kTrayMessage;
    trayIcon_.uFlags = NIF_MESSAGE | NIF_TIP;
    wcscpy_s(trayIcon_.szTip, kTrayTip);
}

CDocklineDlg::~CDocklineDlg() = default;

bool CDocklineDlg::OnInitDialog() {
    const HWND bar = Handle();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    bigIcon_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
                                                     ::GetSystemMetrics(SM_CXSMICON),
                                                     ::GetSystemMetrics(SM_CYSMICON), 0)));
    ::SendMessageW(bar, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    ::SendMessageW(bar, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));

    LoadSlots();
    ::SetWindowTextW(bar, kDocklineTitle);
    ::SetWindowPos(bar, HWND_TOPMOST, kBarX, 0, slotWidth_ * slotCount_ + 2 * kSlotMargin, barHeight_, 0);
    ::SetWindowLongPtrW(bar, GWL_EXSTYLE, ::GetWindowLongPtrW(bar, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
    // Copperfold may run without the bar's administrator rights; its "resume polling" is the
    // one message from such a program that the bar lets through.
    ::ChangeWindowMessageFilterEx(bar, kResumeMessage, MSGFLT_ALLOW, nullptr);
    win32::AllowTaskbarCreated(bar);

    SetUpMenusAndTray();
    SetUpNotifier();

    RECT window{};
    ::GetWindowRect(bar, &window);
    ::SetWindowRgn(bar,
                   ::CreateRoundRectRgn(0, 0, window.right - window.left + 1, window.bottom - window.top + 1,
                                        kCornerEllipse, kCornerEllipse),
                   TRUE);
    shadow_.Create(bar);
    ::ShowWindow(bar, SW_SHOW);
    if (app_.StartHidden()) ::PostMessageW(bar, kHideMessage, 0, 0);
    watch_.ScanDevices();
    return true;
}

void CDocklineDlg::LoadSlots() {
    slotCount_ = app_.Settings().SlotCount();
    for (int slot = 1; slot <= slotCount_; ++slot) {
        dockline::ImageFile& image = images_[static_cast<size_t>(slot - 1)];
        const auto path = dockline::JoinCommandPath(app_.ProgramDirectory(), app_.Settings().SlotImage(slot));
        SIZE size{};
        if (path && image.Load(*path, &size) == dockline::ImageFile::LoadResult::TooLarge) {
            // Not shown, but not without a word: the slot stays empty.
            ::OutputDebugStringW((L"Dockline: the picture of slot " + std::to_wstring(slot) + L", " + *path + L", is " +
                                  std::to_wstring(size.cx) + L" x " + std::to_wstring(size.cy) +
                                  L" pixels; pictures over " + std::to_wstring(dockline::ImageFile::kMaxSide) +
                                  L" pixels wide or high are not shown\n")
                                     .c_str());
        }
        if (barHeight_ == 0) barHeight_ = image.Height();
        if (slotWidth_ == 0) slotWidth_ = image.Width();
        if (slot == 1) continue;

        const int id = IDC_SLOT1 + slot - 1;
        const HWND control = ::GetDlgItem(Handle(), id);
        CButtonST& button = buttons_[static_cast<size_t>(slot - 1)];
        button.Attach(control);
        ::ShowWindow(control, SW_SHOW);
        button.SetDrawBorder(false);
        ::InvalidateRect(control, nullptr, TRUE);
        ::EnableWindow(control, TRUE);
        button.AssignBitmap(image.Bitmap(), CLR_INVALID);
        button.BrightenHoverColor(50);
        const std::wstring tip = app_.Settings().Tip(slot);
        if (!tip.empty()) button.AssignTooltip(tip);
        button.FitSizeToBitmap();
        ::SetWindowPos(control, nullptr, (slot - 1) * slotWidth_ + kSlotMargin, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CDocklineDlg::SetUpMenusAndTray() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // One reading of the settings file for all the captions.
    const CIniFile::Batch snapshot(app_.IniFile());
    const auto translate = [this](const std::wstring& text) { return app_.Translate(text); };
    barMenu_.reset(::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_BAR_MENU)));
    if (barMenu_) dockline::TranslateMenuItems(barMenu_.get(), translate);
    trayIcon_.hWnd = Handle();
    if (smallIcon_) {
        trayIcon_.hIcon = smallIcon_.get();
        trayIcon_.uFlags |= NIF_ICON;
    }
    trayMenu_.reset(::LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (trayMenu_) dockline::TranslateMenuItems(trayMenu_.get(), translate);
}

void CDocklineDlg::SetUpNotifier() {
    if (!notifier_.AttachToOwner(Handle())) return;
    notifier_.LoadSkin(IDB_NOTIFIER_SKIN);
    notifier_.ChooseFonts();
    notifier_.SetTextColors(RGB(0, 0, 0), RGB(0, 0, 200));
    const SIZE skin = notifier_.SkinSize();
    notifier_.SetTextRect({10, 40, skin.cx - 10, skin.cy - 25});
}

void CDocklineDlg::HideToTray() {
    if (inTray_) return;
    hideWhenTrayComes_ = false;
    if (::Shell_NotifyIconW(NIM_ADD, &trayIcon_)) {
        inTray_ = true;
        ::ShowWindow(Handle(), SW_HIDE);
    } else {
        hideWhenTrayComes_ = true;  // at logon the bar may start before the shell
    }
}

void CDocklineDlg::OnTaskbarCreated() {
    if (hideWhenTrayComes_) {
        HideToTray();
        return;
    }
    if (!inTray_) return;
    // Hidden without its icon, the bar could not be reached at all: it shows itself instead.
    if (!win32::AddNotifyIconAgain(trayIcon_)) {
        inTray_ = false;
        ::ShowWindow(Handle(), SW_SHOW);
    }
}

void CDocklineDlg::RestoreFromTray() {
    hideWhenTrayComes_ = false;
    if (!inTray_) return;
    if (::Shell_NotifyIconW(NIM_DELETE, &trayIcon_)) {
        inTray_ = false;
        ::ShowWindow(Handle(), SW_SHOW);
    }
}

void CDocklineDlg::TrayLeftDoubleClick(POINT) {
    if (minimizeToTray_) RestoreFromTray();
}

void CDocklineDlg::TrayRightDown(POINT cursor) {
    if (!trayMenu_) return;
    ::SetForegroundWindow(Handle());
    ShowMenu(trayMenu_.get(), cursor, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN);
}

void CDocklineDlg::ShowMenu(HMENU menu, POINT at, UINT flags) {
    const HMENU popup = ::GetSubMenu(menu, 0);
    if (!popup) return;
    ::TrackPopupMenu(popup, flags, at.x, at.y, 0, Handle(), nullptr);
    ::SetMenuDefaultItem(popup, defaultTrayItem_, TRUE);
}

void CDocklineDlg::OnTrayNotify(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != trayIcon_.uID) return;
    POINT cursor{};
    ::GetCursorPos(&cursor);
    switch (static_cast<UINT>(mouseMessage)) {
    case WM_RBUTTONDOWN:
    case WM_CONTEXTMENU:
        TrayRightDown(cursor);
        break;
    case WM_LBUTTONDBLCLK:
        TrayLeftDoubleClick(cursor);
        break;
    case WM_LBUTTONDOWN:
        TrayLeftDown(cursor);
        break;
    case WM_RBUTTONDBLCLK:
        TrayRightDoubleClick(cursor);
        break;
    case WM_MOUSEMOVE:
        TrayMouseMove(cursor);
        break;
    default:
        break;
    }
}

bool CDocklineDlg::OnCommand(int id, int notifyCode) {
    if (id >= IDC_SLOT2 && id <= IDC_SLOT7 && notifyCode == BN_CLICKED) {
        app_.LaunchCommand(L"CMD" + std::to_wstring(id - IDC_SLOT1 + 1), Handle());
        return true;
    }
    switch (id) {
    case ID_BAR_HIDE:
        HideToTray();
        return true;
    case ID_BAR_EXIT:
    case ID_TRAY_EXIT:
    case IDCANCEL:  // also what closing the window asks
        End(0);
        return true;
    case ID_TRAY_OPEN:
        RestoreFromTray();
        return true;
    default:
        return false;
    }
}

void CDocklineDlg::OnTimer(UINT_PTR timerId) {
    if (timerId == kPollTimer) watch_.OnPollTick();
    if (timerId == kRunEndProbeTimer) watch_.OnProbeTick();
}

void CDocklineDlg::OnDeviceChange(WPARAM event, LPARAM record) {
    // Only the size field first: nothing past what the sender says it sent is read.
    const auto change =
        common::ReadVolumeBroadcast(static_cast<std::uint32_t>(event), reinterpret_cast<const std::uint8_t*>(record));
    if (!change) return;
    if (change->arrival) {
        watch_.OnVolumeArrival(change->unitMask);
    } else {
        watch_.OnVolumeRemoval(change->unitMask);
    }
}

void CDocklineDlg::Paint() {
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Handle(), &paint);
    images_[0].Draw(dc, kSlotMargin, 0);
    ::EndPaint(Handle(), &paint);
}

void CDocklineDlg::ShutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    ::KillTimer(Handle(), kPollTimer);
    ::KillTimer(Handle(), kRunEndProbeTimer);
    dockline::CloseCommandWindows(app_.Settings().CommandWindowTitles());
    corelink_.Release();
    if (inTray_) {
        ::Shell_NotifyIconW(NIM_DELETE, &trayIcon_);
        inTray_ = false;
    }
}

bool CDocklineDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    if (message != 0 && message == win32::TaskbarCreatedMessage()) {
        OnTaskbarCreated();
        result = 0;
        return true;
    }
    switch (message) {
    case WM_DEVICECHANGE:
        OnDeviceChange(wParam, lParam);
        result = TRUE;
        return true;
    case kResumeMessage:
        watch_.OnResume();
        result = 0;
        return true;
    case CTaskbarNotifier::kClickedMessage:
        watch_.OnNoticeClicked();
        result = 0;
        return true;
    case kTrayMessage:
        OnTrayNotify(wParam, lParam);
        result = 0;
        return true;
    case kHideMessage:
        HideToTray();
        result = 0;
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            HideToTray();
            result = 0;
            return true;
        }
        return false;
    case WM_WINDOWPOSCHANGING:
        // While the bar lives in the notification area nothing shows it, not even the modal
        // loop, which shows a dialog the first time it runs out of messages.
        if (inTray_ && lParam != 0) reinterpret_cast<WINDOWPOS*>(lParam)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
        return false;
    case WM_PAINT:
        Paint();
        result = 0;
        return true;
    case WM_DRAWITEM: {
        // The system copies this record for a sender in another process; only a null one is left.
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!item) return false;
        const int slot = static_cast<int>(item->CtlID) - IDC_SLOT1;
        if (slot < 1 || slot >= static_cast<int>(buttons_.size())) return false;
        buttons_[static_cast<size_t>(slot)].Draw(*item);
        result = TRUE;
        return true;
    }
    case WM_LBUTTONDOWN:
        ::SendMessageW(Handle(), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
        result = 0;
        return true;
    case WM_RBUTTONDOWN: {
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        ::ClientToScreen(Handle(), &at);
        if (barMenu_) ShowMenu(barMenu_.get(), at, TPM_RIGHTBUTTON);
        result = 0;
        return true;
    }
    case WM_DESTROY:
        ShutDown();
        return false;
    default:
        return false;
    }
}

// --- the device watch's view of the platform

void CDocklineDlg::ScanDeviceList(dockline::DeviceList& list) { corelink_.ScanDeviceList(list); }

bool CDocklineDlg::OpenDevice(std::uint8_t slot, const char* devicePath) {
    return corelink_.OpenDevice(slot, devicePath);
}

bool CDocklineDlg::ReadButton(std::uint8_t slot, std::uint8_t& state) { return corelink_.ReadButton(slot, state); }

bool CDocklineDlg::AcknowledgeButton(std::uint8_t slot) { return corelink_.AcknowledgeButton(slot); }

void CDocklineDlg::CloseDevice(std::uint8_t slot) { corelink_.CloseDevice(slot); }

bool CDocklineDlg::IsMakerDrive(char letter) {
    return dockline::IsToviDrive(devio::SystemDeviceStack(), letter, [this](std::string_view text) { Trace(text); });
}

void CDocklineDlg::StartPollTimer() { ::SetTimer(Handle(), kPollTimer, 1000, nullptr); }

void CDocklineDlg::StopPollTimer() { ::KillTimer(Handle(), kPollTimer); }

void CDocklineDlg::StartProbeTimer() {
    ::SetTimer(Handle(), kRunEndProbeTimer, dockline::kRunEndProbeMilliseconds, nullptr);
}

void CDocklineDlg::StopProbeTimer() { ::KillTimer(Handle(), kRunEndProbeTimer); }

bool CDocklineDlg::IsBusy(std::wstring_view title) { return dockline::WindowIsBusy(title); }

void CDocklineDlg::LaunchButtonCommand() { app_.LaunchCommand(dockline::kButtonCommandKey, Handle()); }

bool CDocklineDlg::SendTable(std::wstring_view title, std::uintptr_t data, const common::DeviceTable& table,
                             unsigned followUp, std::uintptr_t followUpParam) {
    return dockline::SendTableToWindow(Handle(), title, data, table, followUp, followUpParam);
}

std::vector<std::wstring> CDocklineDlg::CommandWindowTitles() { return app_.Settings().CommandWindowTitles(); }

void CDocklineDlg::ShowNotice(std::wstring_view key) {
    if (notifier_.Handle()) notifier_.ShowNotice(app_.Translate(key));
}

void CDocklineDlg::Trace(std::string_view text) {
    ::OutputDebugStringA(std::string(text).c_str());
}
