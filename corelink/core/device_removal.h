#pragma once
// Taking a device away from the system: the safe-removal request, and the clean-up of its traces
// in the registry (its USB and USB storage keys) or telling the USB stack to ignore its serial
// number. Registry keys are under HKEY_LOCAL_MACHINE.

#include <cstdint>
#include <string>

#include "corelink/core/device_operations.h"

namespace corelink {

inline constexpr int kEjectAttempts = 3;
inline constexpr std::uint32_t kEjectPauseMs = 500;
// Key paths are built in a buffer of this many bytes, terminating NUL included.
inline constexpr std::size_t kRegistryPathBuffer = 520;

// Asks the system to eject the parent node of `instance` (for a storage interface, its USB
// device), up to kEjectAttempts times with a pause after each refusal. 1 on success; otherwise
// the last configuration manager code, 0 when that refusal was a veto.
std::uint32_t DeviceSafeRemoval(Device& device, devio::DeviceInstance instance);

// Deletes `key` with all its subkeys; a key the system protects gets its permissions opened to
// the administrators first (that key alone; each subkey in its turn). 1 when the key is gone
// (also when it never existed). A path that does not fit kRegistryPathBuffer is refused: 0,
// nothing deleted; a subkey whose path would not fit stops the deletion there.
int DeleteKeyWithSubtree(Device& device, const std::string& key);

// SYSTEM\CurrentControlSet\Enum\USB\Vid_vvvv&Pid_pppp with its subtree.
int DeleteDevRegistryRecord(Device& device, std::uint16_t vid, std::uint16_t pid);

// The USB key as above (its result does not count), then
// SYSTEM\CurrentControlSet\Enum\USBSTOR\Disk&Ven_V&Prod_P&Rev_R. The texts come from the device:
// one that is missing (null), holds a backslash or a control character, or makes the path too
// long for its buffer is refused before anything is deleted (0), so a text can never make the
// deletion reach a parent or another key.
int DeleteDevRegistryRecordEx(Device& device, std::uint16_t vid, std::uint16_t pid, const char* vendor,
                              const char* product, const char* revision);

// SYSTEM\CurrentControlSet\Control\usbflags, REG_BINARY IgnoreHWSerNumvvvvpppp (lower-case hex) = 01.
// 1 when the value was written.
int SetIgnoredRegistry(Device& device, std::uint16_t vid, std::uint16_t pid);

}  // namespace corelink
