#pragma once
// The dismount step the physical-disk file-system retries take between attempts: find the volume
// of the disk behind a handle (the first volume with exactly one extent, on that disk) and ask the
// system to dismount it. Through the process's device stack.

#include "common/core/device_stack.h"

namespace corelink::com {

// Traces "DisMountVolume". On a system of major version 6 without `force`, does nothing and
// reports 1. Otherwise 1 when the volume was dismounted or the disk has none, 0 when the disk's
// device number cannot be read ("GetDeviceNumber_Err=%x") or the dismount fails ("DisMount_Err=%x").
int DismountVolumeOf(devio::DeviceStack& stack, devio::DeviceHandle disk, bool force);

// The device number of the disk behind `handle`; false with the system's error.
bool DiskDeviceNumber(devio::DeviceStack& stack, devio::DeviceHandle handle, std::uint32_t& number,
                      std::uint32_t& error);

}  // namespace corelink::com
