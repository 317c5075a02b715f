#include "button_st.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "image_file.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr int kMaxTipWidth = 400;

// A 32-bit top-down DIB section of the given size; `bits` receives its pixels.
HBITMAP CreatePixelBitmap(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// The pixels of any bitmap as premultiplied 32-bit BGRA rows, top-down.
bool ReadPixels(HBITMAP bitmap, int width, int height, std::vector<std::uint32_t>& pixels) {
    pixels.assign(static_cast<std::size_t>(width) * height, 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    return rows == height;
}

}  // namespace

CButtonST::~CButtonST() {
    if (button_) ::RemoveWindowSubclass(button_, &CButtonST::SubclassProcedure, kSubclassId);
    if (tooltip_) ::DestroyWindow(tooltip_);
}

bool CButtonST::Attach(HWND button) {
    if (!button || button_) return false;
    button_ = button;
    return ::SetWindowSubclass(button_, &CButtonST::SubclassProcedure, kSubclassId,
                               reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

bool CButtonST::AssignBitmap(HBITMAP bitmap, COLORREF transparent) {
    bitmap_.reset();
    greyBitmap_.reset();
    bitmapWidth_ = bitmapHeight_ = 0;
    BITMAP facts{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof facts, &facts) == 0 || facts.bmWidth <= 0 || facts.bmHeight == 0) {
        return false;
    }
    const int width = facts.bmWidth;
    const int height = facts.bmHeight < 0 ? -facts.bmHeight : facts.bmHeight;
    std::vector<std::uint32_t> pixels;
    if (!ReadPixels(bitmap, width, height, pixels)) return false;
    // Without an alpha channel every pixel is opaque.
    if (facts.bmBitsPixel != 32) {
        for (std::uint32_t& pixel : pixels) pixel |= 0xFF000000u;
    }
    if (transparent != CLR_INVALID) {
        const std::uint32_t key = GetRValue(transparent) << 16 | GetGValue(transparent) << 8 | GetBValue(transparent);
        for (std::uint32_t& pixel : pixels) {
            if ((pixel & 0xFFFFFFu) == key) pixel = 0;
        }
    }

    void* bits = nullptr;
    void* greyBits = nullptr;
    win32::UniqueGdiObject copy(CreatePixelBitmap(width, height, &bits));
    win32::UniqueGdiObject grey(CreatePixelBitmap(width, height, &greyBits));
    if (!copy || !grey || !bits || !greyBits) return false;
    std::memcpy(bits, pixels.data(), pixels.size() * 4);
    for (std::uint32_t& pixel : pixels) {
        const std::uint32_t b = pixel & 0xFF, g = (pixel >> 8) & 0xFF, r = (pixel >> 16) & 0xFF, a = pixel >> 24;
        const std::uint32_t luma = (r * 30 + g * 59 + b * 11) / 100;
        const std::uint32_t light = std::min<std::uint32_t>(a, luma / 2 + a / 3);  // washed out, stays premultiplied
        pixel = a << 24 | light << 16 | light << 8 | light;
    }
    std::memcpy(greyBits, pixels.data(), pixels.size() * 4);
    bitmap_ = std::move(copy);
    greyBitmap_ = std::move(grey);
    bitmapWidth_ = width;
    bitmapHeight_ = height;
    if (button_) ::InvalidateRect(button_, nullptr, TRUE);
    return true;
}

void CButtonST::BrightenHoverColor(int amount) {
    const int r = GetRValue(hoverBackground_), g = GetGValue(hoverBackground_), b = GetBValue(hoverBackground_);
    const int step = std::max(0, std::min({amount, 255 - r, 255 - g, 255 - b}));
    hoverBackground_ = RGB(r + step, g + step, b + step);
    if (button_) ::InvalidateRect(button_, nullptr, TRUE);
}

void CButtonST::AssignTooltip(const std::wstring& text) {
    if (!button_) return;
    if (!tooltip_) {
        tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, button_, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr);
        if (!tooltip_) return;
        ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    }
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;  // every message to the button passes the tooltip's relay
    tool.hwnd = button_;
    tool.uId = 1;
    ::GetClientRect(button_, &tool.rect);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    if (::SendMessageW(tooltip_, TTM_GETTOOLCOUNT, 0, 0) == 0) {
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    } else {
        ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
}

void CButtonST::FitSizeToBitmap() {
    if (!button_ || !bitmap_) return;
    ::SetWindowPos(button_, nullptr, 0, 0, bitmapWidth_, bitmapHeight_, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    imageOrigin_ = {0, 0};
    if (tooltip_) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = button_;
        tool.uId = 1;
        ::GetClientRect(button_, &tool.rect);
        ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CButtonST::SetHovered(bool hovered) {
    if (hovered_ == hovered) return;
    hovered_ = hovered;
    ::InvalidateRect(button_, nullptr, TRUE);
}

void CButtonST::Draw(const DRAWITEMSTRUCT& item) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const COLORREF background = (hovered_ || pressed) ? hoverBackground_ : focused ? focusBackground_ : normalBackground_;
    win32::UniqueGdiObject brush(::CreateSolidBrush(background));
    ::FillRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(brush.get()));
    if (drawBorder_) {
        RECT edge = item.rcItem;
        ::DrawEdge(item.hDC, &edge, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }
    DrawBitmap(item.hDC, item.rcItem, pressed, disabled);
}

void CButtonST::DrawBitmap(HDC dc, const RECT& area, bool pressed, bool disabled) const {
    if (!bitmap_) return;
    const int areaWidth = area.right - area.left - imageOrigin_.x * 2;
    const int areaHeight = area.bottom - area.top - imageOrigin_.y * 2;
    int x = area.left + imageOrigin_.x + (areaWidth - bitmapWidth_) / 2;
    int y = area.top + imageOrigin_.y + (areaHeight - bitmapHeight_) / 2;
    if (pressed) {
        x += pressedOffset_.x;
        y += pressedOffset_.y;
    }
    const HGDIOBJ picture = disabled ? greyBitmap_.get() : bitmap_.get();
    dockline::DrawAlphaBitmap(dc, static_cast<HBITMAP>(picture), x, y, bitmapWidth_, bitmapHeight_);
}

LRESULT CButtonST::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE: {
        POINT cursor{};
        ::GetCursorPos(&cursor);
        if (::WindowFromPoint(cursor) == button_) {
            if (!hovered_) {
                SetHovered(true);
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, button_, 0};
                ::TrackMouseEvent(&track);
            }
        } else {
            SetHovered(false);
        }
        break;
    }
    case WM_MOUSELEAVE:
    case WM_CANCELMODE:
    case WM_KILLFOCUS:
        SetHovered(false);
        break;
    case WM_ENABLE:
        if (!wParam) {
            SetHovered(false);
            if (::GetFocus() == button_) {
                ::SendMessageW(::GetParent(button_), WM_NEXTDLGCTL, 0, FALSE);
            }
        }
        break;
    case WM_LBUTTONDBLCLK:
        // A quick second click is a click of its own.
        return ::DefSubclassProc(button_, WM_LBUTTONDOWN, wParam, lParam);
    case WM_GETDLGCODE: {
        const bool isDefault = (::GetWindowLongPtrW(button_, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
        return DLGC_BUTTON | (isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    }
    default:
        break;
    }
    return ::DefSubclassProc(button_, message, wParam, lParam);
}

LRESULT CALLBACK CButtonST::SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR data) {
    auto* self = reinterpret_cast<CButtonST*>(data);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &CButtonST::SubclassProcedure, kSubclassId);
        self->button_ = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}
