#pragma once
// The device stack of a simulated machine: opening an enclosure's storage interface path (or
// the volume path "\\.\X:" of one of its drive letters) gives a handle whose pass-through
// requests the emulated bridge controller answers; its CD-ROM interface path (and letter) gives
// one that answers the same, as a CD-ROM unit, and takes no disk requests. Host controllers, hubs, device nodes and
// interfaces, the registry and volumes come from the rig file's topology (machine_view.h), seen
// through the enclosures' plugged state; hub and storage requests are answered on handles of
// controller, hub, interface and volume paths.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/core/device_stack.h"
#include "machine_view.h"
#include "registry_changes.h"
#include "rig.h"

namespace rig {

class RigDeviceStack final : public devio::DeviceStack {
public:
    explicit RigDeviceStack(std::shared_ptr<Rig> rig);

    const Rig& Machine() const { return *rig_; }

    devio::DeviceHandle Open(const std::string& path, std::uint32_t desiredAccess, std::uint32_t shareMode,
                             std::uint32_t creationDisposition, std::uint32_t flags, std::uint32_t& lastError) override;
    bool Close(devio::DeviceHandle handle) override;
    bool Control(devio::DeviceHandle handle, std::uint32_t controlCode, const void* input, std::uint32_t inputSize,
                 void* output, std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) override;

    bool EnumerateInterfaces(const devio::Guid& interfaceClass,
                             std::vector<devio::DeviceInterface>& interfaces) override;
    bool ParentOf(devio::DeviceInstance instance, devio::DeviceInstance& parent) override;
    bool FirstChildOf(devio::DeviceInstance instance, devio::DeviceInstance& child) override;
    bool DeviceIdOf(devio::DeviceInstance instance, std::string& deviceId) override;
    bool HardwareIdsOf(devio::DeviceInstance instance, std::vector<std::string>& hardwareIds) override;
    std::uint32_t RequestEject(devio::DeviceInstance instance) override;

    bool ReadRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name,
                           std::uint32_t& type, std::vector<std::uint8_t>& data) override;
    bool EnumerateRegistryValues(devio::RegistryHive hive, const std::string& key,
                                 std::vector<std::string>& names) override;
    bool EnumerateRegistryKeys(devio::RegistryHive hive, const std::string& key,
                               std::vector<std::string>& names) override;
    bool WriteRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name,
                            std::uint32_t type, const std::vector<std::uint8_t>& data) override;
    bool DeleteRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name) override;
    bool DeleteRegistryTree(devio::RegistryHive hive, const std::string& key) override;
    std::uint32_t CheckRegistryKey(devio::RegistryHive hive, const std::string& key) override;
    std::uint32_t DeleteRegistryKey(devio::RegistryHive hive, const std::string& key) override;
    bool GrantRegistryKeyToAdministrators(devio::RegistryHive hive, const std::string& key,
                                          std::string& report) override;

    std::uint32_t LogicalDriveMask() override;
    std::uint32_t DriveType(const std::string& root) override;
    bool EnumerateVolumes(std::vector<std::string>& volumeNames) override;
    bool VolumePathNames(const std::string& volumeName, std::vector<std::string>& paths) override;
    std::uint32_t SystemMajorVersion() override;

    // What this stack's handles did to volumes and disks (lock state lives with the handles, so
    // it is the process's own, as on the platform).
    bool Locked(const std::string& volumeName);
    std::uint32_t Dismounts(const std::string& volumeName);
    std::uint32_t PropertyUpdates(std::size_t enclosure);

private:
    // What a handle was opened on.
    struct Target {
        enum class Kind { Enclosure, Cdrom, Volume, Controller, Hub } kind = Kind::Enclosure;
        std::size_t index = 0;  // enclosure (also for its CD-ROM), controller or hub
        bool rootHub = false;
        std::string volume;     // a volume's name, "\\?\Volume{...}\"
    };

    // The machine as it is now; with the state file unreadable, as if every enclosure were
    // unplugged (the trouble is reported, and `readable` set false).
    MachineView View(bool* readable = nullptr);
    std::optional<Target> TargetOf(const MachineView& view, const std::string& path) const;
    bool ControlTarget(const MachineView& view, devio::DeviceHandle handle, const Target& target,
                       std::uint32_t controlCode, const void* input, std::uint32_t inputSize, void* output,
                       std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);
    bool ControlVolume(const MachineView& view, devio::DeviceHandle handle, const VolumeView& volume,
                       std::uint32_t controlCode, const void* input, std::uint32_t inputSize, void* output,
                       std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError);
    // The registry now: the view's entries with the programs' changes applied.
    bool Registry(const MachineView& view, std::optional<RegistryImage>& image);

    std::shared_ptr<Rig> rig_;
    std::mutex mutex_;
    std::map<devio::DeviceHandle, Target> open_;
    std::map<std::string, devio::DeviceHandle> locks_;  // lower-cased volume name -> the locking handle
    std::map<std::string, std::uint32_t> dismounts_;    // lower-cased volume name
    std::map<std::size_t, std::uint32_t> updates_;      // enclosure
    devio::DeviceHandle next_ = 0x1000;
};

}  // namespace rig
