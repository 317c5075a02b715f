#include "sector_sink.h"

#include <algorithm>
#include <vector>

namespace volkern {

bool SectorSink::Zero(std::uint64_t sector, std::uint64_t count) {
    constexpr std::uint64_t kChunkSectors = 128;  // 64 KiB, the largest transfer of a device
    const std::vector<std::uint8_t> zeros(static_cast<std::size_t>(kChunkSectors * kSectorSize), 0);
    while (count > 0) {
        const std::uint64_t step = std::min(count, kChunkSectors);
        if (!Write(sector, std::span(zeros).first(static_cast<std::size_t>(step * kSectorSize)))) return false;
        sector += step;
        count -= step;
    }
    return true;
}

}  // namespace volkern
