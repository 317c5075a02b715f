// Windows file access for the rig. The lock is LockFileEx on byte 0 of the lock file; under
// Wine a lock that a native process holds makes LockFileEx fail at once instead of waiting, so
// a failed attempt is retried for a while.
#include <windows.h>

#include <algorithm>

#include "common/core/text_codec.h"
#include "common/win32/unique_handle.h"
#include "rig/core/rig_files.h"

namespace rig {
namespace {

constexpr DWORD kLockRetryMilliseconds = 5;
constexpr DWORD kLockGiveUpMilliseconds = 30000;

std::wstring Wide(const std::string& path) { return common::Utf8ToWide(path); }

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(offset);
    overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return overlapped;
}

class Win32File final : public File {
public:
    explicit Win32File(HANDLE handle) : handle_(handle) {}

    bool Size(std::uint64_t& size) override {
        LARGE_INTEGER value{};
        if (!::GetFileSizeEx(handle_.get(), &value)) return false;
        size = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
        got = 0;
        while (got < out.size()) {
            OVERLAPPED overlapped = At(offset + got);
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 20));
            if (!::ReadFile(handle_.get(), out.data() + got, want, &n, &overlapped)) {
                if (::GetLastError() == ERROR_HANDLE_EOF) break;
                return false;
            }
            if (n == 0) break;
            got += n;
        }
        return true;
    }

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            OVERLAPPED overlapped = At(offset + done);
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            if (!::WriteFile(handle_.get(), bytes.data() + done, want, &n, &overlapped) || n == 0) return false;
            done += n;
        }
        return true;
    }

    bool Truncate(std::uint64_t size) override {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(size);
        return ::SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle_.get());
    }

private:
    win32::UniqueFile handle_;
};

class Win32Lock final : public FileLock {
public:
    explicit Win32Lock(win32::UniqueFile handle) : handle_(std::move(handle)) {}
    ~Win32Lock() override {
        OVERLAPPED overlapped = At(0);
        ::UnlockFileEx(handle_.get(), 0, 1, 0, &overlapped);
    }
    Win32Lock(const Win32Lock&) = delete;
    Win32Lock& operator=(const Win32Lock&) = delete;

private:
    win32::UniqueFile handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Win32FileSystem final : public FileSystem {
public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode, OpenStatus& status) override {
        const DWORD access = mode == OpenMode::ReadOnly ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
        const DWORD disposition = mode == OpenMode::ReadOnly ? OPEN_EXISTING : OPEN_ALWAYS;
        const HANDLE handle =
            ::CreateFileW(Wide(path).c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            status = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? OpenStatus::Missing
                                                                                      : OpenStatus::Failed;
            return nullptr;
        }
        status = OpenStatus::Ok;
        return std::make_unique<Win32File>(handle);
    }

    std::unique_ptr<FileLock> Lock(const std::string& path) override {
        win32::UniqueFile handle(::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) return nullptr;
        for (DWORD waited = 0;; waited += kLockRetryMilliseconds) {
            OVERLAPPED overlapped = At(0);
            if (::LockFileEx(handle.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped)) break;
            if (waited >= kLockGiveUpMilliseconds) return nullptr;
            ::Sleep(kLockRetryMilliseconds);
        }
        return std::make_unique<Win32Lock>(std::move(handle));
    }

    bool Remove(const std::string& path) override {
        if (::DeleteFileW(Wide(path).c_str())) return true;
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
};

}  // namespace

FileSystem& PlatformFileSystem() {
    static Win32FileSystem files;
    return files;
}

}  // namespace rig
