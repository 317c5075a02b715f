#include "rig_device_stack.h"

#include <algorithm>

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

// The volume a "\\?\Volume{...}" or "\\.\Volume{...}" path (with or without its trailing
// backslash) opens, or null.
const VolumeView* VolumeOfPath(const MachineView& view, const std::string& path) {
    if (path.size() < 5 || (path.compare(0, 4, "\\\\?\\") != 0 && path.compare(0, 4, "\\\\.\\") != 0)) {
        return nullptr;
    }
    std::string name = "\\\\?\\" + path.substr(4);
    if (name.back() != '\\') name += '\\';
    for (const VolumeView& volume : view.Volumes()) {
        if (EqualsIgnoreCase(volume.name, name)) return &volume;
    }
    return nullptr;
}

const VolumeView* VolumeNamed(const MachineView& view, const std::string& name) {
    for (const VolumeView& volume : view.Volumes()) {
        if (volume.name == name) return &volume;
    }
    return nullptr;
}

// The enclosure whose USB device node is `instance`.
std::optional<std::size_t> EnclosureOfUsbNode(const MachineView& view, devio::DeviceInstance instance) {
    const DeviceNode* node = view.Node(instance);
    if (node == nullptr) return std::nullopt;
    const RigConfig& config = view.Config();
    for (std::size_t e = 0; e < config.enclosures.size(); ++e) {
        const EnclosureConfig& enclosure = config.enclosures[e];
        const std::string id =
            "USB\\" + VidPid(enclosure.usbVendorId, enclosure.usbProductId) + "\\" + enclosure.instance;
        if (view.Plugged(e) && EqualsIgnoreCase(node->deviceId, id)) return e;
    }
    return std::nullopt;
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
        const VolumeView* volume = view.VolumeOfLetter(letter);
        if (volume == nullptr) return std::nullopt;
        return Target{Target::Kind::Volume, 0, false, volume->name};
    }
    if (const VolumeView* volume = VolumeOfPath(view, path)) {
        return Target{Target::Kind::Volume, 0, false, volume->name};
    }
    const RigConfig& config = rig_->Config();
    for (std::size_t e = 0; e < config.enclosures.size(); ++e) {
        if (EqualsIgnoreCase(config.enclosures[e].interfacePath, path)) {
            if (!view.Plugged(e)) return std::nullopt;
            return Target{Target::Kind::Enclosure, e, false, {}};
        }
        if (!config.enclosures[e].cdromPath.empty() && EqualsIgnoreCase(config.enclosures[e].cdromPath, path)) {
            if (!view.Plugged(e)) return std::nullopt;
            return Target{Target::Kind::Cdrom, e, false, {}};
        }
    }
    for (std::size_t c = 0; c < config.controllers.size(); ++c) {
        if (EqualsIgnoreCase(config.controllers[c].path, path)) return Target{Target::Kind::Controller, c, false, {}};
    }
    if (const auto hub = view.HubOfPath(path)) return Target{Target::Kind::Hub, hub->index, hub->root, {}};
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
    if (target->kind == Target::Kind::Volume && locks_.count(LowerAscii(target->volume)) != 0) {
        lastError = devio::kErrorAccessDenied;  // a locked volume takes no new opens
        return devio::kInvalidDeviceHandle;
    }
    const devio::DeviceHandle handle = next_;
    next_ += 4;
    open_[handle] = *target;
    return handle;
}

bool RigDeviceStack::Close(devio::DeviceHandle handle) {
    std::lock_guard lock(mutex_);
    std::erase_if(locks_, [&](const auto& entry) { return entry.second == handle; });  // closing unlocks
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
    return ControlTarget(view, handle, target, controlCode, input, inputSize, output, outputSize, returned,
                         lastError);
}

bool RigDeviceStack::ControlTarget(const MachineView& view, devio::DeviceHandle handle, const Target& target,
                                   std::uint32_t controlCode, const void* input, std::uint32_t inputSize, void* output,
                                   std::uint32_t outputSize, std::uint32_t& returned, std::uint32_t& lastError) {
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
            if (controlCode == devio::kIoctlDiskUpdateProperties) {
                std::lock_guard lock(mutex_);
                ++updates_[target.index];
                return true;
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
            const VolumeView* volume = VolumeNamed(view, target.volume);
            if (volume == nullptr) break;
            return ControlVolume(view, handle, *volume, controlCode, input, inputSize, output, outputSize, returned,
                                 lastError);
        }
    }
    lastError = kErrorDeviceNotConnected;  // the device went away while the handle was open
    return false;
}

