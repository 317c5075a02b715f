#pragma once
// The main window's view on its own, in a plain window of 900 x 650 pixels titled `title`, for
// the view benchmarks: texts untranslated, no device scan.

#include <windows.h>

#include <memory>

#include "copperfold/win32/copperfold_view.h"

inline std::unique_ptr<CCopperfoldView> OpenBenchView(const wchar_t* title, CCopperfoldDoc& document, HANDLE writeEvent,
                                                      copperfold::FileSystem& fileSystem, HWND& host) {
    host = ::CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 900, 650, nullptr, nullptr,
                             nullptr, nullptr);
    RECT client{};
    ::GetClientRect(host, &client);
    auto view = std::make_unique<CCopperfoldView>(CCopperfoldView::Services{
        document, [](std::wstring_view english, std::wstring_view) { return std::wstring(english); }, writeEvent,
        fileSystem, {}});
    view->Create(host, client);
    view->InitialUpdate();
    return view;
}
