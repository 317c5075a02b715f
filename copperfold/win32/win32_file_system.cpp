#include "win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "common/win32/unique_handle.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/job_paths.h"
#include "copperfold/core/partial_name.h"

namespace copperfold {
namespace {

// How often a copy draws another temporary name when the one it drew is taken.
constexpr int kPartialNameAttempts = 64;

// What SetFileAttributesW can change; the other bits describe the file and are not ours to set.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool StartsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDriveAbsolute(std::wstring_view path) {
    return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\';
}

bool IsDriveRoot(std::wstring_view path) { return path.size() == 3 && IsDriveAbsolute(path); }

// The extended-length form takes "/", "." and ".." literally and refuses empty names (doubled
// backslashes past a UNC path's start); such paths are left to the system.
bool NeedsParsing(std::wstring_view path) {
    constexpr auto npos = std::wstring_view::npos;
    if (path.find(L'/') != npos || path.find(L"\\\\", 1) != npos) return true;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring_view part = path.substr(start, end - start);
        if (part == L"." || part == L"..") return true;
        start = end + 1;
    }
    return false;
}

// 0 would tell the file system to leave the attributes as they are.
DWORD SettableAttributes(std::uint32_t attributes) {
    const DWORD settable = attributes & kSettableAttributes;
    return settable != 0 ? settable : FILE_ATTRIBUTE_NORMAL;
}

std::uint64_t Combine(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

bool IsDotEntry(const wchar_t* name) { return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0; }

FileEntry ToEntry(const WIN32_FIND_DATAW& data) {
    FileEntry entry;
    entry.name = data.cFileName;
    entry.attributes = data.dwFileAttributes;
    entry.lastWriteTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return entry;
}

// The pattern that lists a folder's entries: the folder, one backslash, "*".
std::wstring ListingPattern(const std::wstring& folder) {
    std::wstring pattern = ExtendedLengthPath(folder);
    if (pattern.empty() || pattern.back() != L'\\') pattern += L'\\';
    return pattern + L'*';
}

win32::UniqueFind FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW& data) {
    return win32::UniqueFind(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                                nullptr, FIND_FIRST_EX_LARGE_FETCH));
}

// The unique parts of temporary names: different in every process and for every copy.
std::uint32_t NextUniquePart() {
    static std::atomic<std::uint32_t> next{static_cast<std::uint32_t>(::GetCurrentProcessId()) * 2654435761u ^
                                           ::GetTickCount()};
    return next.fetch_add(0x9E3779B9u);  // consecutive parts differ in most digits
}

// Clears a read-only bit that stops a removal, then removes the file; false when it stays.
bool DeleteEvenIfReadOnly(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
    return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) && ::DeleteFileW(path.c_str());
}

// The temporary file of one copy: a new file beside the destination, under a name no file had,
// open for writing and for its rename. Deleted when it goes out of scope, unless it was renamed
// over the destination.
class PartialFile {
public:
    PartialFile(std::wstring destination, const Win32FileSystem::UniquePartSource& uniquePart)
        : destination_(std::move(destination)), uniquePart_(uniquePart) {}
    ~PartialFile() { Discard(); }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Hidden while it is written. Only ever a new file: a name that is taken (a user's file, a
    // leftover another copy may still be writing) is never opened, another one is drawn instead.
    DWORD Create() {
        DWORD error = ERROR_FILE_EXISTS;
        for (int attempt = 0; attempt < kPartialNameAttempts; ++attempt) {
            path_ = PartialFilePath(destination_, uniquePart_());
            file_.reset(::CreateFileW(path_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                                      nullptr));
            if (file_) {
                owned_ = true;
                return ERROR_SUCCESS;
            }
            error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        }
        return error;
    }
    HANDLE Handle() const { return file_.get(); }
    void Renamed() { owned_ = false; }
    // Closes the file once it has been renamed over the destination.
    void Close() { file_.reset(); }

private:
    // Removes the file through the handle the copy wrote with: it goes wherever it is now, also
    // when its folder was moved or the drive's letter went away meanwhile (a removal by name
    // would miss it there). Only when the handle cannot do it is the name tried.
    void Discard() {
        if (!owned_) {
            file_.reset();
            return;
        }
        const DWORD error = ::GetLastError();  // the failure that brought us here stays the thread's
        bool deleted = false;
        if (file_) {
            FILE_BASIC_INFO basic{};  // a read-only bit given just before a failed rename goes first
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
            ::SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic);
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            deleted = ::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &disposition, sizeof disposition) != 0;
        }
        file_.reset();
        if (!deleted) DeleteEvenIfReadOnly(path_);
        ::SetLastError(error);
    }

    std::wstring destination_;
    const Win32FileSystem::UniquePartSource& uniquePart_;
    std::wstring path_;
    win32::UniqueFile file_;
    bool owned_ = false;
};

