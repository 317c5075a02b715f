#include "image_files_win32.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "common/win32/unique_handle.h"

namespace volkern::win32_glue {
namespace {

bool SeekTo(HANDLE file, std::uint64_t sector) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(sector * kSectorSize);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
}

class Win32Image final : public ImageFile {
public:
    Win32Image(win32::UniqueFile file, std::string path, bool fresh)
        : file_(std::move(file)), path_(std::move(path)), fresh_(fresh) {}
    ~Win32Image() override {
        file_.reset();
        if (fresh_ && !kept_) ::DeleteFileA(path_.c_str());
    }
    Win32Image(const Win32Image&) = delete;
    Win32Image& operator=(const Win32Image&) = delete;

    bool Write(std::uint64_t sector, std::span<const std::uint8_t> data) override {
        if (!SeekTo(file_.get(), sector)) return false;
        DWORD written = 0;
        return ::WriteFile(file_.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
               written == data.size();
    }
    bool Read(std::uint64_t sector, std::span<std::uint8_t> data) override {
        if (!SeekTo(file_.get(), sector)) return false;
        DWORD read = 0;
        if (!::ReadFile(file_.get(), data.data(), static_cast<DWORD>(data.size()), &read, nullptr)) return false;
        // Past the end of the file an image reads as zero.
        std::fill(data.begin() + read, data.end(), std::uint8_t{0});
        return true;
    }
    // A new file's sectors read as zero: nothing to write, and a sparse file stays sparse.
    bool Zero(std::uint64_t sector, std::uint64_t count) override {
        return fresh_ || SectorSink::Zero(sector, count);
    }
    // Marks the file sparse (a volume that cannot is fine: the file is then only larger on disk)
    // and sets its size.
    bool Extend(std::uint64_t sectors) {
        DWORD returned = 0;
        ::DeviceIoControl(file_.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        return SeekTo(file_.get(), sectors) && ::SetEndOfFile(file_.get()) != 0;
    }
    bool Keep() override {
        kept_ = ::FlushFileBuffers(file_.get()) != 0;
        return kept_;
    }

private:
    win32::UniqueFile file_;
    std::string path_;
    bool fresh_;
    bool kept_ = false;
};

}  // namespace

std::unique_ptr<ImageFile> Win32ImageFiles::Create(const std::string& path, std::uint64_t sectors, bool replace,
                                                   std::uint32_t& error) {
    win32::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD why = ::GetLastError();
        error = why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS ? VOLKERN_ERROR_TARGET_EXISTS
                                                                         : VOLKERN_ERROR_OPEN_FAILED;
        return nullptr;
    }
    // From here on the object owns the new file and removes it unless the build keeps it.
    auto image = std::make_unique<Win32Image>(std::move(file), path, true);
    if (!image->Extend(sectors)) {
        error = VOLKERN_ERROR_WRITE_FAILED;
        return nullptr;
    }
    return image;
}

std::unique_ptr<SectorSink> Win32ImageFiles::OpenForReading(const std::string& path) {
    win32::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32Image>(std::move(file), path, false);
}

}  // namespace volkern::win32_glue
