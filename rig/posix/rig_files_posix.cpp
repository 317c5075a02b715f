// POSIX file access for the rig. The lock is an open-file-description lock on byte 0 of the
// lock file: it excludes other processes, other threads (each lock opens its own descriptor)
// and Windows programs under Wine, whose server takes POSIX record locks for LockFileEx.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rig/core/rig_files.h"

namespace rig {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

class PosixFile final : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}

    bool Size(std::uint64_t& size) override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) return false;
        size = static_cast<std::uint64_t>(info.st_size);
        return true;
    }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
        got = 0;
        while (got < out.size()) {
            const ssize_t n = ::pread(fd_.get(), out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Truncate(std::uint64_t size) override { return ::ftruncate(fd_.get(), static_cast<off_t>(size)) == 0; }

private:
    Descriptor fd_;
};

class PosixLock final : public FileLock {
public:
    explicit PosixLock(int fd) : fd_(fd) {}  // closing the descriptor releases the lock

private:
    Descriptor fd_;
};

bool LockExclusively(int fd) {
#ifdef F_OFD_SETLKW
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 1;
    while (::fcntl(fd, F_OFD_SETLKW, &range) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
#else
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
#endif
}

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode, OpenStatus& status) override {
        const int flags = mode == OpenMode::ReadOnly ? O_RDONLY : (O_RDWR | O_CREAT);
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0) {
            status = (errno == ENOENT || errno == ENOTDIR) ? OpenStatus::Missing : OpenStatus::Failed;
            return nullptr;
        }
        status = OpenStatus::Ok;
        return std::make_unique<PosixFile>(fd);
    }

    std::unique_ptr<FileLock> Lock(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return nullptr;
        auto lock = std::make_unique<PosixLock>(fd);
        if (!LockExclusively(fd)) return nullptr;
        return lock;
    }

    bool Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }
};

}  // namespace

FileSystem& PlatformFileSystem() {
    static PosixFileSystem files;
    return files;
}

}  // namespace rig
