#pragma once
// The medium of an enclosure on disk: a sparse image that stores only the blocks written so
// far (format: rig/README.md). Opened per command under the rig's lock, so programs in
// several processes see one medium.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "block_store.h"
#include "rig_files.h"

namespace rig {

class SparseImage final : public BlockStore {
public:
    SparseImage(FileSystem& files, std::string path, std::uint32_t blockSize, std::uint64_t blockCount);

    bool Read(std::uint64_t lba, std::span<std::uint8_t> out) override;
    bool Write(std::uint64_t lba, std::span<const std::uint8_t> blocks) override;

private:
    enum class Need { Existing, Created };
    // Opens the file once and indexes its records; false when it is unusable. With
    // Need::Existing a missing file is fine and leaves file_ empty.
    bool Load(Need need);

    FileSystem& files_;
    std::string path_;
    std::uint32_t blockSize_;
    std::uint64_t blockCount_;
    std::unique_ptr<File> file_;
    bool loaded_ = false;
    std::map<std::uint64_t, std::uint64_t> index_;  // LBA -> offset of its data
    std::uint64_t end_ = 0;                         // where the next record goes
};

}  // namespace rig
