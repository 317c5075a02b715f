#include "notify_dir_check.h"

#include <algorithm>
#include <memory>

CNotifyDirCheck::CNotifyDirCheck(HANDLE event)
    : stopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      readyEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      writeEvent(event) {}

CNotifyDirCheck::~CNotifyDirCheck() { Stop(); }

CNotifyDirCheck::AddResult CNotifyDirCheck::AddDirectory(const std::wstring& path) {
    if (std::find(directories.begin(), directories.end(), path) != directories.end()) return AddResult::AlreadyWatched;
    if (directories.size() >= kMaxWatchedFolders) {
        if (!reportedListFull) {
            (lineSink ? lineSink : DirectoryWatch::LineSink(&WriteLineToStandardOutput))(kTableFullLine + path);
            reportedListFull = true;
        }
        return AddResult::ListFull;
    }
    directories.push_back(path);
    return AddResult::Added;
}

void CNotifyDirCheck::RemoveDirectory(const std::wstring& path) {
    const auto found = std::find(directories.begin(), directories.end(), path);
    if (found == directories.end()) return;
    directories.erase(found);
    reportedListFull = false;
}

std::optional<CNotifyDirCheck::ChangeRecord> CNotifyDirCheck::ChangeInFlight(LPARAM cookie) const {
    const std::uint64_t posted = postedNumber.load(std::memory_order_acquire);
    if (posted == 0 || cookie != static_cast<LPARAM>(posted) || takenNumber.load(std::memory_order_relaxed) == posted) {
        return std::nullopt;
    }
    // The thread does not touch the record until it is marked taken.
    return record;
}

void CNotifyDirCheck::ReleaseChange(LPARAM cookie) {
    const std::uint64_t posted = postedNumber.load(std::memory_order_acquire);
    if (posted == 0 || cookie != static_cast<LPARAM>(posted) || takenNumber.load(std::memory_order_relaxed) == posted) {
        return;
    }
    takenNumber.store(posted, std::memory_order_release);
    ::SetEvent(writeEvent);
}

std::optional<CNotifyDirCheck::ChangeRecord> CNotifyDirCheck::TakeChange(LPARAM cookie) {
    std::optional<ChangeRecord> change = ChangeInFlight(cookie);
    if (change) ReleaseChange(cookie);
    return change;
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
        watch->Open(watchedFolders[i], true, static_cast<DWORD>(-1));
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
    const std::uint64_t number = postedNumber.load(std::memory_order_relaxed) + 1;
    postedNumber.store(number, std::memory_order_release);
    ::ResetEvent(writeEvent);
    if (!::PostMessageW(watchedTarget, kChangeMessage, reinterpret_cast<WPARAM>(watchedTarget),
                        static_cast<LPARAM>(number))) {
        takenNumber.store(number, std::memory_order_release);  // the target is gone: nobody will answer
        return running.load();
    }
    const HANDLE events[] = {stopEvent.get(), writeEvent};
    while (takenNumber.load(std::memory_order_acquire) != number) {
        const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, kTakenCheckMs);
        if (woken == WAIT_OBJECT_0 || !running.load()) return false;
        if (woken == WAIT_OBJECT_0 + 1 && takenNumber.load(std::memory_order_acquire) != number) {
            // Set by someone else: wait for the receiver's own signal (checked again above, so
            // a signal that came in between is not lost).
            ::ResetEvent(writeEvent);
        } else if (woken == WAIT_FAILED) {
            ::WaitForSingleObject(stopEvent.get(), 100);  // never spin, whatever went wrong
        }
    }
    return running.load();
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