// The progress calls of one copy. False when the copy has to stop: the caller answered so or
// raised the cancel flag.
class ProgressReport {
public:
    ProgressReport(const CopyProgress& progress, const std::atomic<int>& cancel)
        : progress_(progress), cancel_(cancel) {}

    bool operator()(std::uint64_t total, std::uint64_t done, CopyProgressReason reason) const {
        const bool goOn = !progress_ || progress_(total, done, reason);
        return goOn && cancel_.load() == 0;
    }

private:
    const CopyProgress& progress_;
    const std::atomic<int>& cancel_;
};

// Each byte equals the one after it, and the first is zero.
bool IsAllZero(const char* data, DWORD length) {
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

DWORD WriteAll(HANDLE file, const char* data, DWORD length) {
    while (length > 0) {
        DWORD written = 0;
        if (!::WriteFile(file, data, length, &written, nullptr)) return ::GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        data += written;
        length -= written;
    }
    return ERROR_SUCCESS;
}

// Writes the chunks of a copy one after another. A chunk of zeros is not written: the file
// system gives zeros for the gap once a later chunk or the end of the file lies beyond it. Where
// the file system keeps holes (the Linux ones under Wine) the copy of a sparse file stays sparse
// and costs no disk writes for them; elsewhere the file system fills the gap itself.
class ChunkWriter {
public:
    explicit ChunkWriter(HANDLE file) : file_(file) {}

    DWORD Write(const char* data, DWORD length) {
        if (IsAllZero(data, length)) {
            position_ += length;
            gap_ = true;
            return ERROR_SUCCESS;
        }
        if (gap_ && !SeekToPosition()) return ::GetLastError();
        gap_ = false;
        if (const DWORD error = WriteAll(file_, data, length)) return error;
        position_ += length;
        return ERROR_SUCCESS;
    }

    // Ends the file after its last chunk, also when that chunk was not written.
    DWORD Finish() {
        if (!gap_) return ERROR_SUCCESS;
        return SeekToPosition() && ::SetEndOfFile(file_) ? ERROR_SUCCESS : ::GetLastError();
    }

private:
    bool SeekToPosition() {
        LARGE_INTEGER offset;
        offset.QuadPart = static_cast<LONGLONG>(position_);
        return ::SetFilePointerEx(file_, offset, nullptr, FILE_BEGIN) != 0;
    }

    HANDLE file_;
    std::uint64_t position_ = 0;
    bool gap_ = false;
};

// Reserves the whole file's space in one go where the file system can: the data lands in one
// piece, and a disk too small for the file fails the copy before anything is written. Other
// refusals change nothing (Wine has no such call; some file systems reserve nothing).
DWORD ReserveSpace(HANDLE file, std::uint64_t size) {
    if (size <= Win32FileSystem::kChunkSize) return ERROR_SUCCESS;
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation)) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_FILE_TOO_LARGE ? error : ERROR_SUCCESS;
}

