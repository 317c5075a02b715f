#include "volume_change.h"

#include <cstring>

namespace common {

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

std::optional<VolumeChange> ReadVolumeBroadcast(std::uint32_t event, const std::uint8_t* record) {
    if (!record || (event != kDeviceArrival && event != kDeviceRemoveComplete)) return std::nullopt;
    std::uint32_t declaredSize = 0;
    std::memcpy(&declaredSize, record, sizeof declaredSize);
    return DecodeVolumeChange(event, record, ReadableVolumeBytes(declaredSize));
}

}  // namespace common