bool RigDeviceStack::ControlVolume(const MachineView& view, devio::DeviceHandle handle, const VolumeView& volume,
                                   std::uint32_t controlCode, const void* input, std::uint32_t inputSize,
                                   void* output, std::uint32_t outputSize, std::uint32_t& returned,
                                   std::uint32_t& lastError) {
    const std::string key = LowerAscii(volume.name);
    switch (controlCode) {
        case devio::kIoctlScsiPassThrough:
            if (!volume.enclosure) {
                lastError = devio::kErrorNotSupported;  // a volume on several disks is no one device
                return false;
            }
            return rig_->PassThrough(*volume.enclosure, input, inputSize, output, outputSize, returned, lastError,
                                     volume.cdrom);
        case devio::kFsctlLockVolume: {
            std::lock_guard lock(mutex_);
            // Held by another handle, or open through another handle of this program: refused,
            // as the platform refuses to lock a volume with other opens.
            const auto holder = locks_.find(key);
            const bool otherOpen = std::any_of(open_.begin(), open_.end(), [&](const auto& entry) {
                return entry.first != handle && entry.second.kind == Target::Kind::Volume &&
                       LowerAscii(entry.second.volume) == key;
            });
            if ((holder != locks_.end() && holder->second != handle) || otherOpen) {
                lastError = devio::kErrorAccessDenied;
                return false;
            }
            locks_[key] = handle;
            return true;
        }
        case devio::kFsctlUnlockVolume: {
            std::lock_guard lock(mutex_);
            const auto holder = locks_.find(key);
            if (holder == locks_.end() || holder->second != handle) {
                lastError = devio::kErrorNotLocked;
                return false;
            }
            locks_.erase(holder);
            return true;
        }
        case devio::kFsctlDismountVolume: {
            std::lock_guard lock(mutex_);
            ++dismounts_[key];
            return true;
        }
        default: break;
    }
    if (volume.cdrom) {
        lastError = devio::kErrorNotSupported;  // a CD-ROM volume has no extents on the disk
        return false;
    }
    return AnswerVolumeRequest(view, volume, controlCode, output, outputSize, returned, lastError);
}

bool RigDeviceStack::Locked(const std::string& volumeName) {
    std::lock_guard lock(mutex_);
    return locks_.count(LowerAscii(volumeName)) != 0;
}

std::uint32_t RigDeviceStack::Dismounts(const std::string& volumeName) {
    std::lock_guard lock(mutex_);
    const auto found = dismounts_.find(LowerAscii(volumeName));
    return found != dismounts_.end() ? found->second : 0;
}

