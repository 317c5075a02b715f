#pragma once
// The enclosure settings commands as the component's operations send them: PathId and
// TargetId 0.
#include <cstdint>

#include "corelink/core/scsi_commands.h"

namespace corelink {

inline int SettingRead(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                       std::uint32_t address, std::uint16_t length, std::uint8_t* data, std::uint8_t cdb12 = 0,
                       std::uint8_t cdb13 = 0) {
    return CVCommCMDControl::USDSettingRead(device, handle, code, cdb11, 0, 0, address, length, data, cdb12, cdb13);
}

inline int SettingWrite(Device& device, devio::DeviceHandle handle, std::uint8_t code, std::uint8_t cdb11,
                        std::uint32_t address, std::uint16_t length, const std::uint8_t* data, std::uint8_t cdb12 = 0,
                        std::uint8_t cdb13 = 0) {
    return CVCommCMDControl::USDSettingWrite(device, handle, code, cdb11, 0, 0, address, length, data, cdb12, cdb13);
}

}  // namespace corelink
