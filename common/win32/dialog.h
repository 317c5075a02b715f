#pragma once
// Base of the programs' modal dialogs, built from dialog resources. Messages are routed to
// named handlers; no exception crosses into the system.

#include <windows.h>

#include <exception>
#include <string>

namespace win32 {

class Dialog {
public:
    explicit Dialog(int resourceId) : resourceId_(resourceId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the code passed to End, or -1 when it cannot be shown.
    INT_PTR DoModal(HWND parent);
    HWND Handle() const { return hwnd_; }

protected:
    virtual bool OnInitDialog() { return true; }  // true: the system sets the focus
    virtual bool OnCommand(int id, int notifyCode);  // default: IDOK / IDCANCEL end the dialog
    virtual void OnTimer(UINT_PTR /*timerId*/) {}
    // Any other message; return true when handled, with the answer in `result`.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
    virtual void OnException(const std::exception& error);

    void End(INT_PTR code) { ::EndDialog(hwnd_, code); }
    void SetItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(hwnd_, id, text.c_str()); }
    std::wstring ItemText(int id) const;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int resourceId_;
    HWND hwnd_ = nullptr;
};

}  // namespace win32
