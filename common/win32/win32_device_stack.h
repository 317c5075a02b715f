#pragma once
// The device I/O seam on the real platform: files and devices (CreateFileA, DeviceIoControl),
// device interfaces and nodes (SetupAPI, configuration manager), the registry, drives and
// volumes, and the system's version. Every method is one thin translation of portable types to
// the platform's ANSI calls; handles, keys and device-information sets never outlive a call
// except the device handles returned by Open, which the caller closes with Close.

#include <cstdint>
#include <string>
#include <vector>

#include "common/core/device_stack.h"

namespace devio {

class Win32DeviceStack final : public DeviceStack {
public:
    DeviceHandle Open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                      std::uint32_t creationDisposition, std::uint32_t flags, std::uint32_t& lastError) override;
    bool Close(DeviceHandle handle) override;
    // The invalid handle value is refused with ERROR_INVALID_HANDLE without asking the system
    // (to the platform it would name the current process).
    bool Control(DeviceHandle handle, std::uint32_t controlCode, const void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override;

    bool EnumerateInterfaces(const Guid& interfaceClass, std::vector<DeviceInterface>& interfaces) override;
    bool ParentOf(DeviceInstance instance, DeviceInstance& parent) override;
    bool FirstChildOf(DeviceInstance instance, DeviceInstance& child) override;
    bool DeviceIdOf(DeviceInstance instance, std::string& deviceId) override;
    bool HardwareIdsOf(DeviceInstance instance, std::vector<std::string>& hardwareIds) override;
    // CR_SUCCESS only when the system agreed; a refusal that the system reports as success with
    // a veto type comes back as CR_REMOVE_VETOED.
    std::uint32_t RequestEject(DeviceInstance instance) override;

    // Keys are opened, never created: writes go to keys that exist. An empty value name is the
    // key's default value. DeleteRegistryTree removes the key with all its subkeys.
    bool ReadRegistryValue(RegistryHive hive, const std::string& key, const std::string& name, std::uint32_t& type,
                           std::vector<std::uint8_t>& data) override;
    bool EnumerateRegistryValues(RegistryHive hive, const std::string& key, std::vector<std::string>& names) override;
    bool EnumerateRegistryKeys(RegistryHive hive, const std::string& key, std::vector<std::string>& names) override;
    bool WriteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) override;
    bool DeleteRegistryValue(RegistryHive hive, const std::string& key, const std::string& name) override;
    bool DeleteRegistryTree(RegistryHive hive, const std::string& key) override;
    std::uint32_t CheckRegistryKey(RegistryHive hive, const std::string& key) override;
    std::uint32_t DeleteRegistryKey(RegistryHive hive, const std::string& key) override;
    bool GrantRegistryKeyToAdministrators(RegistryHive hive, const std::string& key, std::string& report) override;

    std::uint32_t LogicalDriveMask() override;
    std::uint32_t DriveType(const std::string& root) override;
    bool EnumerateVolumes(std::vector<std::string>& volumeNames) override;
    bool VolumePathNames(const std::string& volumeName, std::vector<std::string>& paths) override;
    // From the kernel's own record when it can be had (the compatibility layer of the version
    // call may report an older system), else from GetVersionExA; 0 when neither answers.
    std::uint32_t SystemMajorVersion() override;

private:
    // IOCTL_SCSI_PASS_THROUGH in a 64-bit process: the request re-laid out for the system.
    bool NativePassThrough(DeviceHandle handle, const void* input, std::uint32_t inputSize, void* output,
                           std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);
};

}  // namespace devio
