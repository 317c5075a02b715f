#include "taskbar_notifier.h"

#include <algorithm>

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
    fullHeight_ = ::MulDiv(90, ::GetDeviceCaps(screen, LOGPIXELSY), 720);  // 9 points
    ::ReleaseDC(nullptr, screen);
    MakeFonts(fullHeight_);
}

void CTaskbarNotifier::MakeFonts(int height) {
    LOGFONTW font{};
    font.lfHeight = -height;
    font.lfWeight = FW_NORMAL;
    wcscpy_s(font.lfFaceName, L"Arial");
    normalFont_.reset(::CreateFontIndirectW(&font));
    font.lfUnderline = TRUE;
    hoverFont_.reset(::CreateFontIndirectW(&font));
    fontHeight_ = height;
}

// The text's lines must fit the text area: a long translation, or the larger font of a screen
// of more dots per inch (the skin keeps its pixels), takes a smaller font, down to two thirds of
// 9 points or to 8 pixels, whichever is smaller (the longest shipped texts need 8 at 96 DPI).
void CTaskbarNotifier::FitFontsTo(const std::wstring& text) {
    if (fullHeight_ <= 0) return;
    const int width = textRect_.right - textRect_.left;
    const int room = textRect_.bottom - textRect_.top;
    const HDC screen = ::GetDC(nullptr);
    int height = fullHeight_;
    for (const int smallest = std::max(1, std::min(fullHeight_ * 2 / 3, 8)); height > smallest; --height) {
        MakeFonts(height);
        const HGDIOBJ previous = ::SelectObject(screen, normalFont_.get());
        RECT measured{0, 0, width, room};
        ::DrawTextW(screen, text.c_str(), -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
        ::SelectObject(screen, previous);
        if (measured.bottom - measured.top <= room && measured.right - measured.left <= width) break;
    }
    ::ReleaseDC(nullptr, screen);
    if (height != fontHeight_) MakeFonts(height);
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
    FitFontsTo(text_);
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
