#include "wnd_shadow.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

#include "common/win32/unique_handle.h"

namespace {

constexpr wchar_t kShadowClass[] = L"QuillShadowWnd";
constexpr UINT_PTR kHookId = 0x5348;
constexpr UINT kCompositionChanged = 0x031E;  // WM_DWMCOMPOSITIONCHANGED

using UpdateLayeredWindowFunction = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
using CompositionEnabledFunction = HRESULT(WINAPI*)(BOOL*);

struct ClassState {
    bool prepared = false;
    UpdateLayeredWindowFunction updateLayeredWindow = nullptr;
    CompositionEnabledFunction compositionEnabled = nullptr;
    HINSTANCE instance = nullptr;
};

ClassState& State() {
    static ClassState state;
    return state;
}

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The parent's outline row by row: the first and one past the last pixel inside its region.
std::vector<dockline::Span> OutlineOf(HWND parent, int width, int height) {
    std::vector<dockline::Span> rows(static_cast<std::size_t>(height), dockline::Span{0, width});
    win32::UniqueGdiObject region(::CreateRectRgn(0, 0, 0, 0));
    if (!region || ::GetWindowRgn(parent, static_cast<HRGN>(region.get())) == ERROR) return rows;
    const HRGN shape = static_cast<HRGN>(region.get());
    for (int y = 0; y < height; ++y) {
        int left = 0;
        while (left < width && !::PtInRegion(shape, left, y)) ++left;
        int right = width;
        while (right > left && !::PtInRegion(shape, right - 1, y)) --right;
        rows[static_cast<std::size_t>(y)] = left < width ? dockline::Span{left, right} : dockline::Span{width, 0};
    }
    return rows;
}

}  // namespace

bool CWndShadow::PrepareShadows(HINSTANCE instance) {
    ClassState& state = State();
    if (state.prepared) return false;
    state.prepared = true;
    state.updateLayeredWindow = Lookup<UpdateLayeredWindowFunction>(::GetModuleHandleW(L"USER32.DLL"),
                                                                    "UpdateLayeredWindow");
    if (!state.updateLayeredWindow) return false;
    // Kept loaded for the life of the process, as the composition query may come at any time.
    if (const HMODULE dwm = ::LoadLibraryW(L"dwmapi.dll")) {
        state.compositionEnabled = Lookup<CompositionEnabledFunction>(dwm, "DwmIsCompositionEnabled");
    }
    state.instance = instance;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kShadowClass;
    ::RegisterClassExW(&windowClass);
    return true;
}

bool CWndShadow::CompositionOn() {
    BOOL on = FALSE;
    const auto query = State().compositionEnabled;
    return query && SUCCEEDED(query(&on)) && on;
}

CWndShadow::~CWndShadow() {
    if (parent_) ::RemoveWindowSubclass(parent_, &CWndShadow::Hook, kHookId);
    if (shadow_) ::DestroyWindow(shadow_);
}

void CWndShadow::Create(HWND parent) {
    if (!State().updateLayeredWindow || parent_) return;
    parent_ = parent;
    shadow_ = ::CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, kShadowClass, nullptr, WS_POPUPWINDOW, CW_USEDEFAULT,
                                0, 0, 0, parent, nullptr, State().instance, nullptr);
    status_ = kEnabled;
    if (CompositionOn()) status_ |= kComposition;
    Show();
    ::SetWindowSubclass(parent, &CWndShadow::Hook, kHookId, reinterpret_cast<DWORD_PTR>(this));
}

void CWndShadow::Show(bool showing) {
    status_ &= kEnabled | kComposition;
    if ((status_ & kEnabled) && !(status_ & kComposition) && (showing || ::IsWindowVisible(parent_))) {
        status_ |= kParentVisible;
        if (!::IsZoomed(parent_) && !::IsIconic(parent_)) status_ |= kVisible;
    }
    if (status_ & kVisible) {
        ::ShowWindow(shadow_, SW_SHOWNOACTIVATE);
        Redraw();
    } else {
        ::ShowWindow(shadow_, SW_HIDE);
    }
}

