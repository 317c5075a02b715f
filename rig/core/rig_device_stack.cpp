#include "rig_device_stack.h"

#include "common/core/scsi_pass_through.h"
#include "hub_requests.h"
#include "storage_requests.h"
#include "common/core/usb_ioctl_layout.h"

namespace rig {

using devio::kErrorDeviceNotConnected;
namespace {

constexpr std::uint32_t kCrNoSuchDevnode = 0x0D;  // the configuration manager's answer for unknown nodes
constexpr std::uint32_t kAllUnplugged = 0xFFFFFFFF;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The letter of a volume path "\\.\X:", or 0.
char VolumeLetter(const std::string& path) {
    if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return 0;
    const char letter = UpperAscii(path[4]);
    return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

// The rig's registry lives under HKEY_LOCAL_MACHINE only.
bool LocalMachine(devio::RegistryHive hive) { return hive == devio::RegistryHive::LocalMachine; }

}  // namespace

RigDeviceStack::RigDeviceStack(std::shared_ptr<Rig> rig) : rig_(std::move(rig)) {}

MachineView RigDeviceStack::View(bool* readable) {
    std::uint32_t unplugged = 0;
    std::string error;
    const bool read = rig_->ReadUnplugged(unplugged, error);
    if (!read) {
        rig_->Report(error);
        unplugged = kAllUnplugged;
    }
    if (readable != nullptr) *readable = read;
    return MachineView(rig_->Config(), unplugged);
}

std::optional<RigDeviceStack::Target> RigDeviceStack::TargetOf(const MachineView& view,
                                                               const std::string& path) const {
    if (const char letter = VolumeLetter(path); letter != 0) {
        if (view.VolumeOfLetter(letter) == nullptr) return std::nullopt;
        return Target{Target::Kind::Volume, static_cast<std::size_t>(letter), false};
    }
    const RigConfig& config = rig_->Config();
    for (std::size_t e = 0; e < config.enclosures.size(); ++e) {
        if (EqualsIgnoreCase(config.enclosures[e].interfacePath, path)) {
            if (!view.Plugged(e)) return std::nullopt;
            return Target{Target::Kind::Enclosure, e, false};
        }
        if (!config.enclosures[e].cdromPath.empty() && EqualsIgnoreCase(config.enclosures[e].cdromPath, path)) {
            if (!view.Plugged(e)) return std::nullopt;
            return Target{Target::Kind::Cdrom, e, false};
        }
    }
    for (std::size_t c = 0; c < config.controllers.size(); ++c) {
        if (EqualsIgnoreCase(config.controllers[c].path, path)) return Target{Target::Kind::Controller, c, false};
    }
    if (const auto hub = view.HubOfPath(path)) return Target{Target::Kind::Hub, hub->index, hub->root};
    return std::nullopt;
}

devio::DeviceHandle RigDeviceStack::Open(const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                                         std::uint32_t, std::uint32_t& lastError) {
    const MachineView view = View();
    const auto target = TargetOf(view, path);
    if (!target) {
        lastError = devio::kErrorFileNotFound;
        return devio::kInvalidDeviceHandle;
    }
    std::lock_guard lock(mutex_);
    const devio::DeviceHandle handle = next_;
    next_ += 4;
    open_[handle] = *target;
    return handle;
}

bool RigDeviceStack::Close(devio::DeviceHandle handle) {
    std::lock_guard lock(mutex_);
    return open_.erase(handle) == 1;
}

bool RigDeviceStack::Control(devio::DeviceHandle handle, std::uint32_t controlCode, const void* input,
                             std::uint32_t inputSize, void* output, std::uint32_t outputSize, std::uint32_t& returned,
                             std::uint32_t& lastError) {
    returned = 0;
    Target target;
    {
        std::lock_guard lock(mutex_);
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            lastError = devio::kErrorInvalidHandle;
            return false;
        }
        target = found->second;
    }
    bool readable = false;
    const MachineView view = View(&readable);
    if (!readable) {
        lastError = kErrorIoDevice;
        return false;
    }
    return ControlTarget(view, target, controlCode, input, inputSize, output, outputSize, returned, lastError);
}

bool RigDeviceStack::ControlTarget(const MachineView& view, const Target& target, std::uint32_t controlCode,
                                   const void* input, std::uint32_t inputSize, void* output, std::uint32_t outputSize,
                                   std::uint32_t& returned, std::uint32_t& lastError) {
    switch (target.kind) {
        case Target::Kind::Controller:
            return AnswerControllerRequest(rig_->Config().controllers[target.index], controlCode, output, outputSize,
                                           returned, lastError);
        case Target::Kind::Hub:
            return AnswerHubRequest(view, HubRef{target.rootHub, target.index}, controlCode, input, inputSize,
                                    output, outputSize, returned, lastError);
        case Target::Kind::Enclosure:
            if (!view.Plugged(target.index)) break;
            if (controlCode == devio::kIoctlScsiPassThrough) {
                return rig_->PassThrough(target.index, input, inputSize, output, outputSize, returned, lastError);
            }
            return AnswerDiskRequest(view, target.index, controlCode, output, outputSize, returned, lastError);
        case Target::Kind::Cdrom:
            if (!view.Plugged(target.index)) break;
            if (controlCode == devio::kIoctlScsiPassThrough) {
                return rig_->PassThrough(target.index, input, inputSize, output, outputSize, returned, lastError,
                                         true);
            }
            lastError = devio::kErrorNotSupported;  // no layout or device number: it is not the disk
            return false;
        case Target::Kind::Volume: {
            const VolumeView* volume = view.VolumeOfLetter(static_cast<char>(target.index));
            if (volume == nullptr) break;
            if (controlCode == devio::kIoctlScsiPassThrough) {
                if (!volume->enclosure) {
                    lastError = devio::kErrorNotSupported;  // a volume on several disks is no one device
                    return false;
                }
                return rig_->PassThrough(*volume->enclosure, input, inputSize, output, outputSize, returned,
                                         lastError, volume->cdrom);
            }
            if (volume->cdrom) {
                lastError = devio::kErrorNotSupported;  // a CD-ROM volume has no extents on the disk
                return false;
            }
            return AnswerVolumeRequest(view, *volume, controlCode, output, outputSize, returned, lastError);
        }
    }
    lastError = kErrorDeviceNotConnected;  // the device went away while the handle was open
    return false;
}

// --- device interfaces and device nodes

bool RigDeviceStack::EnumerateInterfaces(const devio::Guid& interfaceClass,
                                         std::vector<devio::DeviceInterface>& interfaces) {
    interfaces = View().Interfaces(interfaceClass);
    return true;
}

bool RigDeviceStack::ParentOf(devio::DeviceInstance instance, devio::DeviceInstance& parent) {
    const MachineView view = View();
    const DeviceNode* node = view.Node(instance);
    if (node == nullptr || node->parent == 0) return false;
    parent = node->parent;
    return true;
}

bool RigDeviceStack::FirstChildOf(devio::DeviceInstance instance, devio::DeviceInstance& child) {
    const MachineView view = View();
    const DeviceNode* node = view.Node(instance);
    if (node == nullptr || node->children.empty()) return false;
    child = node->children.front();
    return true;
}

bool RigDeviceStack::DeviceIdOf(devio::DeviceInstance instance, std::string& deviceId) {
    const MachineView view = View();
    const DeviceNode* node = view.Node(instance);
    if (node == nullptr) return false;
    deviceId = node->deviceId;
    return true;
}

bool RigDeviceStack::HardwareIdsOf(devio::DeviceInstance instance, std::vector<std::string>& hardwareIds) {
    const MachineView view = View();
    const DeviceNode* node = view.Node(instance);
    if (node == nullptr || node->hardwareIds.empty()) return false;
    hardwareIds = node->hardwareIds;
    return true;
}

std::uint32_t RigDeviceStack::RequestEject(devio::DeviceInstance) { return kCrNoSuchDevnode; }

// --- registry: a read-only view of HKEY_LOCAL_MACHINE; writes and deletions fail.

bool RigDeviceStack::ReadRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name,
                                       std::uint32_t& type, std::vector<std::uint8_t>& data) {
    if (!LocalMachine(hive)) return false;
    const MachineView view = View();
    for (const RegistryEntry& entry : view.Registry()) {
        if (EqualsIgnoreCase(entry.key, key) && EqualsIgnoreCase(entry.name, name)) {
            type = entry.type;
            data = entry.data;
            return true;
        }
    }
    return false;
}

