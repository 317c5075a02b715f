#pragma once
// How CIniFile reaches the file system: whole-file reads, atomic whole-file replacement, and a
// lock that several processes take in turn around a read, change and replacement of one file.
// The Windows build uses the platform's file calls, the host build POSIX calls, and tests
// may inject failures.

#include <memory>
#include <string>
#include <string_view>

#include "text_codec.h"

namespace common {

struct FileBytes {
    enum class Status { Ok, Missing, Unreadable };
    Status status = Status::Missing;
    std::string bytes;
};

// Held by one process while it reads, changes and replaces a file; released when destroyed.
class FileUpdateLock {
public:
    virtual ~FileUpdateLock() = default;
};

class IniFileAccess {
public:
    virtual ~IniFileAccess() = default;
    virtual FileBytes Read(const std::wstring& path) const = 0;
    // Writes the bytes to a temporary file in the same folder, flushes it and renames it over
    // the file. Returns false when any step fails, with the reason in `failure` (the system's
    // words where it has them); the previous file is then left intact.
    virtual bool ReplaceAtomically(const std::wstring& path, std::string_view bytes, std::wstring& failure) = 0;
    // Waits a bounded time for the update lock of `path`; null with the reason in `failure`
    // when it was not had. The file itself stays readable by everyone meanwhile.
    virtual std::unique_ptr<FileUpdateLock> LockForUpdate(const std::wstring& path, std::wstring& failure) = 0;
    virtual const CodePage& SystemCodePage() const = 0;
};

// Reasons of our own (English; the programs translate them like every other text).
inline constexpr std::wstring_view kFileReadOnlyReason = L"the file is read-only";
inline constexpr std::wstring_view kFileUnreadableReason =
    L"the file exists but could not be read, so writing it would lose what it holds";
inline constexpr std::wstring_view kFileLockedReason = L"another program kept the file busy for too long";
inline constexpr std::wstring_view kUnstorableTextReason = L"a name or value holds a character the file cannot store";

// How long LockForUpdate waits for another process to finish its update.
inline constexpr unsigned kUpdateLockWaitMs = 10000;

// The platform's implementation (defined in the platform's own source file).
std::shared_ptr<IniFileAccess> PlatformIniFileAccess();

}  // namespace common
