// The FAT32 volume lookup over arbitrary bytes: an image's first sectors as an outsider made them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "volkern/core/boot_sector_reader.h"

namespace {

class BytesTarget final : public volkern::SectorSink {
public:
    BytesTarget(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size) {}
    bool Write(std::uint64_t, std::span<const std::uint8_t>) override { return false; }
    bool Read(std::uint64_t sector, std::span<std::uint8_t> out) override {
        // Sectors past the input read as zero, up to a 2 TiB disk; beyond that the read fails.
        if (sector > 0xFFFFFFFFu) return false;
        std::memset(out.data(), 0, out.size());
        const std::uint64_t at = sector * volkern::kSectorSize;
        if (at < bytes_.size()) {
            std::memcpy(out.data(), bytes_.data() + at, std::min<std::size_t>(out.size(), bytes_.size() - at));
        }
        return true;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BytesTarget target(data, size);
    const volkern::VolumeFound found = volkern::FindFat32Volume(target);
    if (found.error == volkern::ReadError::None) {
        // A layout the reader accepts is self-consistent.
        const auto& layout = found.layout;
        if (layout.rootCluster < 2 || layout.rootCluster >= std::uint64_t{layout.clusters} + 2) std::abort();
        if (layout.DataStart() - layout.volumeStart > layout.totalSectors) std::abort();
    }
    return 0;
}
