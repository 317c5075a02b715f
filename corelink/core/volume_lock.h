#pragma once
// Locking and dismounting the volume that lives on an opened disk. The volume is found by the
// disk's device number: the first of the system's volumes with exactly one extent, on that disk.

#include <cstdint>

#include "corelink/core/device_operations.h"

namespace corelink {

inline constexpr int kLockAttempts = 4;
inline constexpr std::uint32_t kLockPauseMs = 300;

// Finds and locks the disk's volume. `*volume` receives the locked volume's handle (to be given
// to Disk_Unlock), or the invalid handle value when the disk has no volume of its own; the
// result is then 1. A volume that stays locked by someone else through every attempt is closed
// again (`*volume` invalid) and the result is 0. When the disk's device number cannot be read
// the result is that system error. No handle array or no `volume`: 0, nothing opened.
std::uint32_t Disk_Lock(Device& device, HandleArray handles, std::uint8_t slot, devio::DeviceHandle* volume);

// Asks the disk to refresh its partition data; with a volume from Disk_Lock also dismounts,
// unlocks and closes it. 1 when the refresh (and the unlock) succeeded. The volume is closed
// whatever happens, also without a handle array.
int Disk_Unlock(Device& device, HandleArray handles, std::uint8_t slot, devio::DeviceHandle volume);

// The disk's device number, or (false) the system error that kept it.
bool DeviceNumberOf(Device& device, devio::DeviceHandle disk, std::uint32_t& number, std::uint32_t& lastError);

// Dismounts the disk's volume (nothing to do when it has none: 1). On systems of major version 6
// without `force`, does nothing and answers 1.
int DismountVolume(Device& device, devio::DeviceHandle disk, bool force);

}  // namespace corelink