bool RigDeviceStack::EnumerateRegistryValues(devio::RegistryHive hive, const std::string& key,
                                             std::vector<std::string>& names) {
    if (!LocalMachine(hive)) return false;
    const MachineView view = View();
    if (!view.KeyExists(key)) return false;
    names.clear();
    for (const RegistryEntry& entry : view.Registry()) {
        if (EqualsIgnoreCase(entry.key, key)) names.push_back(entry.name);
    }
    return true;
}

bool RigDeviceStack::EnumerateRegistryKeys(devio::RegistryHive hive, const std::string& key,
                                           std::vector<std::string>& names) {
    if (!LocalMachine(hive)) return false;
    const MachineView view = View();
    if (!view.KeyExists(key)) return false;
    names.clear();
    const std::string prefix = LowerAscii(key) + "\\";
    for (const RegistryEntry& entry : view.Registry()) {
        if (entry.key.size() <= prefix.size() || LowerAscii(entry.key.substr(0, prefix.size())) != prefix) continue;
        const std::string child = entry.key.substr(prefix.size(), entry.key.find('\\', prefix.size()) - prefix.size());
        bool known = false;
        for (const std::string& name : names) known = known || EqualsIgnoreCase(name, child);
        if (!known) names.push_back(child);
    }
    return true;
}

