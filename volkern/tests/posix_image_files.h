#pragma once
// Image files for the host tests: sparse files made with ftruncate, written with pwrite.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "volkern/core/build_operations.h"

namespace volkern_test {

class PosixImage final : public volkern::ImageFile {
public:
    PosixImage(int fd, std::string path, bool fresh) : fd_(fd), path_(std::move(path)), fresh_(fresh) {}
    ~PosixImage() override {
        ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }
    PosixImage(const PosixImage&) = delete;
    PosixImage& operator=(const PosixImage&) = delete;

    bool Write(std::uint64_t sector, std::span<const std::uint8_t> data) override {
        return ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(sector * volkern::kSectorSize)) ==
               static_cast<ssize_t>(data.size());
    }
    bool Read(std::uint64_t sector, std::span<std::uint8_t> data) override {
        const ssize_t got = ::pread(fd_, data.data(), data.size(), static_cast<off_t>(sector * volkern::kSectorSize));
        if (got < 0) return false;
        // Past the end of the file an image reads as zero.
        std::fill(data.begin() + got, data.end(), std::uint8_t{0});
        return true;
    }
    bool Zero(std::uint64_t sector, std::uint64_t count) override {
        return fresh_ || SectorSink::Zero(sector, count);
    }
    bool Keep() override {
        kept_ = ::fsync(fd_) == 0;
        return kept_;
    }

private:
    int fd_;
    std::string path_;
    bool fresh_;
    bool kept_ = false;
};

class PosixImageFiles final : public volkern::ImageFiles {
public:
    std::unique_ptr<volkern::ImageFile> Create(const std::string& path, std::uint64_t sectors, bool replace,
                                               std::uint32_t& error) override {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | (replace ? O_TRUNC : O_EXCL), 0644);
        if (fd < 0) {
            error = errno == EEXIST ? VOLKERN_ERROR_TARGET_EXISTS : VOLKERN_ERROR_OPEN_FAILED;
            return nullptr;
        }
        if (::ftruncate(fd, static_cast<off_t>(sectors * volkern::kSectorSize)) != 0) {
            ::close(fd);
            ::unlink(path.c_str());
            error = VOLKERN_ERROR_WRITE_FAILED;
            return nullptr;
        }
        return std::make_unique<PosixImage>(fd, path, true);
    }
    std::unique_ptr<volkern::SectorSink> OpenForReading(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) return nullptr;
        auto image = std::make_unique<PosixImage>(fd, path, false);
        image->Keep();
        return image;
    }
};

}  // namespace volkern_test
