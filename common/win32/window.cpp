#include "window.h"

#include <string>
#include <utility>

#include "common/core/text_codec.h"

namespace win32 {

namespace {

// The window Create is making on this thread, until its WM_NCCREATE arrives: the one object
// such a message may name.
thread_local Window* windowBeingCreated = nullptr;

}  // namespace

Window::~Window() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

bool Window::Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                    int x, int y, int width, int height, HWND parent, HMENU menu, HICON icon) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!::GetClassInfoExW(instance, className, &existing)) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Window::Procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = className;
        windowClass.hIcon = icon;
        windowClass.hIconSm = icon;
        if (!::RegisterClassExW(&windowClass)) return false;
    }
    Window* const outer = std::exchange(windowBeingCreated, this);
    const HWND created = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menu,
                                           instance, this);
    windowBeingCreated = outer;
    return created != nullptr;
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Window::OnException(const std::exception& error) {
    ShowError(hwnd_, common::Utf8ToWide(error.what()).c_str(), L"Error Message");
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        // Any program can send this message, and the system hands on its record's pointer as
        // it is: only the creation's own, naming the object being created, attaches an object.
        if (SentByAnotherThread()) return FALSE;  // the record's address is not ours to follow
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = creation ? static_cast<Window*>(creation->lpCreateParams) : nullptr;
        if (self == nullptr || self != windowBeingCreated || ::GetWindowLongPtrW(hwnd, GWLP_USERDATA) != 0) {
            return FALSE;
        }
        windowBeingCreated = nullptr;
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (const std::exception& error) {
        self->OnException(error);
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    } catch (...) {
        result = ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->OnFinalDestroy();
    }
    return result;
}

bool SentByAnotherThread() {
    return (::InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_NOTIFY | ISMEX_CALLBACK)) != 0;
}

void ShowError(HWND owner, const wchar_t* text, const wchar_t* caption) {
    ::MessageBoxW(owner, text, caption, MB_OK | MB_ICONSTOP);
}

}  // namespace win32
