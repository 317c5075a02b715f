#pragma once
// A target held in memory: only written sectors are stored, so large volumes cost little. It
// counts writes and can be told to refuse writes from some point on.

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>

#include "volkern/core/sector_sink.h"

namespace volkern_test {

using Sector = std::array<std::uint8_t, volkern::kSectorSize>;

class MemorySink final : public volkern::SectorSink {
public:
    explicit MemorySink(std::uint64_t sectors) : sectors_(sectors) {}

    bool Write(std::uint64_t sector, std::span<const std::uint8_t> data) override {
        const std::uint64_t count = data.size() / volkern::kSectorSize;
        if (data.size() % volkern::kSectorSize != 0 || sector + count > sectors_) return false;
        if (failAfter_ && writes_ >= *failAfter_) return false;
        ++writes_;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::memcpy(stored_[sector + i].data(), data.data() + i * volkern::kSectorSize, volkern::kSectorSize);
        }
        return true;
    }
    bool Read(std::uint64_t sector, std::span<std::uint8_t> data) override {
        const std::uint64_t count = data.size() / volkern::kSectorSize;
        if (sector + count > sectors_) return false;
        for (std::uint64_t i = 0; i < count; ++i) {
            const Sector found = At(sector + i);
            std::memcpy(data.data() + i * volkern::kSectorSize, found.data(), volkern::kSectorSize);
        }
        return true;
    }
    // Zeroing stores nothing: unwritten sectors read as zero already, but old contents go.
    bool Zero(std::uint64_t sector, std::uint64_t count) override {
        if (sector + count > sectors_) return false;
        if (failAfter_ && writes_ >= *failAfter_) return false;
        ++writes_;
        stored_.erase(stored_.lower_bound(sector), stored_.lower_bound(sector + count));
        return true;
    }

    Sector At(std::uint64_t sector) const {
        const auto found = stored_.find(sector);
        return found != stored_.end() ? found->second : Sector{};
    }
    void Fill(std::uint64_t sector, std::uint8_t value) { stored_[sector].fill(value); }
    void FailAfter(std::uint64_t writes) { failAfter_ = writes; }
    std::size_t StoredSectors() const { return stored_.size(); }

private:
    std::uint64_t sectors_;
    std::map<std::uint64_t, Sector> stored_;
    std::uint64_t writes_ = 0;
    std::optional<std::uint64_t> failAfter_;
};

inline std::uint32_t Le32At(const Sector& sector, std::size_t at) {
    return std::uint32_t{sector[at]} | (std::uint32_t{sector[at + 1]} << 8) | (std::uint32_t{sector[at + 2]} << 16) |
           (std::uint32_t{sector[at + 3]} << 24);
}
inline std::uint16_t Le16At(const Sector& sector, std::size_t at) {
    return static_cast<std::uint16_t>(sector[at] | (sector[at + 1] << 8));
}

}  // namespace volkern_test