struct SourceFile {
    win32::UniqueFile handle;
    FILE_BASIC_INFO basic{};  // times and attributes
    std::uint64_t size = 0;
};

// Others may go on reading, writing, renaming or deleting the file while it is copied. Times,
// attributes and size are read by handle, each a query of the file alone: the all-in-one query
// also asks the volume for its serial number, which costs Wine a round trip to its mount manager
// on every file.
DWORD OpenSource(const std::wstring& path, SourceFile& source) {
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    source.handle.reset(::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.handle) return ::GetLastError();
    if (!::GetFileInformationByHandleEx(source.handle.get(), FileBasicInfo, &source.basic, sizeof source.basic)) {
        return ::GetLastError();
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(source.handle.get(), &size)) return ::GetLastError();
    source.size = static_cast<std::uint64_t>(size.QuadPart);
    return ERROR_SUCCESS;
}

// Copies the source's bytes, as many as it had when it was opened, into `output`, chunk by chunk.
DWORD CopyData(const SourceFile& source, HANDLE output, const ProgressReport& report) {
    const std::uint64_t size = source.size;
    if (const DWORD error = ReserveSpace(output, size)) return error;
    if (!report(size, 0, CopyProgressReason::StreamSwitch)) return kErrorRequestAborted;

    const auto bufferSize = static_cast<DWORD>(std::min<std::uint64_t>(size, Win32FileSystem::kChunkSize));
    const auto buffer = std::make_unique_for_overwrite<char[]>(bufferSize);
    ChunkWriter writer(output);
    std::uint64_t done = 0;
    while (done < size) {
        const auto wanted = static_cast<DWORD>(std::min<std::uint64_t>(bufferSize, size - done));
        DWORD got = 0;
        if (!::ReadFile(source.handle.get(), buffer.get(), wanted, &got, nullptr)) return ::GetLastError();
        if (got == 0) break;  // the source shrank while being copied
        if (const DWORD error = writer.Write(buffer.get(), got)) return error;
        done += got;
        if (!report(size, done, CopyProgressReason::ChunkFinished)) return kErrorRequestAborted;
    }
    if (const DWORD error = writer.Finish()) return error;
    // The last call always reports a complete file: an empty one has its single chunk, and a
    // source that shrank ends at the bytes it still had.
    if ((size == 0 || done != size) && !report(done, done, CopyProgressReason::ChunkFinished)) {
        return kErrorRequestAborted;
    }
    return ERROR_SUCCESS;
}

