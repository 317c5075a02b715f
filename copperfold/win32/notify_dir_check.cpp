#include "notify_dir_check.h"

#include <algorithm>
#include <memory>

CNotifyDirCheck::CNotifyDirCheck(HANDLE event)
    : stopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      readyEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      writeEvent(event) {}

CNotifyDirCheck::~CNotifyDirCheck() { Stop(); }

void CNotifyDirCheck::RemoveDirectory(const std::wstring& path) {
    const auto found = std::find(directories.begin(), directories.end(), path);
    if (found != directories.end()) directories.erase(found);
}

bool CNotifyDirCheck::Start() {
    if (running.load() || thread || directories.empty() || directories.front().empty() || !stopEvent ||
        !readyEvent || !writeEvent) {
        return false;
    }
    watchedFolders = directories;
    watchedTarget = target;
    threadLineSink = lineSink ? lineSink : DirectoryWatch::LineSink(&WriteLineToStandardOutput);
    ::ResetEvent(stopEvent.get());
    running = true;
    thread.reset(::CreateThread(nullptr, 0, &CNotifyDirCheck::ThreadProcedure, this, 0, nullptr));
    if (!thread) {
        running = false;
        return false;
    }
    // Back to the owner once every folder is watched: any change made from now on is seen.
    const HANDLE started[] = {readyEvent.get(), thread.get()};
    ::WaitForMultipleObjects(2, started, FALSE, INFINITE);
    return true;
}

void CNotifyDirCheck::Stop() {
    if (!thread) return;
    running = false;
    ::SetEvent(stopEvent.get());
    ::WaitForSingleObject(thread.get(), INFINITE);
    thread.reset();
    DropQueuedChangeMessages();
}

void CNotifyDirCheck::DropQueuedChangeMessages() {
    if (!watchedTarget || ::GetWindowThreadProcessId(watchedTarget, nullptr) != ::GetCurrentThreadId()) return;
    MSG message;
    while (::PeekMessageW(&message, watchedTarget, kChangeMessage, kChangeMessage, PM_REMOVE | PM_NOYIELD)) {
    }
}

DWORD WINAPI CNotifyDirCheck::ThreadProcedure(LPVOID self) {
    static_cast<CNotifyDirCheck*>(self)->WatchThread();
    return 0;
}

void CNotifyDirCheck::WatchThread() {
    std::vector<std::unique_ptr<DirectoryWatch>> watches;
    for (std::size_t i = 0; i < watchedFolders.size(); ++i) {
        auto watch = std::make_unique<DirectoryWatch>(threadLineSink);
        if (i < kMaxWatchedFolders) {
            watch->Open(watchedFolders[i], true, static_cast<DWORD>(-1));
        } else {
            threadLineSink(DirectoryWatch::kFailLinePrefix + watchedFolders[i]);
        }
        watches.push_back(std::move(watch));
    }
    ::SetEvent(readyEvent.get());

    while (running.load()) {
        bool handedOver = false;
        for (std::size_t i = 0; i < watches.size() && running.load(); ++i) {
            const auto change = watches[i]->NextChange();
            if (!change) continue;
            handedOver = true;
            record.path = copperfold::WatchedPath(watchedFolders[i], change->name);
            record.action = change->action;
            if (!HandOver()) break;
        }
        // Nothing was pending and no read had completed: sleep until one does.
        if (!handedOver && running.load()) WaitForChanges(watches);
    }
    watches.clear();  // cancels the reads and closes the folders
}

bool CNotifyDirCheck::HandOver() {
    if (!watchedTarget) return running.load();  // nobody to tell
    ::ResetEvent(writeEvent);
    if (!::PostMessageW(watchedTarget, kChangeMessage, reinterpret_cast<WPARAM>(watchedTarget),
                        reinterpret_cast<LPARAM>(&record))) {
        return running.load();  // the target is gone: nobody will answer
    }
    const HANDLE events[] = {stopEvent.get(), writeEvent};
    const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_FAILED) ::WaitForSingleObject(stopEvent.get(), 100);  // never spin, whatever went wrong
    return woken == WAIT_OBJECT_0 + 1 && running.load();
}

void CNotifyDirCheck::WaitForChanges(const std::vector<std::unique_ptr<DirectoryWatch>>& watches) const {
    std::vector<HANDLE> events{stopEvent.get()};
    for (const auto& watch : watches) {
        if (const HANDLE event = watch->ReadCompletedEvent()) events.push_back(event);
    }
    if (::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE) == WAIT_FAILED) {
        ::WaitForSingleObject(stopEvent.get(), 100);  // never spin, whatever went wrong
    }
}
