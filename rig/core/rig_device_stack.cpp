#include "rig_device_stack.h"

#include "common/core/scsi_pass_through.h"

namespace rig {
namespace {

constexpr std::uint32_t kCrNoSuchDevnode = 0x0D;  // the configuration manager's answer for unknown nodes

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

// The letter of a volume path "\\.\X:", or 0.
char VolumeLetter(const std::string& path) {
    if (path.size() != 6 || path.compare(0, 4, "\\\\.\\") != 0 || path[5] != ':') return 0;
    const char letter = UpperAscii(path[4]);
    return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

}  // namespace

RigDeviceStack::RigDeviceStack(std::shared_ptr<Rig> rig) : rig_(std::move(rig)) {}

const EnclosureConfig* RigDeviceStack::EnclosureForLetter(char letter) const {
    for (const EnclosureConfig& enclosure : rig_->Config().enclosures) {
        for (const DriveMapping& drive : enclosure.drives) {
            if (drive.letter == letter) return &enclosure;
        }
    }
    return nullptr;
}

const EnclosureConfig* RigDeviceStack::EnclosureForPath(const std::string& path, std::size_t& index) const {
    const auto& enclosures = rig_->Config().enclosures;
    const char letter = VolumeLetter(path);
    const EnclosureConfig* byLetter = letter != 0 ? EnclosureForLetter(letter) : nullptr;
    for (std::size_t i = 0; i < enclosures.size(); ++i) {
        if (EqualsIgnoreAsciiCase(enclosures[i].interfacePath, path) || byLetter == &enclosures[i]) {
            index = i;
            return &enclosures[i];
        }
    }
    return nullptr;
}

devio::DeviceHandle RigDeviceStack::Open(const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                                         std::uint32_t, std::uint32_t& lastError) {
    std::size_t index = 0;
    if (EnclosureForPath(path, index) == nullptr) {
        lastError = devio::kErrorFileNotFound;
        return devio::kInvalidDeviceHandle;
    }
    std::lock_guard lock(mutex_);
    const devio::DeviceHandle handle = next_;
    next_ += 4;
    open_[handle] = index;
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
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        const auto found = open_.find(handle);
        if (found == open_.end()) {
            lastError = devio::kErrorInvalidHandle;
            return false;
        }
        index = found->second;
    }
    // Hub requests join here with the USB topology.
    if (controlCode != devio::kIoctlScsiPassThrough) {
        lastError = devio::kErrorNotSupported;
        return false;
    }
    return rig_->PassThrough(index, input, inputSize, output, outputSize, returned, lastError);
}

// --- device interfaces and device nodes: not simulated yet; the machine has no USB topology.

bool RigDeviceStack::EnumerateInterfaces(const devio::Guid&, std::vector<devio::DeviceInterface>& interfaces) {
    interfaces.clear();
    return true;
}
bool RigDeviceStack::ParentOf(devio::DeviceInstance, devio::DeviceInstance&) { return false; }
bool RigDeviceStack::FirstChildOf(devio::DeviceInstance, devio::DeviceInstance&) { return false; }
bool RigDeviceStack::DeviceIdOf(devio::DeviceInstance, std::string&) { return false; }
bool RigDeviceStack::HardwareIdsOf(devio::DeviceInstance, std::vector<std::string>&) { return false; }
std::uint32_t RigDeviceStack::RequestEject(devio::DeviceInstance) { return kCrNoSuchDevnode; }

// --- registry: not simulated yet; every key is absent and nothing can be written.

bool RigDeviceStack::ReadRegistryValue(devio::RegistryHive, const std::string&, const std::string&, std::uint32_t&,
                                       std::vector<std::uint8_t>&) {
    return false;
}
bool RigDeviceStack::EnumerateRegistryValues(devio::RegistryHive, const std::string&, std::vector<std::string>&) {
    return false;
}
bool RigDeviceStack::EnumerateRegistryKeys(devio::RegistryHive, const std::string&, std::vector<std::string>&) {
    return false;
}
bool RigDeviceStack::WriteRegistryValue(devio::RegistryHive, const std::string&, const std::string&, std::uint32_t,
                                        const std::vector<std::uint8_t>&) {
    return false;
}
bool RigDeviceStack::DeleteRegistryValue(devio::RegistryHive, const std::string&, const std::string&) { return false; }
bool RigDeviceStack::DeleteRegistryTree(devio::RegistryHive, const std::string&) { return false; }

// --- drives and volumes: the rig's drive letters; volumes are not simulated yet.

std::uint32_t RigDeviceStack::LogicalDriveMask() {
    std::uint32_t mask = 0;
    for (const EnclosureConfig& enclosure : rig_->Config().enclosures) {
        for (const DriveMapping& drive : enclosure.drives) mask |= 1u << (drive.letter - 'A');
    }
    return mask;
}

std::uint32_t RigDeviceStack::DriveType(const std::string& root) {
    if (root.size() < 2 || root[1] != ':') return kDriveNoRootDir;
    const EnclosureConfig* enclosure = EnclosureForLetter(UpperAscii(root[0]));
    if (enclosure == nullptr) return kDriveNoRootDir;
    return enclosure->removable ? kDriveRemovable : kDriveFixed;
}

bool RigDeviceStack::EnumerateVolumes(std::vector<std::string>& volumeNames) {
    volumeNames.clear();
    return true;
}
bool RigDeviceStack::VolumePathNames(const std::string&, std::vector<std::string>&) { return false; }

std::uint32_t RigDeviceStack::SystemMajorVersion() { return rig_->Config().systemMajorVersion; }

}  // namespace rig
