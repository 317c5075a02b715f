#include "sparse_image.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "little_endian.h"

namespace rig {
namespace {

constexpr char kMagic[8] = {'R', 'I', 'G', 'I', 'M', 'A', 'G', 'E'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint64_t kHeaderSize = 16;
constexpr std::size_t kLbaSize = 8;

}  // namespace

SparseImage::SparseImage(FileSystem& files, std::string path, std::uint32_t blockSize, std::uint64_t blockCount)
    : files_(files), path_(std::move(path)), blockSize_(blockSize), blockCount_(blockCount) {}

bool SparseImage::Load(Need need) {
    if (loaded_ && (file_ || need == Need::Existing)) return true;
    OpenStatus status = OpenStatus::Ok;
    file_ = files_.Open(path_, need == Need::Created ? OpenMode::ReadWrite : OpenMode::ReadOnly, status);
    if (!file_) {
        loaded_ = status == OpenStatus::Missing && need == Need::Existing;
        return loaded_;
    }
    std::uint64_t size = 0;
    if (!file_->Size(size)) return false;
    std::array<std::uint8_t, kHeaderSize> header{};
    std::memcpy(header.data(), kMagic, sizeof kMagic);
    PutLittle(&header[8], kVersion, 4);
    PutLittle(&header[12], blockSize_, 4);
    if (size == 0) {
        if (need == Need::Existing) {
            file_.reset();
            loaded_ = true;
            return true;
        }
        if (!file_->WriteAt(0, header)) return false;
        size = kHeaderSize;
    } else {
        std::array<std::uint8_t, kHeaderSize> found{};
        std::size_t got = 0;
        if (!file_->ReadAt(0, found, got) || got != kHeaderSize || found != header) return false;
    }
    const std::uint64_t recordSize = kLbaSize + blockSize_;
    index_.clear();
    std::uint64_t offset = kHeaderSize;
    // A torn record at the end (an interrupted write) is ignored and later overwritten.
    for (; offset + recordSize <= size; offset += recordSize) {
        std::array<std::uint8_t, kLbaSize> key{};
        std::size_t got = 0;
        if (!file_->ReadAt(offset, key, got) || got != kLbaSize) return false;
        const std::uint64_t lba = GetLittle(key.data(), kLbaSize);
        if (lba < blockCount_) index_[lba] = offset + kLbaSize;
    }
    end_ = offset;
    loaded_ = true;
    return true;
}

bool SparseImage::Read(std::uint64_t lba, std::span<std::uint8_t> out) {
    if (!Load(Need::Existing)) return false;
    for (std::size_t done = 0; done + blockSize_ <= out.size(); done += blockSize_, ++lba) {
        const auto block = out.subspan(done, blockSize_);
        const auto found = index_.find(lba);
        if (!file_ || found == index_.end()) {
            std::fill(block.begin(), block.end(), std::uint8_t{0});
            continue;
        }
        std::size_t got = 0;
        if (!file_->ReadAt(found->second, block, got) || got != blockSize_) return false;
    }
    return true;
}

bool SparseImage::Write(std::uint64_t lba, std::span<const std::uint8_t> blocks) {
    if (!Load(Need::Created)) return false;
    std::vector<std::uint8_t> record(kLbaSize + blockSize_);
    for (std::size_t done = 0; done + blockSize_ <= blocks.size(); done += blockSize_, ++lba) {
        const auto block = blocks.subspan(done, blockSize_);
        const auto found = index_.find(lba);
        if (found != index_.end()) {
            if (!file_->WriteAt(found->second, block)) return false;
            continue;
        }
        PutLittle(record.data(), lba, kLbaSize);
        std::copy(block.begin(), block.end(), record.begin() + kLbaSize);
        if (!file_->WriteAt(end_, record)) return false;
        index_[lba] = end_ + kLbaSize;
        end_ += record.size();
    }
    return true;
}

}  // namespace rig
