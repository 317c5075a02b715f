#include "command_windows.h"

namespace dockline {

bool SendTableToWindow(HWND from, std::wstring_view title, ULONG_PTR data, const common::DeviceTable& table,
                       UINT followUp, WPARAM followUpParam) {
    const std::wstring exactTitle(title);
    const HWND window = ::FindWindowW(nullptr, exactTitle.c_str());
    if (!window) return false;
    COPYDATASTRUCT copy{};
    copy.dwData = data;
    copy.cbData = static_cast<DWORD>(sizeof table);
    copy.lpData = const_cast<common::DeviceTable*>(&table);
    ::SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&copy));
    ::PostMessageW(window, followUp, followUpParam, 0);
    return true;
}

void CloseCommandWindows(const std::vector<std::wstring>& titles, std::chrono::milliseconds hungLimit) {
    for (const std::wstring& title : titles) {
        const HWND window = ::FindWindowW(nullptr, title.c_str());
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
