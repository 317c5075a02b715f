#pragma once
// How the rig reaches its files: positioned reads and writes, and an exclusive lock that holds
// across processes (and across threads of one process). Paths are UTF-8. The host build uses
// POSIX calls (rig/posix), the Windows build the platform's file calls (rig/win32).

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace rig {

class File {
public:
    virtual ~File() = default;
    virtual bool Size(std::uint64_t& size) = 0;
    // Reads up to out.size() bytes; `got` is short only at the end of the file.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) = 0;
    virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool Truncate(std::uint64_t size) = 0;
};

// Held while it lives; released when destroyed.
class FileLock {
public:
    virtual ~FileLock() = default;
};

enum class OpenMode {
    ReadOnly,   // an existing file
    ReadWrite,  // created when missing
};

enum class OpenStatus { Ok, Missing, Failed };

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode, OpenStatus& status) = 0;
    // Waits for the exclusive lock on `path` (created when missing); null when it cannot be had.
    virtual std::unique_ptr<FileLock> Lock(const std::string& path) = 0;
    // True when the file is gone afterwards (also when it never existed).
    virtual bool Remove(const std::string& path) = 0;
};

FileSystem& PlatformFileSystem();

enum class ReadStatus { Ok, Missing, Failed, TooLarge };

// Whole-file read of at most `limit` bytes.
ReadStatus ReadWholeFile(FileSystem& files, const std::string& path, std::size_t limit, std::string& bytes);

}  // namespace rig