bool RigDeviceStack::WriteRegistryValue(devio::RegistryHive, const std::string&, const std::string&, std::uint32_t,
                                        const std::vector<std::uint8_t>&) {
    return false;
}
bool RigDeviceStack::DeleteRegistryValue(devio::RegistryHive, const std::string&, const std::string&) { return false; }
bool RigDeviceStack::DeleteRegistryTree(devio::RegistryHive, const std::string&) { return false; }

// --- drives and volumes

std::uint32_t RigDeviceStack::LogicalDriveMask() {
    std::uint32_t mask = 0;
    const MachineView view = View();
    for (const VolumeView& volume : view.Volumes()) {
        if (volume.letter != 0) mask |= 1u << (volume.letter - 'A');
    }
    return mask;
}

std::uint32_t RigDeviceStack::DriveType(const std::string& root) {
    if (root.size() < 2 || root[1] != ':') return kDriveNoRootDir;
    const MachineView view = View();
    const VolumeView* volume = view.VolumeOfLetter(UpperAscii(root[0]));
    if (volume == nullptr) return kDriveNoRootDir;
    if (volume->cdrom) return kDriveCdrom;
    const bool removable = volume->enclosure && rig_->Config().enclosures[*volume->enclosure].removable;
    return removable ? kDriveRemovable : kDriveFixed;
}

bool RigDeviceStack::EnumerateVolumes(std::vector<std::string>& volumeNames) {
    volumeNames.clear();
    const MachineView view = View();
    for (const VolumeView& volume : view.Volumes()) volumeNames.push_back(volume.name);
    return true;
}

bool RigDeviceStack::VolumePathNames(const std::string& volumeName, std::vector<std::string>& paths) {
    const MachineView view = View();
    for (const VolumeView& volume : view.Volumes()) {
        if (!EqualsIgnoreCase(volume.name, volumeName)) continue;
        paths.clear();
        if (volume.letter != 0) paths.push_back(std::string(1, volume.letter) + ":\\");
        return true;
    }
    return false;
}

std::uint32_t RigDeviceStack::SystemMajorVersion() { return rig_->Config().systemMajorVersion; }

}  // namespace rig
