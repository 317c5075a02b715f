#pragma once
// Where a file system is written: a disk image file, a drive's volume or a physical disk, seen as
// an array of 512-byte sectors counted from the target's first sector.

#include <cstdint>
#include <span>

namespace volkern {

inline constexpr std::uint32_t kSectorSize = 512;

class SectorSink {
public:
    virtual ~SectorSink() = default;
    // Writes whole sectors (`data` holds a multiple of 512 bytes) from `sector` on.
    virtual bool Write(std::uint64_t sector, std::span<const std::uint8_t> data) = 0;
    // Reads whole sectors into `data`.
    virtual bool Read(std::uint64_t sector, std::span<std::uint8_t> data) = 0;
    // Makes `count` sectors from `sector` on read as zero. A fresh image file already does, and
    // skips the writes; other targets write zeros.
    virtual bool Zero(std::uint64_t sector, std::uint64_t count);
};

}  // namespace volkern
