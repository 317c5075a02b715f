#pragma once
// The device stack the programs use: the platform's own, or the simulated enclosure when the
// environment variable ENCLOSURE_RIG names a rig file (rig/README.md). Defined once per program
// by the `device_access` library; the same stack for the whole process.

namespace devio {
class DeviceStack;
DeviceStack& SystemDeviceStack();
}  // namespace devio
