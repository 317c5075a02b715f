// POSIX file access for the host build of CIniFile.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

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

    bool ReplaceAtomically(const std::wstring& path, std::string_view bytes) override {
        const auto name = WideToUtf8(path);
        if (!name) return false;
        struct stat old {};
        const bool existed = ::stat(name->c_str(), &old) == 0;
        // A file without write permission is the user's word that it must not change.
        if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0)) return false;
        const mode_t mode = existed ? (old.st_mode & 07777) : 0644;
        RemoveStaleTempFiles(path);
        // A new file only: a name that is taken is never opened; the next counter is tried.
        static std::atomic<std::uint32_t> counter{0};
        std::string temp;
        int fd = -1;
        for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
            const auto tempName = WideToUtf8(SettingsTempPath(path, static_cast<std::uint32_t>(::getpid()),
                                                              counter.fetch_add(1)));
            if (!tempName) return false;
            temp = *tempName;
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) return false;
        }
        if (fd < 0) return false;
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
        if (!ok) ::unlink(temp.c_str());
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
