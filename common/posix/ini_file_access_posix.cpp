// POSIX file access for the host build of CIniFile.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "../core/ini_file_access.h"
#include "../core/settings_temp_name.h"

namespace common {
namespace {

// Temporary files of earlier writes to `path` whose writers crashed (the process is gone).
void RemoveStaleTempFiles(const std::wstring& path) {
    const std::wstring_view settingsName = FileNameOf(path);
    const auto folder = WideToUtf8(path.substr(0, path.size() - settingsName.size()));
    if (!folder) return;
    DIR* directory = ::opendir(folder->empty() ? "." : folder->c_str());
    if (!directory) return;
    while (const dirent* entry = ::readdir(directory)) {
        const std::optional<std::uint32_t> owner = SettingsTempOwner(Utf8ToWide(entry->d_name), settingsName);
        if (!owner || *owner == static_cast<std::uint32_t>(::getpid())) continue;
        if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
        ::unlink((*folder + entry->d_name).c_str());
    }
    ::closedir(directory);
}

std::wstring ErrnoReason(int error) {
    return Utf8ToWide(std::strerror(error)) + L" (errno " + std::to_wstring(error) + L")";
}

// An advisory lock on "<file>.lock" beside the file, removed and released at the end (a waiter
// that had opened the removed file sees that it is gone and opens the new one).
class LockFile final : public FileUpdateLock {
public:
    LockFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~LockFile() override {
        ::unlink(path_.c_str());
        ::close(fd_);
    }

private:
    int fd_;
    std::string path_;
};

// True when `fd` is still the file at `path` (not one removed by the lock's last holder).
bool StillAt(int fd, const std::string& path) {
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
           opened.st_dev == named.st_dev;
}

class PosixIniFileAccess final : public IniFileAccess {
public:
    FileBytes Read(const std::wstring& path) const override {
        FileBytes result;
        const auto name = WideToUtf8(path);
        if (!name) return {FileBytes::Status::Unreadable, {}};
        const int fd = ::open(name->c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            result.status = (errno == ENOENT || errno == ENOTDIR) ? FileBytes::Status::Missing
                                                                  : FileBytes::Status::Unreadable;
            return result;
        }
        result.status = FileBytes::Status::Ok;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR) continue;
                result = {FileBytes::Status::Unreadable, {}};
                break;
            }
            if (got == 0) break;
            result.bytes.append(buffer, static_cast<size_t>(got));
        }
        ::close(fd);
        return result;
    }

    std::unique_ptr<FileUpdateLock> LockForUpdate(const std::wstring& path, std::wstring& failure) override {
        const auto name = WideToUtf8(path + L".lock");
        if (!name) {
            failure = kUnstorableTextReason;
            return nullptr;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kUpdateLockWaitMs);
        for (;;) {
            const int fd = ::open(name->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) {
                failure = ErrnoReason(errno);
                return nullptr;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                if (StillAt(fd, *name)) return std::make_unique<LockFile>(fd, *name);
                ::close(fd);
                continue;
            }
            const int error = errno;
            ::close(fd);
            if (error != EWOULDBLOCK && error != EINTR) {
                failure = ErrnoReason(error);
                return nullptr;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                failure = kFileLockedReason;
                return nullptr;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    }

    bool ReplaceAtomically(const std::wstring& path, std::string_view bytes, std::wstring& failure) override {
        const auto name = WideToUtf8(path);
        if (!name) {
            failure = kUnstorableTextReason;
            return false;
        }
        struct stat old {};
        const bool existed = ::stat(name->c_str(), &old) == 0;
        // A file without write permission is the user's word that it must not change.
        if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0)) {
            failure = S_ISREG(old.st_mode) ? std::wstring(kFileReadOnlyReason) : ErrnoReason(EISDIR);
            return false;
        }
        const mode_t mode = existed ? (old.st_mode & 07777) : 0644;
        RemoveStaleTempFiles(path);
        // A new file only: a name that is taken is never opened; the next counter is tried.
        static std::atomic<std::uint32_t> counter{0};
        std::string temp;
        int fd = -1;
        for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
            const auto tempName = WideToUtf8(SettingsTempPath(path, static_cast<std::uint32_t>(::getpid()),
                                                              counter.fetch_add(1)));
            if (!tempName) {
                failure = kUnstorableTextReason;
                return false;
            }
            temp = *tempName;
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) {
                failure = ErrnoReason(errno);
                return false;
            }
        }
        if (fd < 0) {
            failure = ErrnoReason(EEXIST);
            return false;
        }
        bool ok = ::fchmod(fd, mode) == 0;
        for (size_t done = 0; ok && done < bytes.size();) {
            const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (put < 0 && errno == EINTR) continue;
            ok = put > 0;
            if (ok) done += static_cast<size_t>(put);
        }
        ok = ok && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        ok = ok && ::rename(temp.c_str(), name->c_str()) == 0;
        if (!ok) {
            failure = ErrnoReason(errno);
            ::unlink(temp.c_str());
        }
        return ok;
    }

    const CodePage& SystemCodePage() const override { return Windows1252CodePage(); }
};

}  // namespace

std::shared_ptr<IniFileAccess> PlatformIniFileAccess() {
    static const auto instance = std::make_shared<PosixIniFileAccess>();
    return instance;
}

}  // namespace common
