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

inline constexpr std::uint32_t kErrorRequestAborted = 1235;  // a copy stopped by the cancel flag

struct FileEntry {
    std::wstring name;
    std::uint32_t attributes = 0;
    std::uint64_t lastWriteTime = 0;  // 100 ns units since 1601, compared as unsigned
    std::uint64_t size = 0;

    bool IsFolder() const { return (attributes & kAttributeDirectory) != 0; }
    bool IsHidden() const { return (attributes & kAttributeHidden) != 0; }
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
    // Creates one folder. False when it could not be created (also when it exists already).
    virtual bool CreateFolder(const std::wstring& path) = 0;
    virtual bool SetAttributes(const std::wstring& path, std::uint32_t attributes) = 0;
    // Copies a file over `to`. The destination is replaced only by a complete copy: a copy that
    // fails or is cancelled leaves the previous file (or no file) under that name. Attributes
    // and last-write time are carried over. `progress` is called with StreamSwitch at the start
    // and ChunkFinished after every chunk; the copy stops between chunks when `progress`
    // answers false or `cancel` is nonzero. Returns 0 or the system error code
    // (kErrorRequestAborted for a stop).
    // Hidden files the copier leaves behind when a run is killed mid-copy, and their removal;
    // the walks remove those they meet, so a later run cleans up after an interrupted one.
    virtual bool IsPartialCopy(const FileEntry& entry) const = 0;
    virtual void RemovePartialCopy(const std::wstring& path) = 0;
    virtual std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>& cancel) = 0;
};

}  // namespace copperfold
