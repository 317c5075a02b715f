// POSIX file access for the host build of CIniFile.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "../core/ini_file_access.h"

namespace common {
namespace {

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
        static std::atomic<unsigned> counter{0};
        const std::string temp = *name + ".~" + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        struct stat old {};
        const bool existed = ::stat(name->c_str(), &old) == 0;
        // A file without write permission is the user's word that it must not change.
        if (existed && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0)) return false;
        const mode_t mode = existed ? (old.st_mode & 07777) : 0644;
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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
