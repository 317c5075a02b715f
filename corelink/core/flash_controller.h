#pragma once
// The flash controller's single operations of the first interface: its identification, the
// in-system programming image, CPU and chip resets, the cache, load and unload. Each traces its
// name with the slot ("ChipReset(3)") and answers 1 for success, 0 for failure; without a handle
// array nothing is sent and the result is 0.

#include <cstdint>

#include "corelink/core/device_operations.h"

namespace corelink {

inline constexpr std::uint16_t kFlashIdLength = 64;
inline constexpr int kCpuResetRounds = 30;
inline constexpr int kCpuResetPolls = 6;
inline constexpr std::uint32_t kCpuResetPollMs = 1000;

int ReadFlashID_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t value, std::uint8_t* data);
// Dismounts the device's volume (not forced) and sends the image: CDB byte 8 = length / 512.
int INITISP_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint32_t address, std::uint16_t length,
                const std::uint8_t* data);
// Up to 30 rounds of: read xdata 0x001C, write it back with bit 6 set, write 1 to xdata 0x2311;
// then the CPU reset command and up to six TEST UNIT READY polls a second apart until the unit
// is ready.
int CPUReset_UFD(Device& device, HandleArray handles, std::uint8_t slot);
// Xdata 0x001C with bit 5 cleared (only when it could be read: a guessed value is never
// written), then 0x80, 0x00, 0x80, 0x80 to xdata 0x0001; the result is the last write's.
int ChipReset(Device& device, HandleArray handles, std::uint8_t slot);
int ChipResetEx(Device& device, HandleArray handles, std::uint8_t slot);
int UFDCacheClear_UFD(Device& device, HandleArray handles, std::uint8_t slot);
int MediumLoadUnload_UFD(Device& device, HandleArray handles, std::uint8_t slot, std::uint8_t lun,
                         std::uint8_t control);

}  // namespace corelink