void CWndShadow::MoveBeside(const RECT& parentRect, UINT extraFlags) {
    ::SetWindowPos(shadow_, nullptr, parentRect.left + style_.xOffset - style_.size,
                   parentRect.top + style_.yOffset - style_.size, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | extraFlags);
}

void CWndShadow::Redraw() {
    RECT rect{};
    ::GetWindowRect(parent_, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return;
    const dockline::ShadowBitmap picture = dockline::MakeShadow(width, height, OutlineOf(parent_, width, height), style_);
    if (picture.width <= 0 || picture.height <= 0) return;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return;
    std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(std::uint32_t));

    const HDC memory = ::CreateCompatibleDC(nullptr);
    const HGDIOBJ previous = ::SelectObject(memory, bitmap.get());
    POINT position{rect.left + style_.xOffset - style_.size, rect.top + style_.yOffset - style_.size};
    SIZE size{picture.width, picture.height};
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::SetWindowPos(shadow_, nullptr, position.x, position.y, size.cx, size.cy,
                   SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOREDRAW);
    State().updateLayeredWindow(shadow_, nullptr, &position, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
}

LRESULT CWndShadow::OnParentMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const bool active = (status_ & kEnabled) && !(status_ & kComposition);
    switch (message) {
    case WM_DESTROY:
        if (shadow_) ::DestroyWindow(shadow_);
        shadow_ = nullptr;
        break;
    case WM_MOVE:
        if (status_ & kVisible) {
            RECT rect{};
            ::GetWindowRect(parent_, &rect);
            MoveBeside(rect, 0);
        }
        break;
    case WM_SIZE:
        if (!active) break;
        if (wParam == SIZE_MAXIMIZED || wParam == SIZE_MINIMIZED) {
            ::ShowWindow(shadow_, SW_HIDE);
            status_ &= static_cast<unsigned char>(~kVisible);
        } else if (::IsWindowVisible(parent_)) {
            status_ |= kParentVisible;
            if (!(status_ & kVisible)) {
                status_ |= kVisible;
                Redraw();
                ::ShowWindow(shadow_, SW_SHOWNOACTIVATE);
                updatePending_ = true;
            } else if (LOWORD(lParam) > LOWORD(lastSize_) || HIWORD(lParam) > HIWORD(lastSize_)) {
                updatePending_ = true;  // drawn at the next paint, once the new region exists
            } else {
                Redraw();
            }
        }
        lastSize_ = lParam;
        break;
    case WM_PAINT:
        if (updatePending_) {
            Redraw();
            updatePending_ = false;
        }
        break;
    case WM_SHOWWINDOW:
        if (active) {
            const LRESULT result = ::DefSubclassProc(parent_, message, wParam, lParam);
            if (wParam) {
                updatePending_ = true;
                Show(true);
            } else {
                ::ShowWindow(shadow_, SW_HIDE);
                status_ &= static_cast<unsigned char>(~(kVisible | kParentVisible));
            }
            return result;
        }
        break;
    case WM_EXITSIZEMOVE:
        if (status_ & kVisible) Redraw();
        break;
    case kCompositionChanged:
        if (CompositionOn()) {
            status_ |= kComposition;
        } else {
            status_ &= static_cast<unsigned char>(~kComposition);
        }
        Show();
        break;
    case WM_NCDESTROY: {
        const HWND parent = parent_;
        ::RemoveWindowSubclass(parent, &CWndShadow::Hook, kHookId);
        parent_ = nullptr;
        return ::DefSubclassProc(parent, message, wParam, lParam);
    }
    default:
        break;
    }
    return ::DefSubclassProc(parent_, message, wParam, lParam);
}

LRESULT CALLBACK CWndShadow::Hook(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    return reinterpret_cast<CWndShadow*>(data)->OnParentMessage(message, wParam, lParam);
}
