#include "dump_folder_win32.h"

#include <windows.h>

namespace corelink::com {
namespace {

class AnsiFile final : public corelink::DumpFile {
public:
    explicit AnsiFile(HANDLE handle) : handle_(handle) {}
    ~AnsiFile() override { ::CloseHandle(handle_); }
    AnsiFile(const AnsiFile&) = delete;
    AnsiFile& operator=(const AnsiFile&) = delete;

    bool Write(std::span<const std::uint8_t> bytes) override {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            DWORD written = 0;
            if (!::WriteFile(handle_, bytes.data() + done, piece, &written, nullptr) || written == 0) return false;
            done += written;
        }
        return true;
    }

private:
    HANDLE handle_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A folder that exists, or was created now.
bool MakeFolder(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

AnsiDumpFolder::AnsiDumpFolder(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && !IsSeparator(folder_.back())) folder_ += '\\';
}

std::string AnsiDumpFolder::Within(const std::string& subfolder) const {
    return subfolder.empty() ? folder_ : folder_ + subfolder + "\\";
}

bool AnsiDumpFolder::Prepare(const std::string& subfolder) {
    if (folder_.empty() || !MakeFolder(folder_.substr(0, folder_.size() - 1))) return false;
    return subfolder.empty() || MakeFolder(folder_ + subfolder);
}

std::unique_ptr<corelink::DumpFile> AnsiDumpFolder::Create(const std::string& subfolder, const std::string& name) {
    // Names come from the operations' fixed texts and numbers; anything that could leave the
    // folder is refused all the same.
    for (const std::string* part : {&subfolder, &name}) {
        if (part->find_first_of("\\/:") != std::string::npos || *part == "." || *part == "..") return nullptr;
    }
    if (name.empty() || folder_.empty()) return nullptr;
    const std::string path = Within(subfolder) + name;
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<AnsiFile>(handle);
}

}  // namespace corelink::com