std::uint32_t RigDeviceStack::PropertyUpdates(std::size_t enclosure) {
    std::lock_guard lock(mutex_);
    const auto found = updates_.find(enclosure);
    return found != updates_.end() ? found->second : 0;
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

// An enclosure's USB device node answers as its state says (rigctl eject): accepted, the
// enclosure is unplugged; vetoed; or failed. Other nodes cannot be ejected.
std::uint32_t RigDeviceStack::RequestEject(devio::DeviceInstance instance) {
    const MachineView view = View();
    if (view.Node(instance) == nullptr) return kCrNoSuchDevnode;
    const auto enclosure = EnclosureOfUsbNode(view, instance);
    if (!enclosure) return devio::kCrFailure;
    DeviceState state;
    std::string error;
    if (!rig_->ReadState(*enclosure, state, error)) {
        rig_->Report(error);
        return devio::kCrFailure;
    }
    switch (state.eject) {
        case EjectAnswer::Accept:
            if (!rig_->SetPlugged(*enclosure, false, error)) {
                rig_->Report(error);
                return devio::kCrFailure;
            }
            return devio::kCrSuccess;
        case EjectAnswer::Veto: return devio::kCrRemoveVetoed;
        case EjectAnswer::Fail: break;
    }
    return devio::kCrFailure;
}

// --- registry: HKEY_LOCAL_MACHINE as the view has it, with the programs' changes applied.

bool RigDeviceStack::Registry(const MachineView& view, std::optional<RegistryImage>& image) {
    std::vector<RegistryChange> changes;
    std::string error;
    if (!rig_->ReadRegistryChanges(changes, error)) {
        rig_->Report(error);
        return false;
    }
    image.emplace(view.Registry(), changes);
    return true;
}

bool RigDeviceStack::ReadRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name,
                                       std::uint32_t& type, std::vector<std::uint8_t>& data) {
    std::optional<RegistryImage> image;
    if (!LocalMachine(hive) || !Registry(View(), image)) return false;
    for (const RegistryEntry& entry : image->Entries()) {
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
    std::optional<RegistryImage> image;
    if (!LocalMachine(hive) || !Registry(View(), image) || !image->KeyExists(key)) return false;
    names.clear();
    for (const RegistryEntry& entry : image->Entries()) {
        if (EqualsIgnoreCase(entry.key, key)) names.push_back(entry.name);
    }
    return true;
}

bool RigDeviceStack::EnumerateRegistryKeys(devio::RegistryHive hive, const std::string& key,
                                           std::vector<std::string>& names) {
    std::optional<RegistryImage> image;
    if (!LocalMachine(hive) || !Registry(View(), image) || !image->KeyExists(key)) return false;
    names = image->Subkeys(key);
    return true;
}

// A value goes into an existing key only, as the platform's open-for-writing requires.
bool RigDeviceStack::WriteRegistryValue(devio::RegistryHive hive, const std::string& key, const std::string& name,
                                        std::uint32_t type, const std::vector<std::uint8_t>& data) {
    if (!LocalMachine(hive) || !StorableRegistryKey(key) || !StorableValueName(name) ||
        data.size() > kMaxRegistryValueSize) {
        return false;
    }
    const MachineView view = View();
    std::string error;
    bool written = false;
    const bool changed = rig_->ChangeRegistry(
        [&](const std::vector<RegistryChange>& current, std::vector<RegistryChange>& added) {
            if (!RegistryImage(view.Registry(), current).KeyExists(key)) return true;
            added.push_back({RegistryChange::Kind::SetValue, key, name, type, data});
            written = true;
            return true;
        },
        error);
    if (!changed) rig_->Report(error);
    return changed && written;
}

bool RigDeviceStack::DeleteRegistryValue(devio::RegistryHive, const std::string&, const std::string&) { return false; }
bool RigDeviceStack::DeleteRegistryTree(devio::RegistryHive, const std::string&) { return false; }

std::uint32_t RigDeviceStack::CheckRegistryKey(devio::RegistryHive hive, const std::string& key) {
    std::optional<RegistryImage> image;
    if (!LocalMachine(hive) || !StorableRegistryKey(key)) return devio::kErrorFileNotFound;
    if (!Registry(View(), image)) return kErrorIoDevice;
    return image->KeyExists(key) ? 0 : devio::kErrorFileNotFound;
}

// As the platform's key deletion: the key must exist and have no subkeys; keys of the system's
// device tree also need their permissions opened first.
std::uint32_t RigDeviceStack::DeleteRegistryKey(devio::RegistryHive hive, const std::string& key) {
    if (!LocalMachine(hive)) return devio::kErrorFileNotFound;
    if (!StorableRegistryKey(key)) return devio::kErrorInvalidParameter;
    const MachineView view = View();
    std::uint32_t result = 0;
    std::string error;
    const bool changed = rig_->ChangeRegistry(
        [&](const std::vector<RegistryChange>& current, std::vector<RegistryChange>& added) {
            const RegistryImage image(view.Registry(), current);
            if (!image.KeyExists(key)) {
                result = devio::kErrorFileNotFound;
            } else if (!image.Subkeys(key).empty() || image.Protected(key)) {
                result = devio::kErrorAccessDenied;
            } else {
                added.push_back({RegistryChange::Kind::DeleteKey, key, {}, 0, {}});
            }
            return true;
        },
        error);
    if (!changed) {
        rig_->Report(error);
        return kErrorIoDevice;
    }
    return result;
}

bool RigDeviceStack::GrantRegistryKeyToAdministrators(devio::RegistryHive hive, const std::string& key,
                                                      std::string& report) {
    if (!LocalMachine(hive) || !StorableRegistryKey(key)) {
        report += "First SetNamedSecurityInfo call failed: 2\n";
        return false;
    }
    const MachineView view = View();
    bool granted = false;
    std::string error;
    const bool changed = rig_->ChangeRegistry(
        [&](const std::vector<RegistryChange>& current, std::vector<RegistryChange>& added) {
            if (!RegistryImage(view.Registry(), current).KeyExists(key)) return true;
            added.push_back({RegistryChange::Kind::Grant, key, {}, 0, {}});
            granted = true;
            return true;
        },
        error);
    if (!changed) rig_->Report(error);
    report += granted ? "Successfully changed DACL\n" : "First SetNamedSecurityInfo call failed: 2\n";
    return granted;
}

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
