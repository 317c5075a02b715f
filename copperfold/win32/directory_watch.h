#pragma once
// DirectoryWatch: one watched folder of the directory watcher. It keeps one asynchronous
// change read outstanding into its 128 KiB buffer, turns completed reads into changes (the
// repeats collapsed, see pending_changes.h) and hands them out one at a time. Owned and used
// by the watcher's thread alone.

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/win32/unique_handle.h"
#include "copperfold/core/directory_change.h"
#include "copperfold/core/pending_changes.h"

class DirectoryWatch {
public:
    // Receives the watcher's failure lines ("Fail to watch directory: ...").
    using LineSink = std::function<void(const std::wstring& line)>;

    static constexpr DWORD kDefaultFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                            FILE_NOTIFY_CHANGE_LAST_WRITE;  // 0x0B, asked for by -1
    static constexpr wchar_t kFailLinePrefix[] = L"Fail to watch directory: ";
    static constexpr wchar_t kOverflowLine[] =
        L"Error returned by ReadDirectoryChangesW(), most likely the internal buffer is too small";

    explicit DirectoryWatch(LineSink reportLine);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    // Opens the folder and starts the first read. When either fails, the failure line is
    // written and the watch stays closed: it never reports anything.
    bool Open(const std::wstring& path, bool subtree, DWORD filter);

    // The oldest change not yet handed out, after taking in the reads that have completed;
    // never blocks. A read that overflowed (the system lost the changes) gives one change of
    // kActionChangesLost with an empty name; so does a watch that breaks off.
    std::optional<copperfold::DirectoryChange> NextChange();

    // Signalled when the outstanding read has completed; null while no read is outstanding.
    HANDLE ReadCompletedEvent() const { return readOutstanding ? readEvent.get() : nullptr; }

    // Cancels the outstanding read (waiting until the system has let go of the buffer) and
    // closes the folder; pending changes are dropped.
    void Close();

private:
    bool StartRead();
    // Takes in one completed read; false when none has completed.
    bool TakeCompletedRead();
    void BreakOff();

    LineSink reportLine;
    std::wstring path;
    bool subtree = true;
    DWORD filter = kDefaultFilter;
    win32::UniqueFile directory;
    win32::UniqueHandle readEvent;
    // The system writes into the buffer and the completion record until the read is over.
    std::unique_ptr<DWORD[]> buffer;  // DWORD-aligned, as the change read requires
    std::unique_ptr<OVERLAPPED> completion;
    bool readOutstanding = false;
    copperfold::PendingChanges pending;
};

// Writes a line to the process's standard output in UTF-8.
void WriteLineToStandardOutput(const std::wstring& line);
