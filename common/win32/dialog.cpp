#include "dialog.h"

#include <utility>

#include "common/core/text_codec.h"
#include "window.h"

namespace win32 {

namespace {

// The dialog DoModal is creating on this thread, until its WM_INITDIALOG arrives: the one
// object such a message may name.
thread_local Dialog* dialogBeingCreated = nullptr;

}  // namespace

INT_PTR Dialog::DoModal(HWND parent) {
    Dialog* const outer = std::exchange(dialogBeingCreated, this);
    const INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId_), parent,
                                             &Dialog::Procedure, reinterpret_cast<LPARAM>(this));
    dialogBeingCreated = outer;
    return result;
}

bool Dialog::OnCommand(int id, int /*notifyCode*/) {
    if (id == IDOK || id == IDCANCEL) {
        End(id);
        return true;
    }
    return false;
}

void Dialog::OnException(const std::exception& error) {
    ShowError(hwnd_, common::Utf8ToWide(error.what()).c_str(), L"Error Message");
}

std::wstring Dialog::ItemText(int id) const {
    const HWND item = ::GetDlgItem(hwnd_, id);
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    default: {
        INT_PTR result = 0;
        if (OnMessage(message, wParam, lParam, result)) {
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return FALSE;
    }
    }
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        // Any program can send this message, with anything in lParam: only the dialog manager's
        // own, naming the object being created, sets the dialog up, and only once.
        auto* self = reinterpret_cast<Dialog*>(lParam);
        if (SentByAnotherThread() || self == nullptr || self != dialogBeingCreated ||
            ::GetWindowLongPtrW(hwnd, DWLP_USER) != 0) {
            return FALSE;
        }
        dialogBeingCreated = nullptr;
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    try {
        return self->Dispatch(message, wParam, lParam);
    } catch (const std::exception& error) {
        self->OnException(error);
    } catch (...) {
    }
    return FALSE;
}

}  // namespace win32
