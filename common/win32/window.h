#pragma once
// Base of the programs' windows: binds the object to its window at creation and routes every
// message to HandleMessage. No exception crosses into the system: one that reaches the window
// procedure is passed to OnException and the message is answered with its default.

#include <windows.h>

#include <exception>

namespace win32 {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }

protected:
    // Registers the window class on first use and creates the window.
    bool Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int x,
                int y, int width, int height, HWND parent, HMENU menu, HICON icon = nullptr);

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnException(const std::exception& error);
    // Called after WM_NCDESTROY, when the window handle is no longer valid.
    virtual void OnFinalDestroy() {}

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};

// Shows a message box with one OK button and the stop icon.
void ShowError(HWND owner, const wchar_t* text, const wchar_t* caption);

// True while the message being handled was sent by another thread or process. Messages whose
// lParam is an address the system does not carry across (WM_NOTIFY, and the creation
// parameter of WM_INITDIALOG and WM_NCCREATE) are honoured only when this is false: then they
// come from this thread's own controls and calls (the system refuses to post them).
bool SentByAnotherThread();

}  // namespace win32
