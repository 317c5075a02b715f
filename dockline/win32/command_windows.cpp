#include "command_windows.h"

namespace dockline {

namespace {

// The top-level window titled exactly `title`; none for an empty title, which is the title of
// every untitled window of every program.
HWND FindCommandWindow(const std::wstring& title) {
    if (title.empty()) return nullptr;
    return ::FindWindowW(nullptr, title.c_str());
}

}  // namespace

bool SendTableToWindow(HWND from, std::wstring_view title, ULONG_PTR data, const common::DeviceTable& table,
                       UINT followUp, WPARAM followUpParam, std::chrono::milliseconds answerLimit) {
    const std::wstring exactTitle(title);
    const HWND window = FindCommandWindow(exactTitle);
    if (!window) return false;
    COPYDATASTRUCT copy{};
    copy.dwData = data;
    copy.cbData = static_cast<DWORD>(sizeof table);
    copy.lpData = const_cast<common::DeviceTable*>(&table);
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&copy),
                              SMTO_ABORTIFHUNG, static_cast<UINT>(answerLimit.count()), &answer) == 0) {
        // Hung, busy beyond the limit or gone: this window is skipped, the bar goes on.
        ::OutputDebugStringW((L"Dockline: the window \"" + exactTitle + L"\" did not take the device table in time\n").c_str());
        return false;
    }
    ::PostMessageW(window, followUp, followUpParam, 0);
    return true;
}

bool WindowIsBusy(std::wstring_view title, std::chrono::milliseconds answerLimit) {
    const HWND window = FindCommandWindow(std::wstring(title));
    if (!window) return false;
    DWORD_PTR busy = 0;
    return ::SendMessageTimeoutW(window, kBusyQueryMessage, kBusyQueryOnlyAsk, 0, SMTO_ABORTIFHUNG,
                                 static_cast<UINT>(answerLimit.count()), &busy) != 0 &&
           busy != 0;
}

void CloseCommandWindows(const std::vector<std::wstring>& titles, std::chrono::milliseconds hungLimit) {
    for (const std::wstring& title : titles) {
        const HWND window = FindCommandWindow(title);
        if (!window) continue;
        for (;;) {
            DWORD_PTR busy = 0;
            const LRESULT answered = ::SendMessageTimeoutW(window, kBusyQueryMessage, 0, 0, SMTO_ABORTIFHUNG,
                                                           static_cast<UINT>(hungLimit.count()), &busy);
            if (answered == 0 || busy == 0) break;  // not answering, or done
            ::Sleep(200);
        }
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

}  // namespace dockline
