// The copier of Win32FileSystem: copies that never write into their destination. Each fills a
// new hidden temporary file beside the destination, puts it on disk, gives it the source's times
// and attributes and only then renames it over the destination.
#include "win32_file_system.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "common/win32/unique_handle.h"
#include "copperfold/core/file_times.h"
#include "win32_file_values.h"

namespace copperfold {
namespace {

// How often a copy draws another temporary name when the one it drew is taken.
constexpr int kPartialNameAttempts = 64;

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

// The size the file system gives an open file now; ~0 when it gives none.
std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : ~0ull;
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
    // A FAT drive cannot hold a file of 4 GiB or more, and where it does not refuse one it may keep
    // a 32-bit size and offsets and say nothing (the FUSE FAT driver wraps every write past 4 GiB
    // to the file's start): such a copy is not complete, whatever the writes answered.
    if (done > kFatLargestFile && SizeOf(output) != done) return ERROR_FILE_TOO_LARGE;
    // The last call always reports a complete file: an empty one has its single chunk, and a
    // source that shrank ends at the bytes it still had.
    if ((size == 0 || done != size) && !report(done, done, CopyProgressReason::ChunkFinished)) {
        return kErrorRequestAborted;
    }
    return ERROR_SUCCESS;
}

// Whether the source is still as the copy found it when it opened it: the same size and
// last-write time. A program that wrote to it meanwhile may have changed bytes the copy had
// already read, and the copy, dated with the time it was opened at, would read as the same file
// as the source within the times' tolerance (2 s) ever after: a later run that copies only
// changed files, or a Sync, would keep the mixed bytes.
DWORD UnchangedSinceOpened(const SourceFile& source) {
    FILE_BASIC_INFO now{};
    if (!::GetFileInformationByHandleEx(source.handle.get(), FileBasicInfo, &now, sizeof now)) return ::GetLastError();
    const bool same = now.LastWriteTime.QuadPart == source.basic.LastWriteTime.QuadPart &&
                      SizeOf(source.handle.get()) == source.size;
    return same ? ERROR_SUCCESS : kErrorSourceChanged;
}

bool SetBasicInfo(HANDLE file, FILE_BASIC_INFO basic) {
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Whether a file with these attributes needs none of them given to its copy on a volume that does
// not keep the hidden bit our temporary files are made with: it has none that such a volume shows
// (read-only, hidden, system, ...) beyond the archive bit every file has there.
bool NothingToCarry(std::uint32_t attributes) {
    return (attributes & kSettableAttributes & ~DWORD{FILE_ATTRIBUTE_ARCHIVE}) == 0;
}

// Gives the temporary file, once its data is on disk, the source's times and attributes before
// its rename: a crash before the rename leaves only our temporary file, which the next run
// recognises by its name, and never the destination's name on a file whose data did not reach
// the disk (the previous version would be lost with it). The times come after the data, since a
// file system may stamp the file when its buffered data arrives.
//
// Where the file system refuses the creation time (some keep none), the last-write time and
// the attributes alone, which a copy must carry; where it refuses attribute changes altogether
// (a FUSE FAT driver answers ERROR_GEN_FAILURE; some shares refuse them too), the times alone,
// and the volume is noted so that its later copies do not ask again. Nothing is asked that the
// volume would not keep: no attributes on a volume that keeps none, nor on one that keeps no
// hidden bit for a file without attributes to carry (the temporary file's hidden bit never stuck
// there), and no times on a volume that gives a file it renames the time of the rename (its times
// come after the rename, see PendingCopy::Place).
DWORD GiveTimesAndAttributes(HANDLE file, const FILE_BASIC_INFO& source, const std::wstring& destination,
                             VolumeQuirks& quirks) {
    const bool withAttributes = !quirks.Has(destination, VolumeQuirks::kKeepsNoAttributes) &&
                                !(quirks.Has(destination, VolumeQuirks::kKeepsNoHiddenBit) &&
                                  NothingToCarry(source.FileAttributes));
    const bool withTimes = !quirks.Has(destination, VolumeQuirks::kTimesAfterRename);
    if (!withAttributes && !withTimes) return ERROR_SUCCESS;
    FILE_BASIC_INFO basic{};  // times and attributes of 0 stay as they are
    if (withTimes) {
        basic.CreationTime = source.CreationTime;
        basic.LastWriteTime = source.LastWriteTime;
        // Both times of access and of writing: FUSE drivers (FAT's, exFAT's) silently keep a file's
        // time when a change names the write time alone, and under Wine that is what a write time
        // without an access time becomes.
        basic.LastAccessTime = source.LastAccessTime.QuadPart != 0 ? source.LastAccessTime : source.LastWriteTime;
    }
    basic.FileAttributes = withAttributes ? SettableAttributes(source.FileAttributes) : 0;
    if (SetBasicInfo(file, basic)) return ERROR_SUCCESS;
    basic.CreationTime.QuadPart = 0;
    if (withTimes && SetBasicInfo(file, basic)) return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    if (!withAttributes) return error;
    basic.FileAttributes = 0;
    if (withTimes && !SetBasicInfo(file, basic)) return error;
    if (quirks.Mark(destination, VolumeQuirks::kKeepsNoAttributes)) {
        ::OutputDebugStringW((L"Copperfold: the volume of " + destination + L" keeps no file attributes\n").c_str());
    }
    return ERROR_SUCCESS;
}

// The first copy onto a volume finds out whether it keeps the hidden bit the temporary file was
// made with (a FUSE driver under Wine keeps none: Wine stores it in an extended attribute).
void NoteWhetherHiddenBitKept(HANDLE partial, const std::wstring& destination, VolumeQuirks& quirks) {
    if (!quirks.Mark(destination, VolumeQuirks::kHiddenBitChecked)) return;
    FILE_BASIC_INFO made{};
    if (::GetFileInformationByHandleEx(partial, FileBasicInfo, &made, sizeof made) &&
        (made.FileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
        quirks.Mark(destination, VolumeQuirks::kKeepsNoHiddenBit);
    }
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

// One copy on its way into place, in three steps: its source copied into a new temporary file
// beside the destination (Write), that file put on disk (Flush), and then dated and renamed over
// the destination (Place). Until it is placed, the temporary file is removed should the copy end
// early.
class PendingCopy {
public:
    PendingCopy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                const Win32FileSystem::UniquePartSource& uniquePart)
        : from_(ExtendedLengthPath(from)),
          destination_(ExtendedLengthPath(to)),
          keepAs_(keepAs.empty() ? std::wstring() : ExtendedLengthPath(keepAs)),
          part_(destination_, uniquePart) {}

    DWORD Write(const ProgressReport& report, VolumeQuirks& quirks) {
        SourceFile source;
        if (const DWORD error = OpenSource(from_, source)) return error;
        basic_ = source.basic;
        if (quirks.Has(destination_, VolumeQuirks::kFatTimeRange)) KeepWithinFatRange(basic_);
        if (const DWORD error = part_.Create()) return error;
        NoteWhetherHiddenBitKept(part_.Handle(), destination_, quirks);
        if (const DWORD error = CopyData(source, part_.Handle(), report)) return error;
        return UnchangedSinceOpened(source);
    }

    DWORD Flush() { return ::FlushFileBuffers(part_.Handle()) ? ERROR_SUCCESS : ::GetLastError(); }

    DWORD Place(VolumeQuirks& quirks) {
        if (const DWORD error = GiveTimesAndAttributes(part_.Handle(), basic_, destination_, quirks)) return error;
        // A replaced file that is kept leaves the name by a rename of its own just before the copy
        // takes it, so that at any moment it is in its place or among the versions. Two renames, not
        // the platform's replace-with-backup call: that one wants the new file closed and unshared
        // (ours is removed through its handle should anything fail), gives it the old file's creation
        // time and permissions, and under Wine leaves the name missing in between all the same.
        ReplacedFile replaced;
        if (!keepAs_.empty()) {
            if (const DWORD error = replaced.MoveAside(destination_, keepAs_)) return error;
        }
        if (const DWORD error = MoveIntoPlace(part_, destination_)) {
            replaced.PutBack();
            return error;
        }
        // The first copy onto a volume finds out whether its times survive the rename; until that is
        // known, and from then on where they do not, the times are given (once more) after it. It is
        // a copy with a time every FAT drive holds: one of 1975 reads back wrongly on a drive that
        // keeps other times well.
        const auto written = static_cast<std::uint64_t>(basic_.LastWriteTime.QuadPart);
        if (HeldByEveryFatVolume(written) && quirks.Mark(destination_, VolumeQuirks::kTimesChecked)) {
            part_.Close();  // the time as the file system keeps it once the file is closed
            CheckTimesKept(destination_, basic_, quirks);
        } else if (!quirks.Has(destination_, VolumeQuirks::kTimesCheckDone) ||
                   quirks.Has(destination_, VolumeQuirks::kTimesAfterRename)) {
            SetTimesAgain(part_.Handle(), basic_);
        }
        return ERROR_SUCCESS;
    }

private:
    std::wstring from_;
    std::wstring destination_;
    std::wstring keepAs_;  // empty: the replaced file is not kept
    FILE_BASIC_INFO basic_{};  // the source's times and attributes, as the destination can hold them
    PartialFile part_;
};

}  // namespace

std::uint32_t Win32FileSystem::CopyWithProgress(const std::wstring& from, const std::wstring& to,
                                                const CopyProgress& progress, const std::atomic<int>& cancel) {
    return Copy(from, to, {}, progress, cancel);
}

std::uint32_t Win32FileSystem::CopyKeepingReplaced(const std::wstring& from, const std::wstring& to,
                                                   const std::wstring& keepAs, const CopyProgress& progress,
                                                   const std::atomic<int>& cancel) {
    return Copy(from, to, keepAs, progress, cancel);
}

// The flushes of several copies overlap on the run's copy threads. Writing a batch of files first
// and flushing them together before renaming any was measured too (see docs/developers.md): on
// exFAT's FUSE driver, whose flush puts every pending write of the volume on disk, the threads
// already share their flushes so, and it gained 4%; on the FUSE FAT driver, whose flush costs
// nothing and whose every look-up walks the folder entry by entry, the temporary files waiting
// in the folder cost 33%.
std::uint32_t Win32FileSystem::Copy(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                    const CopyProgress& progress, const std::atomic<int>& cancel) {
    PendingCopy copy(from, to, keepAs, uniquePart_);
    if (const DWORD error = copy.Write(ProgressReport(progress, cancel), quirks_)) return error;
    if (const DWORD error = copy.Flush()) return error;
    return copy.Place(quirks_);
}

}  // namespace copperfold
