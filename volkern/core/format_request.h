#pragma once
// The parameter block as the build operations use it: every field checked, the strings read
// within their limits, the serial number and time stamp filled in.

#include <cstdint>
#include <string>

#include "volkern/include/volkern_api.h"
#include "volume_identity.h"

namespace volkern {

// When the build happens, from the caller's clock.
struct BuildTime {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0, hundredths = 0;
};

struct FormatRequest {
    std::uint64_t sectorCount = 0;
    std::uint32_t sectorsPerCluster = 0;
    bool partitionedImage = false;
    bool replaceImage = false;
    std::string path;  // empty: none given
    VolumeIdentity identity;
};

struct RequestRead {
    FormatRequest request;
    std::uint32_t error = VOLKERN_OK;
};

inline constexpr std::size_t kMaxPathLength = 32767;

// The request in `block`; an error code when a field is out of its range.
RequestRead ReadRequest(const VolkernParameters& block, const BuildTime& now);

// The serial number made from a time, as the volume gets when the block gives none.
std::uint32_t SerialFromTime(const BuildTime& now);

}  // namespace volkern
