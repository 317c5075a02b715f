#pragma once
// The medium behind READ(10) and WRITE(10): whole blocks by LBA. Blocks never written read as
// zeros. The emulator checks ranges against the enclosure's capacity before calling.

#include <cstdint>
#include <map>
#include <span>
#include <vector>

namespace rig {

class BlockStore {
public:
    virtual ~BlockStore() = default;
    // `out` holds a whole number of blocks starting at `lba`. False on a medium failure.
    virtual bool Read(std::uint64_t lba, std::span<std::uint8_t> out) = 0;
    virtual bool Write(std::uint64_t lba, std::span<const std::uint8_t> blocks) = 0;
};

// Blocks in memory, for tests and fuzzing.
class MemoryBlockStore final : public BlockStore {
public:
    explicit MemoryBlockStore(std::uint32_t blockSize) : blockSize_(blockSize) {}

    bool Read(std::uint64_t lba, std::span<std::uint8_t> out) override {
        for (std::size_t done = 0; done + blockSize_ <= out.size(); done += blockSize_, ++lba) {
            const auto found = blocks_.find(lba);
            for (std::size_t i = 0; i < blockSize_; ++i) out[done + i] = found == blocks_.end() ? 0 : found->second[i];
        }
        return true;
    }

    bool Write(std::uint64_t lba, std::span<const std::uint8_t> blocks) override {
        for (std::size_t done = 0; done + blockSize_ <= blocks.size(); done += blockSize_, ++lba) {
            blocks_[lba].assign(blocks.begin() + static_cast<std::ptrdiff_t>(done),
                                blocks.begin() + static_cast<std::ptrdiff_t>(done + blockSize_));
        }
        return true;
    }

    std::size_t StoredBlocks() const { return blocks_.size(); }

private:
    std::uint32_t blockSize_;
    std::map<std::uint64_t, std::vector<std::uint8_t>> blocks_;
};

}  // namespace rig
