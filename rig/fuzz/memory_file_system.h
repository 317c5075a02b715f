#pragma once
// Files in memory for the fuzz targets: what the rig writes stays for the run and is never on disk.

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rig/core/rig_files.h"

namespace rig_fuzz {

class MemoryFileSystem final : public rig::FileSystem {
public:
    std::unique_ptr<rig::File> Open(const std::string& path, rig::OpenMode mode, rig::OpenStatus& status) override {
        auto found = files_.find(path);
        if (found == files_.end()) {
            if (mode == rig::OpenMode::ReadOnly) {
                status = rig::OpenStatus::Missing;
                return nullptr;
            }
            found = files_.emplace(path, std::vector<std::uint8_t>()).first;
        }
        status = rig::OpenStatus::Ok;
        return std::make_unique<MemoryFile>(found->second);
    }
    std::unique_ptr<rig::FileLock> Lock(const std::string&) override { return std::make_unique<rig::FileLock>(); }
    bool Remove(const std::string& path) override {
        files_.erase(path);
        return true;
    }

private:
    class MemoryFile final : public rig::File {
    public:
        explicit MemoryFile(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
        bool Size(std::uint64_t& size) override {
            size = bytes_.size();
            return true;
        }
        bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
            got = offset >= bytes_.size() ? 0 : std::min<std::size_t>(out.size(), bytes_.size() - offset);
            std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(offset, bytes_.size())),
                        got, out.begin());
            return true;
        }
        bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
            if (offset + bytes.size() > (64u << 20)) return false;  // a bound for the fuzzer's memory
            if (bytes_.size() < offset + bytes.size()) bytes_.resize(offset + bytes.size());
            std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
            return true;
        }
        bool Truncate(std::uint64_t size) override {
            if (size > (64u << 20)) return false;
            bytes_.resize(size);
            return true;
        }

    private:
        std::vector<std::uint8_t>& bytes_;
    };

    std::map<std::string, std::vector<std::uint8_t>> files_;
};

}  // namespace rig_fuzz
