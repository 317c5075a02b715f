#include "volume_change.h"

#include <cstring>

namespace dockline {

std::size_t ReadableVolumeBytes(std::uint32_t declaredSize) {
    return declaredSize >= sizeof(VolumeRecord) ? sizeof(VolumeRecord) : 0;
}

std::optional<VolumeChange> DecodeVolumeChange(std::uint32_t event, const std::uint8_t* record,
                                               std::size_t available) {
    if (event != kDeviceArrival && event != kDeviceRemoveComplete) return std::nullopt;
    if (record == nullptr || available < sizeof(VolumeRecord)) return std::nullopt;
    VolumeRecord volume{};
    std::memcpy(&volume, record, sizeof volume);
    if (volume.header.size < sizeof(VolumeRecord) || volume.header.deviceType != kDeviceTypeVolume) {
        return std::nullopt;
    }
    return VolumeChange{event == kDeviceArrival, volume.unitMask};
}

}  // namespace dockline
