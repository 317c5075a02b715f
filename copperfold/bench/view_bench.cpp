// The drive tree's cost on big folders under Wine: the first expansion of a folder of N files
// (default 10,000), then 1,000 watcher changes applied to it (files added, modified and
// removed on disk, each handed to the view as the watcher hands it over). Prints seconds.
//   view_bench [FILES]
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <memory>
#include <string>

#include "copperfold/core/copperfold_doc.h"
#include "common/core/ini_file.h"
#include "copperfold/core/directory_change.h"
#include "copperfold/win32/copperfold_view.h"
#include "bench_view_host.h"
#include "copperfold/win32/win32_file_system.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Touch(const std::wstring& path, const char* text) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    ::CloseHandle(file);
}

HTREEITEM Child(const CColumnTreeCtrl& tree, HTREEITEM parent, const std::wstring& name) {
    const HTREEITEM first = parent ? TreeView_GetChild(tree.Tree(), parent) : TreeView_GetRoot(tree.Tree());
    for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(tree.Tree(), item)) {
        if (tree.GetItemText(item, 0) == name) return item;
    }
    return nullptr;
}

std::wstring FileName(int i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"file%05d.txt", i);
    return name;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int files = argc > 1 ? std::max(1, _wtoi(argv[1])) : 10000;
    constexpr int kChanges = 1000;
    ::InitCommonControls();
    const std::wstring base = L"C:\\cfbench-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring big = base + L"\\big";
    ::CreateDirectoryW(base.c_str(), nullptr);
    ::CreateDirectoryW(big.c_str(), nullptr);
    for (int i = 0; i < files; ++i) Touch(big + L"\\" + FileName(i), "some bytes");

    CIniFile ini(base + L"\\Copperfold.ini");
    CCopperfoldDoc document(&ini, L"BENCH");
    const HANDLE writeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    copperfold::Win32FileSystem fileSystem;
    HWND host = nullptr;
    auto view = OpenBenchView(L"view bench", document, writeEvent, fileSystem, host);
    view->Watcher().Stop();  // the changes below reach the view from this program alone

    CColumnTreeCtrl& tree = view->LocalTree();
    const HTREEITEM root = Child(tree, nullptr, L"C:\\");
    TreeView_Expand(tree.Tree(), root, TVE_EXPAND);
    const HTREEITEM baseItem = Child(tree, root, base.substr(3));
    TreeView_Expand(tree.Tree(), baseItem, TVE_EXPAND);
    const HTREEITEM bigItem = Child(tree, baseItem, L"big");
    TreeView_SelectItem(tree.Tree(), bigItem);

    auto start = Clock::now();
    TreeView_Expand(tree.Tree(), bigItem, TVE_EXPAND);
    ::UpdateWindow(host);
    const double expandSeconds = Seconds(start);
    const UINT listed = TreeView_GetCount(tree.Tree());

    // A third of the changes add files, a third modify, a third remove.
    std::vector<CNotifyDirCheck::ChangeRecord> changes;
    for (int i = 0; i < kChanges; ++i) {
        const int kind = i % 3;
        const std::wstring name = kind == 0 ? L"new" + FileName(i) : FileName(i);
        const std::wstring path = big + L"\\" + name;
        if (kind == 0) Touch(path, "new");
        if (kind == 1) Touch(path, "modified bytes");
        if (kind == 2) ::DeleteFileW(path.c_str());
        changes.push_back({path, kind == 0 ? copperfold::kActionAdded
                                 : kind == 1 ? copperfold::kActionModified
                                             : copperfold::kActionRemoved});
    }
    start = Clock::now();
    for (const auto& change : changes) {
        view->OnFolderChanged(change);
    }
    // The view brings the scroll bars up to date shortly after a burst of changes: wait for it.
    const auto waitStart = Clock::now();
    while ((::GetWindowLongPtrW(tree.Tree(), GWL_STYLE) & TVS_NOSCROLL) && Seconds(waitStart) < 10) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
    ::UpdateWindow(host);
    const double changeSeconds = Seconds(start);
    const int children = [&] {
        int count = 0;
        for (HTREEITEM item = TreeView_GetChild(tree.Tree(), bigItem); item; item = TreeView_GetNextSibling(tree.Tree(), item)) ++count;
        return count;
    }();

    SCROLLINFO scroll{};
    scroll.cbSize = sizeof scroll;
    scroll.fMask = SIF_RANGE;
    ::GetScrollInfo(tree.Tree(), SB_VERT, &scroll);
    const int scrollRows = scroll.nMax - scroll.nMin + 1;
    std::printf("expanding a folder of %d files: %.3f s (goal under 1 s; %u items in the tree)\n", files,
                expandSeconds, listed);
    std::printf("applying %d watcher changes in it: %.3f s (goal under 1 s; %d entries after)\n", kChanges,
                changeSeconds, children);
    view.reset();
    ::DestroyWindow(host);
    ::CloseHandle(writeEvent);
    for (int i = 0; i < files; ++i) ::DeleteFileW((big + L"\\" + FileName(i)).c_str());
    for (int i = 0; i < kChanges; i += 3) ::DeleteFileW((big + L"\\new" + FileName(i)).c_str());
    ::RemoveDirectoryW(big.c_str());
    ::DeleteFileW((base + L"\\Copperfold.ini").c_str());
    ::RemoveDirectoryW(base.c_str());
    const bool countRight = children == files + (kChanges + 2) / 3 - kChanges / 3;
    if (!countRight) std::fprintf(stderr, "unexpected entry count %d\n", children);
    const bool scrollRight = scrollRows >= children;
    if (!scrollRight) std::fprintf(stderr, "the scroll bar covers %d rows, not all %d entries\n", scrollRows, children);
    const bool sound = countRight && scrollRight;
    return sound ? 0 : 1;
}
