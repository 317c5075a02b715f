#include "taskbar_notifier.h"

namespace {

constexpr wchar_t kNotifierClass[] = L"DocklineNotice";
constexpr UINT_PTR kAppearTimer = 1;
constexpr UINT_PTR kStayTimer = 2;
constexpr UINT_PTR kDisappearTimer = 3;

}  // namespace

bool CTaskbarNotifier::AttachToOwner(HWND owner) {
    owner_ = owner;
    handCursor_ = ::LoadCursorW(nullptr, IDC_HAND);
    return Create(kNotifierClass, L"", WS_POPUP, 0, 0, 0, 0, 0, owner, nullptr);
}

bool CTaskbarNotifier::LoadSkin(UINT resourceId) {
    skin_.reset(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0,
                             LR_CREATEDIBSECTION));
    BITMAP facts{};
    if (!skin_ || ::GetObjectW(skin_.get(), sizeof facts, &facts) == 0) {
        skin_.reset();
        return false;
    }
    skinWidth_ = facts.bmWidth;
    skinHeight_ = facts.bmHeight < 0 ? -facts.bmHeight : facts.bmHeight;
    textRect_ = {0, 0, skinWidth_, skinHeight_};
    return true;
}

void CTaskbarNotifier::ChooseFonts() {
    const HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(90, ::GetDeviceCaps(screen, LOGPIXELSY), 720);
    ::ReleaseDC(nullptr, screen);
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    wcscpy_s(font.lfFaceName, L"Arial");
    normalFont_.reset(::CreateFontIndirectW(&font));
    font.lfUnderline = TRUE;
    hoverFont_.reset(::CreateFontIndirectW(&font));
}

void CTaskbarNotifier::SetTextColors(COLORREF normal, COLORREF hover) {
    normalColor_ = normal;
    hoverColor_ = hover;
    if (Handle()) ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CTaskbarNotifier::PlaceAt(const dockline::Point& position) {
    ::SetWindowPos(Handle(), HWND_TOPMOST, position.x, position.y, skinWidth_, skinHeight_,
                   SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void CTaskbarNotifier::ShowNotice(const std::wstring& text) {
    text_ = text;
    ::SetWindowTextW(Handle(), text_.c_str());  // what screen readers and tests read
    appearTime_ = 300;
    stayTime_ = 2500;
    disappearTime_ = 300;

    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const dockline::Rect workArea{work.left, work.top, work.right, work.bottom};
    const dockline::TaskbarEdge edge =
        dockline::FindTaskbarEdge(workArea, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    const auto redraw = [this] { ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); };

    switch (state_) {
    case State::Idle:
        motion_.emplace(workArea, edge, skinWidth_, skinHeight_);
        appearDelay_ = motion_->StepDelay(appearTime_);
        disappearDelay_ = motion_->StepDelay(disappearTime_);
        current_ = motion_->Start();
        PlaceAt(current_);
        ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
        ::SetTimer(Handle(), kAppearTimer, static_cast<UINT>(appearDelay_), nullptr);
        break;
    case State::Appearing:
        redraw();
        break;
    case State::Waiting:
        redraw();
        ::SetTimer(Handle(), kStayTimer, static_cast<UINT>(stayTime_), nullptr);
        break;
    case State::Disappearing:
        ::KillTimer(Handle(), kDisappearTimer);
        ::SetTimer(Handle(), kStayTimer, static_cast<UINT>(stayTime_), nullptr);
        current_ = motion_->Shown();
        PlaceAt(current_);
        redraw();
        break;
    }
}

void CTaskbarNotifier::HideNotice() {
    switch (state_) {
    case State::Appearing:
        ::KillTimer(Handle(), kAppearTimer);
        break;
    case State::Waiting:
        ::KillTimer(Handle(), kStayTimer);
        break;
    case State::Disappearing:
        ::KillTimer(Handle(), kDisappearTimer);
        break;
    case State::Idle:
        break;
    }
    ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOOWNERZORDER);
    ::ShowWindow(Handle(), SW_HIDE);
    state_ = State::Idle;
}

void CTaskbarNotifier::OnTimer(UINT_PTR id) {
    if (!motion_) return;
    switch (id) {
    case kAppearTimer:
        state_ = State::Appearing;
        if (!motion_->StepIn(current_)) {
            ::KillTimer(Handle(), kAppearTimer);
            ::SetTimer(Handle(), kStayTimer, static_cast<UINT>(stayTime_), nullptr);
            state_ = State::Waiting;
        }
        PlaceAt(current_);
        break;
    case kStayTimer:
        ::KillTimer(Handle(), kStayTimer);
        ::SetTimer(Handle(), kDisappearTimer, static_cast<UINT>(disappearDelay_), nullptr);
        break;
    case kDisappearTimer:
        state_ = State::Disappearing;
        if (!motion_->StepOut(current_)) {
            ::KillTimer(Handle(), kDisappearTimer);
            HideNotice();
            return;
        }
        PlaceAt(current_);
        break;
    default:
        break;
    }
}

void CTaskbarNotifier::TrackMouse() {
    TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, Handle(), 1};
    ::TrackMouseEvent(&track);
}

void CTaskbarNotifier::Paint() {
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Handle(), &paint);
    if (skin_) {
        const HDC source = ::CreateCompatibleDC(dc);
        const HGDIOBJ previous = ::SelectObject(source, skin_.get());
        ::BitBlt(dc, 0, 0, skinWidth_, skinHeight_, source, 0, 0, SRCCOPY);
        ::SelectObject(source, previous);
        ::DeleteDC(source);
    }
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, mouseOver_ ? hoverColor_ : normalColor_);
    const HGDIOBJ font = mouseOver_ ? hoverFont_.get() : normalFont_.get();
    const HGDIOBJ previousFont = font ? ::SelectObject(dc, font) : nullptr;
    RECT area = textRect_;
    // Centred both ways: measure the wrapped height first.
    RECT measured = area;
    ::DrawTextW(dc, text_.c_str(), -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
    const int height = measured.bottom - measured.top;
    if (height < area.bottom - area.top) area.top += (area.bottom - area.top - height) / 2;
    ::DrawTextW(dc, text_.c_str(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
    if (previousFont) ::SelectObject(dc, previousFont);
    ::EndPaint(Handle(), &paint);
}

LRESULT CTaskbarNotifier::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEMOVE:
        TrackMouse();
        return 0;
    case WM_MOUSEHOVER:
        if (!mouseOver_) {
            mouseOver_ = true;
            ::InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (mouseOver_) {
            mouseOver_ = false;
            ::InvalidateRect(Handle(), nullptr, FALSE);
        }
        return 0;
    case WM_LBUTTONUP:
        if (owner_) ::PostMessageW(owner_, kClickedMessage, 0, 0);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(handCursor_);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return Window::HandleMessage(message, wParam, lParam);
}
