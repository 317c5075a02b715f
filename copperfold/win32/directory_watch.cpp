#include "directory_watch.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <utility>

#include "common/core/text_codec.h"
#include "copperfold/core/change_records.h"

namespace {

// How long Close waits for the system to finish a cancelled read before it gives up on
// reusing the buffer (which is then kept alive rather than freed under the system's hands).
constexpr DWORD kCancelWaitMs = 5000;

}  // namespace

DirectoryWatch::DirectoryWatch(LineSink sink) : reportLine(std::move(sink)) {}

DirectoryWatch::~DirectoryWatch() { Close(); }

bool DirectoryWatch::Open(const std::wstring& folder, bool watchSubtree, DWORD changeFilter) {
    Close();
    path = folder;
    subtree = watchSubtree;
    filter = changeFilter == static_cast<DWORD>(-1) ? kDefaultFilter : changeFilter;
    directory.reset(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
    readEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    buffer = std::make_unique<DWORD[]>(copperfold::kChangeBufferSize / sizeof(DWORD));
    completion = std::make_unique<OVERLAPPED>();
    if (!directory || !readEvent || !StartRead()) {
        Close();
        if (reportLine) reportLine(kFailLinePrefix + path);
        return false;
    }
    return true;
}

bool DirectoryWatch::StartRead() {
    *completion = OVERLAPPED{};
    completion->hEvent = readEvent.get();
    ::ResetEvent(readEvent.get());
    readOutstanding = ::ReadDirectoryChangesW(directory.get(), buffer.get(), static_cast<DWORD>(copperfold::kChangeBufferSize),
                                              subtree ? TRUE : FALSE, filter, nullptr, completion.get(), nullptr) != FALSE;
    return readOutstanding;
}

std::optional<copperfold::DirectoryChange> DirectoryWatch::NextChange() {
    // A read that completes the moment the next one starts is taken in on the same call.
    for (int pass = 0; pass < 2 && TakeCompletedRead(); ++pass) {
    }
    return pending.TakeOldest();
}

bool DirectoryWatch::TakeCompletedRead() {
    if (!readOutstanding) return false;
    DWORD bytes = 0;
    if (!::GetOverlappedResult(directory.get(), completion.get(), &bytes, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return false;
        readOutstanding = false;
        if (error != ERROR_NOTIFY_ENUM_DIR) {  // the one failure that only means "too many changes"
            BreakOff();
            return false;
        }
        bytes = 0;
    }
    readOutstanding = false;

    if (bytes == 0) {
        // The system's buffer overflowed and this folder's changes are lost: the receiver must
        // list the folder again rather than trust what it shows.
        if (reportLine) reportLine(kOverflowLine);
        pending.Add({L"", copperfold::kActionChangesLost});
    } else {
        const auto* first = reinterpret_cast<const std::byte*>(buffer.get());
        const std::size_t delivered = std::min<std::size_t>(bytes, copperfold::kChangeBufferSize);
        for (auto& change : copperfold::ParseChangeRecords(std::span(first, delivered))) pending.Add(std::move(change));
    }
    if (!StartRead()) {
        BreakOff();
        return false;
    }
    return true;
}

// Watching this folder cannot go on (the read failed, or the next one cannot start, as when
// the folder went away): the folder is closed, its changes from now on are lost.
void DirectoryWatch::BreakOff() {
    readOutstanding = false;
    directory.reset();
    if (reportLine) reportLine(kFailLinePrefix + path);
    pending.Add({L"", copperfold::kActionChangesLost});
}

void DirectoryWatch::Close() {
    if (readOutstanding) {
        ::CancelIoEx(directory.get(), completion.get());
        if (::WaitForSingleObject(readEvent.get(), kCancelWaitMs) != WAIT_OBJECT_0) {
            // The system still owns the buffer and the completion record: never free them.
            (void)buffer.release();
            (void)completion.release();
        }
        readOutstanding = false;
    }
    directory.reset();
    readEvent.reset();
    pending.clear();
}

void WriteLineToStandardOutput(const std::wstring& line) {
    std::optional<std::string> text = common::WideToUtf8(line);
    if (!text) {  // a lone surrogate in a name: the rest of the line still says which folder
        std::wstring readable = line;
        for (wchar_t& c : readable) {
            if (c >= 0xD800 && c < 0xE000) c = L'?';
        }
        text = common::WideToUtf8(readable);
    }
    if (!text) return;
    *text += '\n';
    std::fwrite(text->data(), 1, text->size(), stdout);
    std::fflush(stdout);
}
