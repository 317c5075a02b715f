#pragma once
// A device stack on which every call fails: nothing opens, no request is delivered, every list
// is empty. Stacks that answer only some calls (test doubles, a stack that must never reach
// hardware) start from it and override what they answer.

#include "common/core/device_stack.h"

namespace devio {

class FailingDeviceStack : public DeviceStack {
public:
    DeviceHandle Open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint32_t& lastError) override {
        lastError = kErrorFileNotFound;
        return kInvalidDeviceHandle;
    }
    bool Close(DeviceHandle) override { return false; }
    bool Control(DeviceHandle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t, std::uint32_t& returned,
                 std::uint32_t& lastError) override {
        returned = 0;
        lastError = kErrorInvalidHandle;
        return false;
    }
    bool EnumerateInterfaces(const Guid&, std::vector<DeviceInterface>& interfaces) override {
        interfaces.clear();
        return false;
    }
    bool ParentOf(DeviceInstance, DeviceInstance&) override { return false; }
    bool FirstChildOf(DeviceInstance, DeviceInstance&) override { return false; }
    bool DeviceIdOf(DeviceInstance, std::string&) override { return false; }
    bool HardwareIdsOf(DeviceInstance, std::vector<std::string>&) override { return false; }
    std::uint32_t RequestEject(DeviceInstance) override { return kCrFailure; }
    bool ReadRegistryValue(RegistryHive, const std::string&, const std::string&, std::uint32_t&,
                           std::vector<std::uint8_t>&) override {
        return false;
    }
    bool EnumerateRegistryValues(RegistryHive, const std::string&, std::vector<std::string>&) override { return false; }
    bool EnumerateRegistryKeys(RegistryHive, const std::string&, std::vector<std::string>&) override { return false; }
    bool WriteRegistryValue(RegistryHive, const std::string&, const std::string&, std::uint32_t,
                            const std::vector<std::uint8_t>&) override {
        return false;
    }
    bool DeleteRegistryValue(RegistryHive, const std::string&, const std::string&) override { return false; }
    bool DeleteRegistryTree(RegistryHive, const std::string&) override { return false; }
    std::uint32_t CheckRegistryKey(RegistryHive, const std::string&) override { return kErrorAccessDenied; }
    std::uint32_t DeleteRegistryKey(RegistryHive, const std::string&) override { return kErrorAccessDenied; }
    bool GrantRegistryKeyToAdministrators(RegistryHive, const std::string&, std::string&) override { return false; }
    std::uint32_t LogicalDriveMask() override { return 0; }
    std::uint32_t DriveType(const std::string&) override { return kDriveNoRootDir; }
    bool EnumerateVolumes(std::vector<std::string>& volumeNames) override {
        volumeNames.clear();
        return false;
    }
    bool VolumePathNames(const std::string&, std::vector<std::string>& paths) override {
        paths.clear();
        return false;
    }
    std::uint32_t SystemMajorVersion() override { return 0; }

    static constexpr std::uint32_t kDriveNoRootDir = 1;   // GetDriveType's DRIVE_NO_ROOT_DIR
};

}  // namespace devio
