// The drive tree during a burst of changes under Wine, as a backup onto a shown drive makes
// them: FILES files (default 20,000) are created one after another in the root of DRIVE
// (default L:, a drive the script maps to an empty host folder) while the tree shows it and the
// directory watcher reports each file. A second thread samples the tree every 10 ms: its
// pixels (blank when every sampled point shows the background) and its vertical scroll range
// (which grows only when the tree lays out the rows it was given). Prints seconds.
//   view_burst_bench [FILES] [DRIVE]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "common/core/ini_file.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/win32/copperfold_view.h"
#include "bench_view_host.h"
#include "copperfold/win32/win32_file_system.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

std::wstring FileName(int i) {
    wchar_t name[32];
    std::swprintf(name, 32, L"burst%05d.txt", i);
    return name;
}

bool Touch(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    ::WriteFile(file, "backed up", 9, &written, nullptr);
    ::CloseHandle(file);
    return true;
}

void Pump(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    do {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    } while (Clock::now() < end);
}

// What the sampling thread saw.
struct Samples {
    std::atomic<bool> stop{false};
    std::atomic<int> created{0};           // files the writer has made so far
    std::atomic<bool> writerDone{false};
    Clock::duration longestBlank{};        // every sampled point the background colour
    Clock::duration longestStall{};        // the scroll range standing still while the tree is behind
    int samples = 0;
    int blankSamples = 0;
};

// Every 10 ms: whether the tree's client area is blank, and whether its scroll range moved.
void Sample(HWND tree, Samples& seen) {
    const COLORREF background = ::GetSysColor(COLOR_WINDOW);
    Clock::time_point blankSince{};
    bool blank = false;
    int lastRange = -1;
    int createdAtLastMove = 0;
    Clock::time_point lastMove = Clock::now();
    while (!seen.stop.load()) {
        const auto now = Clock::now();
        RECT client{};
        ::GetClientRect(tree, &client);
        bool allBackground = client.right > 0 && client.bottom > 0;
        if (const HDC dc = ::GetDC(tree)) {
            for (int row = 1; row <= 12 && allBackground; ++row) {
                for (int column = 1; column <= 8 && allBackground; ++column) {
                    const COLORREF colour =
                        ::GetPixel(dc, client.right * column / 10, client.bottom * row / 14);
                    if (colour != CLR_INVALID && colour != background) allBackground = false;
                }
            }
            ::ReleaseDC(tree, dc);
        }
        ++seen.samples;
        if (allBackground) {
            ++seen.blankSamples;
            if (!blank) blankSince = now;
            seen.longestBlank = std::max(seen.longestBlank, now - blankSince);
        }
        blank = allBackground;

        SCROLLINFO scroll{};
        scroll.cbSize = sizeof scroll;
        scroll.fMask = SIF_RANGE;
        const int range = ::GetScrollInfo(tree, SB_VERT, &scroll) ? scroll.nMax : 0;
        const int created = seen.created.load();
        if (range != lastRange) {
            lastRange = range;
            lastMove = now;
            createdAtLastMove = created;
        } else if (created > createdAtLastMove) {
            // Files came since the tree last laid out its rows: it is behind for this long.
            seen.longestStall = std::max(seen.longestStall, now - lastMove);
        }
        std::this_thread::sleep_for(10ms);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int files = argc > 1 ? std::max(1, _wtoi(argv[1])) : 20000;
    const wchar_t letter = argc > 2 ? static_cast<wchar_t>(std::towupper(argv[2][0])) : L'L';
    const std::wstring root = std::wstring(1, letter) + L":\\";
    if (!(::GetLogicalDrives() & (1u << (letter - L'A')))) {
        std::fprintf(stderr, "drive %lc: is not mapped\n", static_cast<wint_t>(letter));
        return 2;
    }
    for (int i = 0; i < files; ++i) ::DeleteFileW((root + FileName(i)).c_str());
    const std::wstring seed = root + L"0-first.txt";  // the drive shows one entry before the burst
    Touch(seed);
    ::InitCommonControls();

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    CIniFile ini(std::wstring(temp) + L"view-burst-bench.ini");
    CCopperfoldDoc document(&ini, L"BENCH");
    const HANDLE writeEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    copperfold::Win32FileSystem fileSystem;
    HWND host = nullptr;
    auto view = OpenBenchView(L"view burst bench", document, writeEvent, fileSystem, host);

    CColumnTreeCtrl& tree = view->LocalTree();
    HTREEITEM driveItem = nullptr;
    for (HTREEITEM item = TreeView_GetRoot(tree.Tree()); item; item = TreeView_GetNextSibling(tree.Tree(), item)) {
        if (tree.GetItemText(item, 0) == root) driveItem = item;
    }
    if (!driveItem) {
        std::fprintf(stderr, "%ls is not in the local tree\n", root.c_str());
        return 2;
    }
    TreeView_Expand(tree.Tree(), driveItem, TVE_EXPAND);
    TreeView_SelectItem(tree.Tree(), driveItem);
    Pump(300ms);
    const UINT before = TreeView_GetCount(tree.Tree());

    Samples seen;
    std::thread sampler(Sample, tree.Tree(), std::ref(seen));
    Clock::time_point lastCreated{};
    const auto start = Clock::now();
    std::thread writer([&] {
        for (int i = 0; i < files; ++i) {
            Touch(root + FileName(i));
            seen.created.store(i + 1);
        }
        lastCreated = Clock::now();
        seen.writerDone.store(true);
    });
    // The program's message loop until the tree holds every file, or long after the last one.
    Clock::time_point complete{};
    while (true) {
        Pump(20ms);
        if (TreeView_GetCount(tree.Tree()) >= before + static_cast<UINT>(files)) {
            complete = Clock::now();
            break;
        }
        if (seen.writerDone.load() && Clock::now() - lastCreated > 600s) break;
    }
    writer.join();
    seen.stop.store(true);
    sampler.join();
    const UINT shown = TreeView_GetCount(tree.Tree()) - before;

    std::printf("creating %d files in %ls while the tree shows it: %.1f s\n", files, root.c_str(),
                Seconds(lastCreated - start));
    if (complete != Clock::time_point{}) {
        std::printf("all of them in the tree %.2f s after the last one (goal under 5 s)\n",
                    Seconds(complete - lastCreated > Clock::duration::zero() ? complete - lastCreated
                                                                              : Clock::duration::zero()));
    } else {
        std::printf("the tree shows %u of them 600 s after the last one (goal: all within 5 s)\n", shown);
    }
    std::printf("longest time the tree was blank: %.3f s (goal at most 0.25 s; %d of %d samples blank)\n",
                Seconds(seen.longestBlank), seen.blankSamples, seen.samples);
    std::printf("longest time the tree's rows stood still while files came: %.3f s (goal at most 0.25 s)\n",
                Seconds(seen.longestStall));

    view.reset();
    ::DestroyWindow(host);
    ::CloseHandle(writeEvent);
    for (int i = 0; i < files; ++i) ::DeleteFileW((root + FileName(i)).c_str());
    ::DeleteFileW(seed.c_str());
    ::DeleteFileW((std::wstring(temp) + L"view-burst-bench.ini").c_str());
    return shown == static_cast<UINT>(files) ? 0 : 1;
}
