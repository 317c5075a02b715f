#pragma once
// The device I/O seam: every platform call that device code (the component, and Dockline's own
// INQUIRY) makes, with portable types. The Windows build implements it with the platform's
// calls; the simulated enclosure (the rig) implements it for tests and the demo. Values of
// flags, control codes, error codes and registry types are the platform's own numbers.
//
// Text is 8-bit, in the system code page, as the component uses it throughout.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace devio {

using DeviceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = ~DeviceHandle{0};  // all bits set

// A device-node instance (the configuration manager's DEVINST).
using DeviceInstance = std::uint32_t;

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::array<std::uint8_t, 8> data4;
    bool operator==(const Guid&) const = default;
};

// The platform's values used by device code.
inline constexpr std::uint32_t kGenericRead = 0x80000000;
inline constexpr std::uint32_t kGenericWrite = 0x40000000;
inline constexpr std::uint32_t kShareRead = 0x1;
inline constexpr std::uint32_t kShareWrite = 0x2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotLocked = 158;

// Volume and disk requests of the lock, dismount and refresh steps (no data either way).
inline constexpr std::uint32_t kFsctlLockVolume = 0x00090018;
inline constexpr std::uint32_t kFsctlUnlockVolume = 0x0009001C;
inline constexpr std::uint32_t kFsctlDismountVolume = 0x00090020;
inline constexpr std::uint32_t kIoctlDiskUpdateProperties = 0x00070140;

// Configuration manager results of an eject request.
inline constexpr std::uint32_t kCrSuccess = 0x00;
inline constexpr std::uint32_t kCrFailure = 0x13;
inline constexpr std::uint32_t kCrRemoveVetoed = 0x17;

enum class RegistryHive { LocalMachine, ClassesRoot, CurrentUser };

struct DeviceInterface {
    std::string path;             // the interface's device path
    DeviceInstance instance = 0;  // its device node
};

class DeviceStack {
public:
    virtual ~DeviceStack() = default;

    // --- files, devices and control requests
    // CreateFile: kInvalidDeviceHandle and `lastError` on failure.
    virtual DeviceHandle Open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                              std::uint32_t creationDisposition, std::uint32_t flags, std::uint32_t& lastError) = 0;
    virtual bool Close(DeviceHandle handle) = 0;
    // DeviceIoControl: false when the request was not delivered (`lastError` says why).
    virtual bool Control(DeviceHandle handle, std::uint32_t controlCode, const void* input, std::uint32_t inputSize,
                         void* output, std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) = 0;

    // --- device interfaces and device nodes
    // The present interfaces of a device interface class, in the system's order.
    virtual bool EnumerateInterfaces(const Guid& interfaceClass, std::vector<DeviceInterface>& interfaces) = 0;
    virtual bool ParentOf(DeviceInstance instance, DeviceInstance& parent) = 0;
    virtual bool FirstChildOf(DeviceInstance instance, DeviceInstance& child) = 0;
    virtual bool DeviceIdOf(DeviceInstance instance, std::string& deviceId) = 0;
    virtual bool HardwareIdsOf(DeviceInstance instance, std::vector<std::string>& hardwareIds) = 0;
    // A safe-removal request; the configuration manager's result code (0 = success,
    // kCrRemoveVetoed when a program or driver vetoed it).
    virtual std::uint32_t RequestEject(DeviceInstance instance) = 0;

    // --- registry
    virtual bool ReadRegistryValue(RegistryHive hive, const std::string& key, const std::string& name,
                                   std::uint32_t& type, std::vector<std::uint8_t>& data) = 0;
    virtual bool EnumerateRegistryValues(RegistryHive hive, const std::string& key, std::vector<std::string>& names) = 0;
    virtual bool EnumerateRegistryKeys(RegistryHive hive, const std::string& key, std::vector<std::string>& names) = 0;
    virtual bool WriteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name,
                                    std::uint32_t type, const std::vector<std::uint8_t>& data) = 0;
    virtual bool DeleteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name) = 0;
    virtual bool DeleteRegistryTree(RegistryHive hive, const std::string& key) = 0;
    // Opens the key for reading and closes it again: 0, or the system error (kErrorFileNotFound
    // when it does not exist).
    virtual std::uint32_t CheckRegistryKey(RegistryHive hive, const std::string& key) = 0;
    // Deletes the key itself (RegDeleteKey: it must have no subkeys): 0, or the system error.
    virtual std::uint32_t DeleteRegistryKey(RegistryHive hive, const std::string& key) = 0;
    // Gives this one key a DACL of Everyone read and Administrators full control, taking its
    // ownership for the Administrators first when that is refused. `report` receives the
    // progress texts, one line each. True when the DACL was set.
    virtual bool GrantRegistryKeyToAdministrators(RegistryHive hive, const std::string& key,
                                                  std::string& report) = 0;

    // --- drives and volumes
    virtual std::uint32_t LogicalDriveMask() = 0;                  // bit n: drive 'A' + n
    virtual std::uint32_t DriveType(const std::string& root) = 0;  // GetDriveType of "X:\"
    virtual bool EnumerateVolumes(std::vector<std::string>& volumeNames) = 0;  // "\\?\Volume{...}\"
    virtual bool VolumePathNames(const std::string& volumeName, std::vector<std::string>& paths) = 0;
    virtual std::uint32_t SystemMajorVersion() = 0;
};

}  // namespace devio
