#pragma once
// A receiver of the directory watcher's change messages for the tests: a message-only window
// on the test thread that copies each record the watcher has in flight and then takes it, or,
// while held, keeps the watcher waiting until Release. Messages that name no record in flight
// are counted as foreign.

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "copperfold/win32/notify_dir_check.h"

namespace testing_support {

struct ReceivedChange {
    std::wstring path;
    std::uint32_t action;
    bool operator==(const ReceivedChange&) const = default;
};

class WatchReceiver {
public:
    WatchReceiver() : writeEvent(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WatchReceiver::Procedure;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CopperfoldWatchReceiver";
        ::RegisterClassW(&windowClass);  // fails harmlessly when already registered
        window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   windowClass.hInstance, nullptr);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~WatchReceiver() {
        ::DestroyWindow(window);
        ::CloseHandle(writeEvent);
    }
    WatchReceiver(const WatchReceiver&) = delete;
    WatchReceiver& operator=(const WatchReceiver&) = delete;

    HWND Window() const { return window; }
    HANDLE WriteEvent() const { return writeEvent; }
    void SetWatcher(CNotifyDirCheck* watched) { watcher = watched; }

    // While held, changes are recorded but not taken.
    void Hold() { held = true; }
    void Release() {
        held = false;
        if (watcher && heldCookie) watcher->ReleaseChange(*heldCookie);
        heldCookie.reset();
    }
    std::optional<LPARAM> HeldCookie() const { return heldCookie; }

    // Dispatches this thread's messages until `done` holds or `limit` has passed.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        }
        return true;
    }
    // Dispatches for a while, so that whatever is still coming arrives.
    void PumpFor(std::chrono::milliseconds period) {
        PumpUntil([] { return false; }, period);
    }

    bool Received(const ReceivedChange& change) const {
        for (const auto& seen : changes) {
            if (seen == change) return true;
        }
        return false;
    }
    std::size_t CountFor(const std::wstring& path) const {
        std::size_t count = 0;
        for (const auto& seen : changes) count += seen.path == path;
        return count;
    }

    std::vector<ReceivedChange> changes;
    int wrongWParam = 0;
    int foreign = 0;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<WatchReceiver*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && message == CNotifyDirCheck::kChangeMessage) {
            const auto record = self->watcher ? self->watcher->ChangeInFlight(lParam) : std::nullopt;
            if (!record) {
                ++self->foreign;
                return 0;
            }
            self->changes.push_back({record->path, record->action});
            self->wrongWParam += reinterpret_cast<HWND>(wParam) != hwnd;
            if (self->held) {
                self->heldCookie = lParam;
            } else {
                self->watcher->ReleaseChange(lParam);
            }
            return 0;
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    HWND window = nullptr;
    HANDLE writeEvent;
    CNotifyDirCheck* watcher = nullptr;
    bool held = false;
    std::optional<LPARAM> heldCookie;
};

}  // namespace testing_support
