// WM_DEVICECHANGE records from any sender: the first four bytes are the event, the rest the
// record as far as its sender made it. The decoder reads only what the declared size allows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/core/volume_change.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint32_t event = 0;
    std::memcpy(&event, data, 4);
    const std::vector<std::uint8_t> record(data + 4, data + size);  // exactly what the sender sent
    if (record.size() < 4) return 0;
    std::uint32_t declared = 0;
    std::memcpy(&declared, record.data(), 4);
    // The glue trusts the declared size as the system does when it copies the record; here the
    // record is cut to what was sent, so a read past it shows as an overflow.
    std::size_t readable = common::ReadableVolumeBytes(declared);
    if (readable > record.size()) readable = 0;
    const auto change = common::DecodeVolumeChange(event, record.data(), readable);
    if (change && change->arrival != (event == common::kDeviceArrival)) std::abort();
    return 0;
}
