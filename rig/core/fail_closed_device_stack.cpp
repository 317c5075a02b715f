#include "fail_closed_device_stack.h"

#include "rig_config.h"

namespace rig {

namespace {
constexpr std::uint32_t kCrFailure = 0x13;
}  // namespace

devio::DeviceHandle FailClosedDeviceStack::Open(const std::string&, std::uint32_t, std::uint32_t, std::uint32_t,
                                                std::uint32_t, std::uint32_t& lastError) {
    lastError = devio::kErrorFileNotFound;
    return devio::kInvalidDeviceHandle;
}
bool FailClosedDeviceStack::Close(devio::DeviceHandle) { return false; }
bool FailClosedDeviceStack::Control(devio::DeviceHandle, std::uint32_t, const void*, std::uint32_t, void*,
                                    std::uint32_t, std::uint32_t& returned, std::uint32_t& lastError) {
    returned = 0;
    lastError = devio::kErrorInvalidHandle;
    return false;
}
bool FailClosedDeviceStack::EnumerateInterfaces(const devio::Guid&, std::vector<devio::DeviceInterface>& interfaces) {
    interfaces.clear();
    return false;
}
bool FailClosedDeviceStack::ParentOf(devio::DeviceInstance, devio::DeviceInstance&) { return false; }
bool FailClosedDeviceStack::FirstChildOf(devio::DeviceInstance, devio::DeviceInstance&) { return false; }
bool FailClosedDeviceStack::DeviceIdOf(devio::DeviceInstance, std::string&) { return false; }
bool FailClosedDeviceStack::HardwareIdsOf(devio::DeviceInstance, std::vector<std::string>&) { return false; }
std::uint32_t FailClosedDeviceStack::RequestEject(devio::DeviceInstance) { return kCrFailure; }
bool FailClosedDeviceStack::ReadRegistryValue(devio::RegistryHive, const std::string&, const std::string&,
                                              std::uint32_t&, std::vector<std::uint8_t>&) {
    return false;
}
bool FailClosedDeviceStack::EnumerateRegistryValues(devio::RegistryHive, const std::string&,
                                                    std::vector<std::string>&) {
    return false;
}
bool FailClosedDeviceStack::EnumerateRegistryKeys(devio::RegistryHive, const std::string&, std::vector<std::string>&) {
    return false;
}
bool FailClosedDeviceStack::WriteRegistryValue(devio::RegistryHive, const std::string&, const std::string&,
                                               std::uint32_t, const std::vector<std::uint8_t>&) {
    return false;
}
bool FailClosedDeviceStack::DeleteRegistryValue(devio::RegistryHive, const std::string&, const std::string&) {
    return false;
}
bool FailClosedDeviceStack::DeleteRegistryTree(devio::RegistryHive, const std::string&) { return false; }
std::uint32_t FailClosedDeviceStack::LogicalDriveMask() { return 0; }
std::uint32_t FailClosedDeviceStack::DriveType(const std::string&) { return kDriveNoRootDir; }
bool FailClosedDeviceStack::EnumerateVolumes(std::vector<std::string>& volumeNames) {
    volumeNames.clear();
    return false;
}
bool FailClosedDeviceStack::VolumePathNames(const std::string&, std::vector<std::string>&) { return false; }
std::uint32_t FailClosedDeviceStack::SystemMajorVersion() { return 0; }

}  // namespace rig
