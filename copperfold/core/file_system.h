#pragma once
// What the copy engine needs of a file system. The Windows build implements it with the
// platform's calls (long paths, fail-safe copies); tests use an in-memory one.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace copperfold {

inline constexpr std::uint32_t kAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kAttributeHidden = 0x02;
inline constexpr std::uint32_t kAttributeDirectory = 0x10;

inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorNotAFolder = 267;       // a file where a folder was expected
inline constexpr std::uint32_t kErrorRequestAborted = 1235;  // a copy stopped by the cancel flag
// A copy whose source changed (its size or last-write time) while it was read: an error of our
// own (bit 29 marks codes the system never uses).
inline constexpr std::uint32_t kErrorSourceChanged = 0x2000'0001;

struct FileEntry {
    std::wstring name;
    std::uint32_t attributes = 0;
    std::uint64_t lastWriteTime = 0;  // 100 ns units since 1601, compared as unsigned
    std::uint64_t size = 0;

    bool IsFolder() const { return (attributes & kAttributeDirectory) != 0; }
    bool IsHidden() const { return (attributes & kAttributeHidden) != 0; }
};

// What a run needs to know of the volume a path lies on: its file system's name (which decides
// how finely it keeps times and how large a file it holds) and its free space. Unknown facts stay
// empty or 0, and then nothing is decided on them.
struct VolumeFacts {
    std::wstring root;        // the volume's root as the walks spell it ("E:\"); empty when unknown
    std::wstring fileSystem;  // "NTFS", "FAT32", "exFAT", ...; empty when unknown
    bool freeSpaceKnown = false;
    std::uint64_t freeBytes = 0;     // what the running user may still write there
    std::uint32_t clusterBytes = 0;  // the unit files take space in; 0 when unknown
};

enum class CopyProgressReason { ChunkFinished = 0, StreamSwitch = 1 };

// Progress of one file copy: the file's size and the bytes transferred so far. Answers false
// to stop the copy.
using CopyProgress =
    std::function<bool(std::uint64_t totalFileSize, std::uint64_t totalTransferred, CopyProgressReason reason)>;

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The entries of a folder, without "." and "..", in the system's listing order. False when
    // the folder cannot be listed.
    virtual bool List(const std::wstring& folder, std::vector<FileEntry>& entries) = 0;
    // True when the path names an entry; for a drive root ("E:\"), when the root has any entry.
    virtual bool Exists(const std::wstring& path) = 0;
    // The entry a path names as it is now (its name is the path's last part); false when there is
    // none. For a walk that has to act on an entry as it is, not as a listing saw it.
    virtual bool LookUp(const std::wstring& path, FileEntry& entry) = 0;
    // Creates one folder. False when it could not be created (also when it exists already).
    virtual bool CreateFolder(const std::wstring& path) = 0;
    virtual bool SetAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
    // The platform's full-path form of a full path (see PlatformFullPath); empty when the system
    // cannot make one.
    virtual std::wstring FullPath(const std::wstring& path) = 0;
    // The path an existing entry resolves to once the system has followed drive aliases, links
    // and mount points; empty when the entry does not exist or cannot be resolved.
    virtual std::wstring FinalPath(const std::wstring& path) = 0;
    // Temporary files of our copier: recognised by what marks them as ours (never by their
    // attributes alone), so a user's file is never taken for one. The walks skip them, and remove
    // those they meet in folders the run writes to, so a later run cleans up after one that was
    // killed. The removal leaves a file alone while a copy still writes it.
    virtual bool IsPartialCopy(const FileEntry& entry) const = 0;
    virtual void RemovePartialCopy(const std::wstring& path) = 0;
    // Copies a file over `to`. The destination is replaced only by a complete copy: a copy that
    // fails or is cancelled leaves the previous file (or no file) under that name, and no file
    // of the user's is ever written but the destination. Attributes and last-write time are
    // carried over. `progress` is called with StreamSwitch at the start and ChunkFinished after
    // every chunk; the copy stops between chunks when `progress` answers false or `cancel` is
    // nonzero. A source that another program changed while it was read (its size or last-write
    // time is not what it was when the copy opened it) gives no copy: its bytes may be part old,
    // part new, under a time that a later comparison takes for the new file's. Returns 0 or the
    // system error code (kErrorRequestAborted for a stop, kErrorSourceChanged for such a source).
    virtual std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) = 0;
    // As CopyWithProgress, keeping the file the copy replaces: just before the copy takes the name
    // `to`, the file there goes, by a rename on its own volume (no data copied), to `keepAs` (a
    // name no entry has, in a folder that exists). A copy that fails or is cancelled leaves it at
    // `to`. Whatever the moment a crash comes, the replaced file is at `to` or at `keepAs`, and
    // the copy in place or in a temporary file that a later run removes. Nothing to replace: a
    // plain copy.
    virtual std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                              const CopyProgress& progress, const std::atomic<int>& cancel) = 0;
    // Removes a folder with everything in it, never through a link, junction or other reparse
    // point: such an entry is removed itself where the platform removes the link and not what it
    // points to, and is otherwise left in place (and the folders above it with it). Returns 0
    // when all of it is gone, else the system's error for what stayed.
    virtual std::uint32_t RemoveTree(const std::wstring& folder) = 0;
    // The facts of the volume `path` lies on (the path need not exist yet). Asked once per job
    // side in a run's estimate.
    virtual VolumeFacts Volume(const std::wstring& /*path*/) { return {}; }
    // Why `path` cannot be reached now, asked after a listing or a look-up of it failed: 0 when it
    // can be (a file, or a folder that can be listed) or when the file system cannot tell,
    // kErrorFileNotFound or kErrorPathNotFound when nothing bears that name, otherwise the
    // system's error code. For a volume's root ("E:\", "\\server\share\"): nonzero when the volume
    // is not there (its letter went away, its device or its driver stopped answering).
    virtual std::uint32_t AccessError(const std::wstring& /*path*/) { return 0; }
    // The volume of `root` keeps last-write times in local time from 1980 to 2107 only (FAT and
    // exFAT, see file_times.h): from now on, a copy there gets its source's times brought into
    // that range. Told by the run before it copies anything there.
    virtual void LimitTimesToFatRange(const std::wstring& /*root*/) {}
    // How many small-file copies may run at once, each on a thread of its own (CopyWithProgress
    // called from several threads, for different destinations). 1: one thread at a time.
    virtual int CopyConcurrency() const { return 1; }
};

}  // namespace copperfold
