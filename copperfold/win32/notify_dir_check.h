#pragma once
// CNotifyDirCheck: watches a list of folders (and everything below them) on a thread of its
// own and hands each change, one at a time, to a window of the owner's thread.
//
// Handover: the thread writes the change into its record, numbers it, resets the write event,
// posts kChangeMessage (wParam: the target window, lParam: the record's number) to the target
// and waits until the receiver has taken that record. The receiver hands the message's lParam
// to TakeChange, which gives a copy of the record only when the number is the one in flight and
// not yet taken, marks it taken and sets the write event. The message carries no address: any
// program can post 0x0403 with any lParam, and such a message is simply not the watcher's. Nor
// does the write event alone release the thread: any program can set a named event, so the
// thread goes on only once its record is marked taken (it looks again at least every
// kTakenCheckMs, so a foreign reset of the event cannot hold it either).
//
// A record with action kActionChangesLost (directory_change.h) and the watched folder itself
// as its path says that the system lost that folder's changes: the receiver should list the
// folder again.
//
// The owner thread and the watch thread share the run flag (an atomic), the stop event, the
// write event and the record in flight (handed over by the event, never touched by both at
// once). The thread sleeps in the system until a read completes, the receiver answers or the
// owner stops it: an idle watcher costs no processor time.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "directory_watch.h"

class CNotifyDirCheck {
public:
    static constexpr UINT kChangeMessage = WM_USER + 3;  // 0x0403
    // One wait covers the stop event and one read per folder.
    static constexpr std::size_t kMaxWatchedFolders = MAXIMUM_WAIT_OBJECTS - 1;
    static constexpr DWORD kTakenCheckMs = 250;
    static constexpr wchar_t kTableFullLine[] = L"Fail to watch directory (the watch list is full): ";

    struct ChangeRecord {
        std::wstring path;  // the watched folder followed by the changed entry's relative name
        std::uint32_t action = 0;
    };

    // `writeEvent`: the manual-reset event the receiver sets after each change (the
    // application's "WriteEvent"); not owned.
    explicit CNotifyDirCheck(HANDLE writeEvent);
    ~CNotifyDirCheck();  // stops the thread
    CNotifyDirCheck(const CNotifyDirCheck&) = delete;
    CNotifyDirCheck& operator=(const CNotifyDirCheck&) = delete;

    // The folder list and the target are the owner's; changes to them take effect at the next
    // start (the thread works on a copy taken when it starts).
    enum class AddResult { Added, AlreadyWatched, ListFull };
    // A folder already in the list is not added again; a full list (kMaxWatchedFolders) takes
    // no more and says so once through the line sink, until a folder leaves the list.
    AddResult AddDirectory(const std::wstring& path);
    // Removes the first entry equal to `path` (exact, case-sensitive); nothing when none is.
    void RemoveDirectory(const std::wstring& path);
    const std::vector<std::wstring>& Directories() const { return directories; }
    void SetTarget(HWND window) { target = window; }
    HWND Target() const { return target; }
    // Where the failure lines go; standard output unless set. Called on the watch thread.
    void SetLineSink(DirectoryWatch::LineSink sink) { lineSink = std::move(sink); }

    // Starts the thread when it is not running, the list is not empty and its first entry is
    // not empty; false otherwise or when the thread cannot start. Returns once the folders are
    // watched, so every change made after it returns is reported.
    bool Start();
    // Stops the thread and waits until it has ended, which takes no longer than the current
    // step of the thread (it never waits for a slow receiver). Change messages still queued for
    // the target are removed when the target belongs to the calling thread: they point at the
    // record, which the next start reuses.
    void Stop();
    bool IsRunning() const { return running.load(); }
    bool HasThread() const { return static_cast<bool>(thread); }

    // The receiving side, on the target's thread, with a kChangeMessage's lParam. The record in
    // flight when `cookie` names it and it has not been taken; nothing otherwise.
    std::optional<ChangeRecord> ChangeInFlight(LPARAM cookie) const;
    // Marks the record `cookie` names taken and lets the thread go on; nothing when it names
    // none in flight.
    void ReleaseChange(LPARAM cookie);
    // Both: what a receiver normally does.
    std::optional<ChangeRecord> TakeChange(LPARAM cookie);

private:
    static DWORD WINAPI ThreadProcedure(LPVOID self);
    void WatchThread();
    // Posts the record and waits for the receiver; false when the watcher is being stopped.
    bool HandOver();
    // Sleeps until one of the reads completes or the watcher is stopped.
    void WaitForChanges(const std::vector<std::unique_ptr<DirectoryWatch>>& watches) const;
    void DropQueuedChangeMessages();

    std::vector<std::wstring> directories;  // owner thread
    HWND target = nullptr;                  // owner thread
    DirectoryWatch::LineSink lineSink;      // owner thread; copied for the thread at start

    // Taken at start, before the thread exists, and only read by the thread afterwards.
    std::vector<std::wstring> watchedFolders;
    HWND watchedTarget = nullptr;
    DirectoryWatch::LineSink threadLineSink;

    std::atomic<bool> running{false};
    win32::UniqueHandle thread;     // owner thread
    win32::UniqueHandle stopEvent;  // manual reset; set by Stop
    win32::UniqueHandle readyEvent; // set by the thread once its folders are watched
    HANDLE writeEvent;
    bool reportedListFull = false;  // owner thread
    ChangeRecord record;            // the change in flight (see the handover above)
    // Numbers of the last record posted (written by the thread) and taken (by the receiver);
    // the record is the thread's to write only while they are equal.
    std::atomic<std::uint64_t> postedNumber{0};
    std::atomic<std::uint64_t> takenNumber{0};
};
