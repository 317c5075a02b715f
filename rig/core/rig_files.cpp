#include "rig_files.h"

namespace rig {

ReadStatus ReadWholeFile(FileSystem& files, const std::string& path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    OpenStatus status = OpenStatus::Ok;
    const auto file = files.Open(path, OpenMode::ReadOnly, status);
    if (!file) return status == OpenStatus::Missing ? ReadStatus::Missing : ReadStatus::Failed;
    std::uint64_t size = 0;
    if (!file->Size(size)) return ReadStatus::Failed;
    if (size > limit) return ReadStatus::TooLarge;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = 0;
    if (!file->ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()), got)) {
        bytes.clear();
        return ReadStatus::Failed;
    }
    bytes.resize(got);
    return ReadStatus::Ok;
}

}  // namespace rig
