#pragma once
// Windows that stand in for the programs the bar talks to, each on a thread of its own: they
// record the copy-data messages and the WM_USER messages they receive, answer the busy query
// as told, or stop answering altogether.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace dockline_test {

struct ReceivedCopy {
    ULONG_PTR data;
    std::vector<std::uint8_t> bytes;
};

class ProgramWindow {
    static constexpr UINT kReadCopies = WM_APP + 1;
    static constexpr UINT kReadMessages = WM_APP + 2;

public:
    // Where the window's thread stops handling messages, until the window object goes.
    enum class Hang { Never, AfterFirstQuery, OnCopyData };

    // `busyAnswers`: how many busy queries are answered 1 before 0.
    explicit ProgramWindow(std::wstring title, int busyAnswers = 0, Hang hang = Hang::Never)
        : title_(std::move(title)), busyAnswers_(busyAnswers), hang_(hang) {
        thread_ = std::thread([this] { Run(); });
        while (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~ProgramWindow() {
        release_ = true;
        if (window_) ::PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    HWND Handle() const { return window_; }
    // What the window received so far, read on the window's own thread.
    std::vector<ReceivedCopy> Copies() {
        std::vector<ReceivedCopy> copies;
        ::SendMessageW(window_, kReadCopies, 0, reinterpret_cast<LPARAM>(&copies));
        return copies;
    }
    // The WM_USER-based messages received, as (message, wParam), in order.
    std::vector<std::pair<UINT, WPARAM>> Messages() {
        std::vector<std::pair<UINT, WPARAM>> messages;
        ::SendMessageW(window_, kReadMessages, 0, reinterpret_cast<LPARAM>(&messages));
        return messages;
    }
    int BusyQueries() const { return busyQueries_; }
    WPARAM LastBusyQueryParam() const { return lastBusyQueryParam_; }
    bool CloseReceived() const { return closed_; }
    // True once the thread hangs (the window then answers nothing until it is destroyed).
    bool Hung() const { return hung_; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ProgramWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_NCCREATE) {
            self = static_cast<ProgramWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        if (self) {
            LRESULT result = 0;
            if (self->Handle(hwnd, message, wParam, lParam, result)) return result;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    bool Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        if (message == kReadCopies) {
            *reinterpret_cast<std::vector<ReceivedCopy>*>(lParam) = copies_;
            return true;
        }
        if (message == kReadMessages) {
            *reinterpret_cast<std::vector<std::pair<UINT, WPARAM>>*>(lParam) = messages_;
            return true;
        }
        if (message == WM_COPYDATA) {
            if (hang_ == Hang::OnCopyData) HangUntilReleased();
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const auto* bytes = static_cast<const std::uint8_t*>(copy->lpData);
            copies_.push_back({copy->dwData, std::vector<std::uint8_t>(bytes, bytes + copy->cbData)});
            result = TRUE;
            return true;
        }
        if (message == WM_USER + 6) {
            ++busyQueries_;
            lastBusyQueryParam_ = wParam;
            if (hang_ == Hang::AfterFirstQuery) HangUntilReleased();
            result = busyAnswers_-- > 0 ? 1 : 0;
            return true;
        }
        if (message >= WM_USER && message < WM_USER + 0x100) {
            messages_.emplace_back(message, wParam);
            return true;
        }
        if (message == WM_CLOSE) {
            closed_ = true;
            if (release_) ::DestroyWindow(hwnd);
            return true;
        }
        if (message == WM_DESTROY) {
            ::PostQuitMessage(0);
            return true;
        }
        return false;
    }
    void HangUntilReleased() {
        hung_ = true;
        while (!release_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    void Run() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &ProgramWindow::Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"DocklineTestProgram";
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, L"DocklineTestProgram", title_.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                    nullptr, ::GetModuleHandleW(nullptr), this);
        ready_ = true;
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    }

    std::wstring title_;
    std::atomic<int> busyAnswers_;
    Hang hang_;
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> ready_{false};
    std::atomic<bool> release_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> hung_{false};
    std::atomic<int> busyQueries_{0};
    std::atomic<WPARAM> lastBusyQueryParam_{0};
    std::vector<ReceivedCopy> copies_;
    std::vector<std::pair<UINT, WPARAM>> messages_;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

}  // namespace dockline_test