bool SetBasicInfo(HANDLE file, FILE_BASIC_INFO basic) {
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Puts the copied data on disk, then gives it the source's times and attributes, all before the
// rename: a crash before the rename leaves only our temporary file, which the next run
// recognises by its name, and never the destination's name on a file whose data did not reach
// the disk (the previous version would be lost with it). The times are set after the flush,
// since a file system may stamp the file when its buffered data arrives.
//
// Where the file system refuses the creation time (some keep none), the last-write time and
// the attributes alone, which a copy must carry; where it refuses attribute changes altogether
// (a FUSE FAT driver answers ERROR_GEN_FAILURE; some shares refuse them too), the times alone,
// and the volume is noted so that its later copies do not ask again.
DWORD FinishPartial(PartialFile& part, const FILE_BASIC_INFO& source, const std::wstring& destination,
                    VolumeQuirks& quirks) {
    if (!::FlushFileBuffers(part.Handle())) return ::GetLastError();
    const bool withAttributes = !quirks.Has(destination, VolumeQuirks::kKeepsNoAttributes);
    FILE_BASIC_INFO basic{};  // times and attributes of 0 stay as they are
    basic.CreationTime = source.CreationTime;
    basic.LastWriteTime = source.LastWriteTime;
    // Both times of access and of writing: FUSE drivers (FAT's, exFAT's) silently keep a file's
    // time when a change names the write time alone, and under Wine that is what a write time
    // without an access time becomes.
    basic.LastAccessTime = source.LastAccessTime.QuadPart != 0 ? source.LastAccessTime : source.LastWriteTime;
    basic.FileAttributes = withAttributes ? SettableAttributes(source.FileAttributes) : 0;
    if (SetBasicInfo(part.Handle(), basic)) return ERROR_SUCCESS;
    basic.CreationTime.QuadPart = 0;
    if (SetBasicInfo(part.Handle(), basic)) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    if (!withAttributes) return error;
    basic.FileAttributes = 0;
    if (!SetBasicInfo(part.Handle(), basic)) return error;
    if (quirks.Mark(destination, VolumeQuirks::kKeepsNoAttributes)) {
        ::OutputDebugStringW((L"Copperfold: the volume of " + destination + L" keeps no file attributes\n").c_str());
    }
    return ERROR_SUCCESS;
}

// Gives a file that is in place the source's times once more (a volume that stamps a file it
// renames has replaced them).
bool SetTimesAgain(HANDLE file, const FILE_BASIC_INFO& source) {
    FILE_BASIC_INFO basic{};
    basic.LastWriteTime = source.LastWriteTime;
    basic.LastAccessTime = source.LastAccessTime.QuadPart != 0 ? source.LastAccessTime : source.LastWriteTime;
    return SetBasicInfo(file, basic);
}

// The range FAT and exFAT hold, 1980-01-01 00:00:00 to 2107-12-31 23:59:58 local time, as UTC
// file times (as the platform converts local times of those days now).
struct TimeRange {
    LONGLONG earliest = 0;
    LONGLONG latest = 0;
};
TimeRange LocalFatTimeRange() {
    static const TimeRange range = [] {
        const auto utc = [](WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, std::uint64_t atUtc) {
            const SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
            SYSTEMTIME universal{};
            FILETIME time{};
            if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) || !::SystemTimeToFileTime(&universal, &time)) {
                return static_cast<LONGLONG>(atUtc);
            }
            return static_cast<LONGLONG>(Combine(time.dwHighDateTime, time.dwLowDateTime));
        };
        return TimeRange{utc(1980, 1, 1, 0, 0, 0, kFatEarliestUtc), utc(2107, 12, 31, 23, 59, 58, kFatLatestUtc)};
    }();
    return range;
}

// The source's times as a volume that holds FAT's range only can keep them (0 means "leave as
// it is" and stays).
void KeepWithinFatRange(FILE_BASIC_INFO& basic) {
    const TimeRange range = LocalFatTimeRange();
    for (LARGE_INTEGER* time : {&basic.CreationTime, &basic.LastAccessTime, &basic.LastWriteTime}) {
        if (time->QuadPart != 0) time->QuadPart = std::clamp(time->QuadPart, range.earliest, range.latest);
    }
}

bool TimeKept(const std::wstring& destination, const FILE_BASIC_INFO& source) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(destination.c_str(), GetFileExInfoStandard, &data)) return true;  // nothing to tell
    FileEntry kept;
    kept.lastWriteTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    FileEntry given;
    given.lastWriteTime = static_cast<std::uint64_t>(source.LastWriteTime.QuadPart);
    return CompareLastWrite(kept, given, false) == TimeOrder::Same;
}

