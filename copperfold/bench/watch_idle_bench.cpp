// Idle cost of the directory watcher: a watcher on 8 folders in which nothing changes, for a
// number of seconds. Prints the processor time the process used meanwhile and how often the
// watch thread woke. For comparison, "poll" runs the same 8 watches in a loop that polls each
// read without blocking and sleeps 1 ms after a pass that found nothing.
//   watch_idle_bench [wait|poll] [SECONDS]
// Prints figures; asserts nothing. tools/bench-watcher.sh adds the Wine server's share.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "copperfold/win32/directory_watch.h"
#include "copperfold/win32/notify_dir_check.h"

namespace {

constexpr int kFolders = 8;

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::vector<std::wstring> MakeFolders() {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    std::vector<std::wstring> folders;
    for (int i = 0; i < kFolders; ++i) {
        const std::wstring folder = std::wstring(base) + L"cf-idle-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(i);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        folders.push_back(folder);
    }
    return folders;
}

// A line for the script that samples the Wine server around the measured window.
void Mark(const char* what) {
    std::printf("%s\n", what);
    std::fflush(stdout);
}

// Keeps the main thread in its message loop, as the program's user-interface thread would be.
void IdleFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count() + 1;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    }
}

double MeasureWaitingWatcher(const std::vector<std::wstring>& folders, double seconds) {
    const HANDLE writeEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    const HWND receiver = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    double used = 0;
    {
        CNotifyDirCheck watcher(writeEvent);
        watcher.SetTarget(receiver);
        for (const auto& folder : folders) watcher.AddDirectory(folder);
        watcher.Start();
        IdleFor(0.5);  // settled
        Mark("measuring");
        const double before = ProcessCpuSeconds();
        IdleFor(seconds);
        used = ProcessCpuSeconds() - before;
        Mark("measured");
    }
    ::DestroyWindow(receiver);
    ::CloseHandle(writeEvent);
    return used;
}

double MeasurePollingLoop(const std::vector<std::wstring>& folders, double seconds, long long& passes) {
    std::atomic<bool> running{true};
    std::atomic<long long> count{0};
    std::thread poller([&] {
        std::vector<std::unique_ptr<DirectoryWatch>> watches;
        for (const auto& folder : folders) {
            watches.push_back(std::make_unique<DirectoryWatch>(nullptr));
            watches.back()->Open(folder, true, static_cast<DWORD>(-1));
        }
        while (running.load()) {
            bool changed = false;
            for (auto& watch : watches) changed |= watch->NextChange().has_value();
            if (!changed) ::Sleep(1);
            ++count;
        }
    });
    IdleFor(0.5);
    Mark("measuring");
    const double before = ProcessCpuSeconds();
    const long long countBefore = count.load();
    IdleFor(seconds);
    const double used = ProcessCpuSeconds() - before;
    passes = count.load() - countBefore;
    Mark("measured");
    running = false;
    poller.join();
    return used;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"wait";
    const double seconds = argc > 2 ? _wtof(argv[2]) : 10.0;
    const auto folders = MakeFolders();
    if (mode == L"poll") {
        long long passes = 0;
        const double used = MeasurePollingLoop(folders, seconds, passes);
        std::printf("polling loop, %d idle folders, %.0f s: process CPU %.3f s (%.2f%% of one core), %lld passes (%.0f a second)\n",
                    kFolders, seconds, used, 100 * used / seconds, passes, passes / seconds);
    } else {
        const double used = MeasureWaitingWatcher(folders, seconds);
        std::printf("watcher, %d idle folders, %.0f s: process CPU %.3f s (%.2f%% of one core)\n", kFolders, seconds, used,
                    100 * used / seconds);
    }
    for (const auto& folder : folders) ::RemoveDirectoryW(folder.c_str());
    return 0;
}