// Reads back the last-write time of the first copy onto a volume once it is in place and closed.
// A volume that gave the file the time of its rename gets the times again after the rename, this
// file now and every later one; a volume that does not keep them even so is noted for the log.
void CheckTimesKept(const std::wstring& destination, const FILE_BASIC_INFO& source, VolumeQuirks& quirks) {
    if (!TimeKept(destination, source)) {
        bool setAgain = false;
        {
            const win32::UniqueFile file(::CreateFileW(destination.c_str(), FILE_WRITE_ATTRIBUTES,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
            setAgain = file && SetTimesAgain(file.get(), source);
        }
        if (setAgain && TimeKept(destination, source)) {
            quirks.Mark(destination, VolumeQuirks::kTimesAfterRename);
        } else if (quirks.Mark(destination, VolumeQuirks::kKeepsNoTimes)) {
            ::OutputDebugStringW((L"Copperfold: the volume of " + destination + L" did not keep a copy's time\n").c_str());
        }
    }
    quirks.Mark(destination, VolumeQuirks::kTimesCheckDone);
}

// Renames an open file to `destination`, replacing what is there unless told not to, through a
// handle of the file (no second open of it by name).
bool RenameByHandle(HANDLE file, const std::wstring& destination, bool replace = true) {
    const std::size_t nameBytes = (destination.size() + 1) * sizeof(wchar_t);
    const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + nameBytes;
    const auto buffer = std::make_unique<std::byte[]>(size);  // zeroed: no root folder, no flags
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->FileNameLength = static_cast<DWORD>(destination.size() * sizeof(wchar_t));
    std::memcpy(rename->FileName, destination.c_str(), nameBytes);
    return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(size)) != 0;
}

// Renames the finished file over the destination: one rename on the same volume, so the name
// holds either the previous file or the complete new one, never a part. A read-only destination
// refuses to be replaced: when the rename is refused, its bit is cleared and the rename tried again
// (the bit comes back should it still fail).
DWORD MoveIntoPlace(PartialFile& part, const std::wstring& destination) {
    if (RenameByHandle(part.Handle(), destination)) {
        part.Renamed();
        return ERROR_SUCCESS;
    }
    DWORD error = ::GetLastError();
    // Only a refusal may come from the read-only bit; nothing is looked up before the first try.
    const DWORD previous = error == ERROR_ACCESS_DENIED ? ::GetFileAttributesW(destination.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (previous == INVALID_FILE_ATTRIBUTES || (previous & FILE_ATTRIBUTE_READONLY) == 0) return error;
    if (!::SetFileAttributesW(destination.c_str(), SettableAttributes(previous & ~FILE_ATTRIBUTE_READONLY))) {
        return error;
    }
    if (RenameByHandle(part.Handle(), destination)) {
        part.Renamed();
        return ERROR_SUCCESS;
    }
    error = ::GetLastError();
    ::SetFileAttributesW(destination.c_str(), SettableAttributes(previous));
    return error;
}

// The file a copy replaces while it is kept: moved aside to its place among the versions just
// before the copy is renamed into its name, and put back should that rename fail. Held by a
// handle of its own (the file itself, not what a link points to), so it is put back wherever it is.
class ReplacedFile {
public:
    // Moves the file at `destination` to `keepAs`, never over another file; success when there
    // is none to move.
    DWORD MoveAside(const std::wstring& destination, const std::wstring& keepAs) {
        destination_ = destination;
        file_.reset(::CreateFileW(destination.c_str(), DELETE | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file_) {
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
        }
        if (!RenameByHandle(file_.get(), keepAs, false)) {
            const DWORD error = ::GetLastError();
            file_.reset();
            return error;
        }
        return ERROR_SUCCESS;
    }
    // The copy did not take the name: the kept file takes it back (should even that fail, it stays
    // among the versions, which is safe).
    void PutBack() {
        if (!file_) return;
        const DWORD error = ::GetLastError();
        RenameByHandle(file_.get(), destination_, false);
        ::SetLastError(error);
    }

private:
    std::wstring destination_;
    win32::UniqueFile file_;
};

// What RemoveTree answers for an entry it leaves in place because it is a link it cannot remove
// without reaching what the link points to (the system's ERROR_REPARSE_POINT_ENCOUNTERED).
constexpr DWORD kErrorLinkLeftInPlace = 4395;

// The path the system resolves an open entry to, empty when it cannot tell.
std::wstring FinalPathOf(HANDLE entry) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD needed = ::GetFinalPathNameByHandleW(entry, nullptr, 0, kFlags);
    if (needed == 0) return {};
    std::wstring path(needed, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(entry, path.data(), needed, kFlags);
    if (length == 0 || length >= needed) return {};
    path.resize(length);
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return !a.empty() && ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Removes the entry at `path`, the folder with all in it, without ever going through a link:
// opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), a link, junction or other reparse point is
// removed alone. Where the system opens what a link points to instead (Wine shows a Unix
// symbolic link as its target, and removes the target when asked to remove it), the entry's path
// as the system resolves it differs from the one it has in its folder (`resolved`, when known),
// and it is left in place. Returns 0, or the error of the first entry that stayed.
// The names in an open folder, read through its handle (a listing by name would have to open the
// folder again, which the system refuses while we hold it for its removal).
DWORD NamesIn(HANDLE folder, std::vector<std::wstring>& names) {
    constexpr DWORD kBufferBytes = 64 * 1024;
    const auto buffer = std::make_unique<std::byte[]>(kBufferBytes);
    for (FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;; query = FileIdBothDirectoryInfo) {
        if (!::GetFileInformationByHandleEx(folder, query, buffer.get(), kBufferBytes)) {
            const DWORD error = ::GetLastError();
            return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
        }
        for (std::size_t offset = 0;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.get() + offset);
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(std::move(name));
            if (info->NextEntryOffset == 0) break;
            offset += info->NextEntryOffset;
        }
    }
}

// Removes the entry at `path`, the folder with all in it, without ever going through a link:
// opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), a link, junction or other reparse point is
// removed alone. Where the system opens what a link points to instead (Wine shows a Unix
// symbolic link as its target, and removes the target when asked to remove it), the entry's path
// as the system resolves it differs from the one it has in its folder (`resolved`), and it is
// left in place. Returns 0, or the error of the first entry that stayed.
DWORD RemoveEntry(const std::wstring& path, const std::wstring& resolved, int depth) {
    constexpr DWORD kAccess = DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const win32::UniqueFile entry(::CreateFileW(path.c_str(), kAccess, kShareAll, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &tag, sizeof tag)) return ::GetLastError();
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        const std::wstring final = FinalPathOf(entry.get());
        if (!SamePath(final, resolved)) return kErrorLinkLeftInPlace;
        if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (depth > 512) return ERROR_BUFFER_OVERFLOW;
            std::vector<std::wstring> names;
            if (const DWORD error = NamesIn(entry.get(), names)) return error;
            DWORD firstError = ERROR_SUCCESS;
            for (const std::wstring& name : names) {
                const DWORD error = RemoveEntry(path + L"\\" + name, final + L"\\" + name, depth + 1);
                if (firstError == ERROR_SUCCESS) firstError = error;
            }
            if (firstError != ERROR_SUCCESS) return firstError;
        }
    }
    // A read-only bit stops the removal of a file; the link itself goes, never what it points to.
    if ((tag.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes = SettableAttributes(tag.FileAttributes & ~FILE_ATTRIBUTE_READONLY);
        ::SetFileInformationByHandle(entry.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!::SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
        return ::GetLastError();
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\") || NeedsParsing(path)) return path;
    if (IsDriveAbsolute(path)) return L"\\\\?\\" + path;
    if (path.size() > 2 && StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

std::wstring PartialFilePath(const std::wstring& destination, std::uint32_t unique) {
    const std::size_t separator = destination.find_last_of(L"\\/");
    const std::size_t nameStart = separator == std::wstring::npos ? 0 : separator + 1;
    return destination.substr(0, nameStart) + PartialFileName(std::wstring_view(destination).substr(nameStart), unique);
}

Win32FileSystem::Win32FileSystem(UniquePartSource uniquePart)
    : uniquePart_(uniquePart ? std::move(uniquePart) : UniquePartSource(&NextUniquePart)) {}

bool Win32FileSystem::List(const std::wstring& folder, std::vector<FileEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAW data;
    const win32::UniqueFind find = FindFirst(ListingPattern(folder), data);
    // Every folder but a drive's root has "." and "..": only an empty root matches nothing.
    if (!find) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!IsDotEntry(data.cFileName)) entries.push_back(ToEntry(data));
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

bool Win32FileSystem::Exists(const std::wstring& path) {
    if (IsDriveRoot(path)) {
        WIN32_FIND_DATAW data;
        return static_cast<bool>(FindFirst(ListingPattern(path), data));
    }
    return ::GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32FileSystem::LookUp(const std::wstring& path, FileEntry& entry) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(ExtendedLengthPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    entry.name = path.substr(path.find_last_of(L'\\') + 1);
    entry.attributes = data.dwFileAttributes;
    entry.lastWriteTime = Combine(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    entry.size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    return true;
}

bool Win32FileSystem::CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(ExtendedLengthPath(path).c_str(), nullptr) != 0;
}

bool Win32FileSystem::SetAttributes(const std::wstring& path, std::uint32_t attributes) {
    if (quirks_.Has(path, VolumeQuirks::kKeepsNoAttributes)) return false;  // found out by a copy
    return ::SetFileAttributesW(ExtendedLengthPath(path).c_str(), SettableAttributes(attributes)) != 0;
}

std::wstring Win32FileSystem::FullPath(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\")) return path;  // the system takes these literally
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

std::wstring Win32FileSystem::FinalPath(const std::wstring& path) {
    // Attributes only: no data access, so no share mode of another program stands in the way.
    const win32::UniqueFile entry(::CreateFileW(ExtendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return entry ? FinalPathOf(entry.get()) : std::wstring();
}

bool Win32FileSystem::IsPartialCopy(const FileEntry& entry) const {
    return !entry.IsFolder() && IsPartialFileName(entry.name);
}

void Win32FileSystem::RemovePartialCopy(const std::wstring& path) {
    // Opened for no one else: a copy still writing it (another program's run) holds it open, and
    // then it stays. A read-only bit given to a finished copy just before its rename goes first.
    const win32::UniqueFile file(::CreateFileW(ExtendedLengthPath(path).c_str(), DELETE | FILE_WRITE_ATTRIBUTES, 0,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    ::SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

std::uint32_t Win32FileSystem::CopyWithProgress(const std::wstring& from, const std::wstring& to,
                                                const CopyProgress& progress,
                                                const std::atomic<int>& cancel) {
    return Copy(from, to, {}, progress, cancel);
}

std::uint32_t Win32FileSystem::CopyKeepingReplaced(const std::wstring& from, const std::wstring& to,
                                                   const std::wstring& keepAs, const CopyProgress& progress,
                                                   const std::atomic<int>& cancel) {
    return Copy(from, to, keepAs, progress, cancel);
}

std::uint32_t Win32FileSystem::Copy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                    const CopyProgress& progress, const std::atomic<int>& cancel) {
    SourceFile source;
    if (const DWORD error = OpenSource(ExtendedLengthPath(from), source)) return error;
    const std::wstring destination = ExtendedLengthPath(to);
    if (quirks_.Has(destination, VolumeQuirks::kFatTimeRange)) KeepWithinFatRange(source.basic);
    PartialFile part(destination, uniquePart_);
    if (const DWORD error = part.Create()) return error;
    if (const DWORD error = CopyData(source, part.Handle(), ProgressReport(progress, cancel))) return error;
    if (const DWORD error = FinishPartial(part, source.basic, destination, quirks_)) return error;
    // A replaced file that is kept leaves the name by a rename of its own just before the copy
    // takes it, so that at any moment it is in its place or among the versions. Two renames, not
    // the platform's replace-with-backup call: that one wants the new file closed and unshared
    // (ours is removed through its handle should anything fail), gives it the old file's creation
    // time and permissions, and under Wine leaves the name missing in between all the same.
    ReplacedFile replaced;
    if (!keepAs.empty()) {
        if (const DWORD error = replaced.MoveAside(destination, ExtendedLengthPath(keepAs))) return error;
    }
    if (const DWORD error = MoveIntoPlace(part, destination)) {
        replaced.PutBack();
        return error;
    }
    // The first copy onto a volume finds out whether its times survive the rename; until that is
    // known, and from then on where they do not, the times are given once more after it. It is a
    // copy with a time every FAT drive holds: one of 1975 reads back wrongly on a drive that keeps
    // other times well.
    const auto written = static_cast<std::uint64_t>(source.basic.LastWriteTime.QuadPart);
    if (HeldByEveryFatVolume(written) && quirks_.Mark(destination, VolumeQuirks::kTimesChecked)) {
        part.Close();  // the time as the file system keeps it once the file is closed
        CheckTimesKept(destination, source.basic, quirks_);
    } else if (!quirks_.Has(destination, VolumeQuirks::kTimesCheckDone) ||
               quirks_.Has(destination, VolumeQuirks::kTimesAfterRename)) {
        SetTimesAgain(part.Handle(), source.basic);
    }
    return ERROR_SUCCESS;
}

std::uint32_t Win32FileSystem::RemoveTree(const std::wstring& folder) {
    // Where the folder lies as the system resolves its parent: each entry below must resolve to
    // that, its name added, or it was reached through a link.
    std::wstring path = ExtendedLengthPath(folder);
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    const std::size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return ERROR_INVALID_NAME;
    std::wstring parentPath = path.substr(0, slash);
    if (!parentPath.empty() && parentPath.back() == L':') parentPath += L'\\';  // a drive's root
    const win32::UniqueFile parent(::CreateFileW(parentPath.c_str(), FILE_READ_ATTRIBUTES,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent) return ::GetLastError();
    std::wstring resolved = FinalPathOf(parent.get());
    if (resolved.empty()) return ERROR_CANT_RESOLVE_FILENAME;
    if (resolved.back() != L'\\') resolved += L'\\';
    return RemoveEntry(path, resolved + path.substr(slash + 1), 0);
}

std::uint32_t Win32FileSystem::AccessError(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(ExtendedLengthPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ERROR_SUCCESS;
    WIN32_FIND_DATAW data;
    if (FindFirst(ListingPattern(path), data)) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;  // an empty drive's root lists nothing
}

void Win32FileSystem::LimitTimesToFatRange(const std::wstring& root) {
    quirks_.Mark(root, VolumeQuirks::kFatTimeRange);  // for a share: for every share (they share a slot)
}

VolumeFacts Win32FileSystem::Volume(const std::wstring& path) {
    const std::size_t rootLength = RootLength(path);
    if (rootLength == 0) return {};
    VolumeFacts facts;
    facts.root = path.substr(0, rootLength);
    if (facts.root.back() != L'\\') facts.root.push_back(L'\\');
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(facts.root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH + 1)) {
        facts.fileSystem = name;
    }
    // A volume that reports no size at all (a FUSE FAT driver does) tells nothing of its space.
    ULARGE_INTEGER freeToUs{};
    ULARGE_INTEGER size{};
    if (::GetDiskFreeSpaceExW(facts.root.c_str(), &freeToUs, &size, nullptr) && size.QuadPart != 0) {
        facts.freeSpaceKnown = true;
        facts.freeBytes = freeToUs.QuadPart;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (::GetDiskFreeSpaceW(facts.root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        const std::uint64_t clusterBytes = std::uint64_t{sectorsPerCluster} * bytesPerSector;
        if (clusterBytes <= (1u << 24)) facts.clusterBytes = static_cast<std::uint32_t>(clusterBytes);
    }
    return facts;
}

}  // namespace copperfold
