#include "machine_view.h"

#include <algorithm>
#include <cstdio>

namespace rig {
namespace {

constexpr std::uint64_t kFirstPartitionOffset = 0x100000;  // 1 MiB, where partitioning tools start

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// "usb#root_hub20#4&1a2b&0#{...}" -> "USB\ROOT_HUB20\4&1A2B&0": the device id behind a device path.
std::string DeviceIdOfPath(std::string path) {
    if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\\\.\\", 0) == 0) path.erase(0, 4);
    std::string id;
    int separators = 0;
    for (char c : path) {
        if (c == '#') {
            if (++separators == 3) break;
            c = '\\';
        }
        id += c;
    }
    return UpperAscii(id);
}

std::vector<std::uint8_t> Text(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The 16 bytes of a braced GUID's hexadecimal digits, in text order.
std::vector<std::uint8_t> GuidBytes(const std::string& guid) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : guid) {
        const int digit = HexDigit(c);
        if (digit < 0) continue;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    bytes.resize(16, 0);
    return bytes;
}

// The volume name the rig gives a letter of an enclosure: "\\?\Volume{52494700-...-0000000000XX}\",
// XX the letter's ASCII code in hexadecimal.
std::string LetterVolumeName(char letter) {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{52494700-0000-0000-0000-0000000000%02x}\\",
                  static_cast<unsigned>(letter));
    return name;
}

// The wide-string form (UTF-16LE, NUL-terminated) of an ASCII text.
std::vector<std::uint8_t> WideText(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::string HubNameOf(const RigConfig& config, HubRef hub) {
    return hub.root ? config.controllers[hub.index].name : config.hubs[hub.index].name;
}

}  // namespace

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) { return LowerAscii(a) == LowerAscii(b); }

std::string VidPid(std::uint16_t vendor, std::uint16_t product) {
    char text[32];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", static_cast<unsigned>(vendor),
                  static_cast<unsigned>(product));
    return text;
}

MachineView::MachineView(const RigConfig& config, std::uint32_t unplugged) : config_(config), unplugged_(unplugged) {
    const devio::DeviceInstance root = AddNode(0, "HTREE\\ROOT\\0", {});
    std::vector<devio::DeviceInstance> rootHubs;
    for (std::size_t c = 0; c < config.controllers.size(); ++c) {
        const ControllerConfig& controller = config.controllers[c];
        const auto node = AddNode(root, DeviceIdOfPath(controller.path), {"PCI\\RIG_USB_HOST_CONTROLLER"});
        interfaces_.push_back({kUsbHostControllerInterfaceClass, {controller.path, node}});
        const std::string rootHubId = DeviceIdOfPath(controller.rootHub);
        const auto hubNode = AddNode(node, rootHubId, {rootHubId.substr(0, rootHubId.rfind('\\'))});
        interfaces_.push_back({kUsbHubInterfaceClass, {"\\\\?\\" + controller.rootHub, hubNode}});
        rootHubs.push_back(hubNode);
    }
    // Hubs may name parents defined after them: place them once their parent has a node.
    std::vector<devio::DeviceInstance> hubNodes(config.hubs.size(), 0);
    const auto parentNode = [&](const std::string& parent) -> devio::DeviceInstance {
        for (std::size_t c = 0; c < config.controllers.size(); ++c) {
            if (EqualsIgnoreCase(config.controllers[c].name, parent)) return rootHubs[c];
        }
        for (std::size_t h = 0; h < config.hubs.size(); ++h) {
            if (EqualsIgnoreCase(config.hubs[h].name, parent)) return hubNodes[h];
        }
        return 0;
    };
    for (std::size_t round = 0; round < config.hubs.size(); ++round) {
        for (std::size_t h = 0; h < config.hubs.size(); ++h) {
            const HubConfig& hub = config.hubs[h];
            const auto parent = parentNode(hub.attachment.parent);
            if (hubNodes[h] != 0 || parent == 0) continue;
            const std::string vidPid = VidPid(hub.usbVendorId, hub.usbProductId);
            hubNodes[h] = AddNode(parent, "USB\\" + vidPid + "\\" + std::to_string(h + 1), {"USB\\" + vidPid});
            interfaces_.push_back({kUsbHubInterfaceClass, {"\\\\?\\" + hub.hubName, hubNodes[h]}});
            const std::string key = std::string(kUsbEnumKey) + "\\" + vidPid + "\\" + std::to_string(h + 1);
            AddValue(key, "Driver", kRegSz, Text(hub.driverKey));
        }
    }
    for (std::size_t e = 0; e < config.enclosures.size(); ++e) {
        const EnclosureConfig& enclosure = config.enclosures[e];
        const std::string vidPid = VidPid(enclosure.usbVendorId, enclosure.usbProductId);
        const std::string usbPath =
            "\\\\?\\usb#" + LowerAscii(vidPid) + "#" + enclosure.instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
        const std::string key = std::string(kUsbEnumKey) + "\\" + vidPid + "\\" + enclosure.instance;
        AddValue(key, "Driver", kRegSz, Text(enclosure.driverKey));
        if (!enclosure.parentIdPrefix.empty()) AddValue(key, "ParentIdPrefix", kRegSz, Text(enclosure.parentIdPrefix));
        AddValue(key + "\\Device Parameters", "SymbolicName", kRegSz, Text("\\??\\" + usbPath.substr(4)));
        AddValue(UsbStorKey(enclosure), "FriendlyName", kRegSz,
                 Text(enclosure.inquiryVendor + " " + enclosure.inquiryProduct + " USB Device"));
        if (!Plugged(e)) continue;
        char revision[16];
        std::snprintf(revision, sizeof revision, "&REV_%04X", static_cast<unsigned>(enclosure.bcdDevice));
        const auto parent = enclosure.attachment.parent.empty() ? root : parentNode(enclosure.attachment.parent);
        const auto usbNode = AddNode(parent, "USB\\" + vidPid + "\\" + enclosure.instance,
                                     {"USB\\" + vidPid + revision, "USB\\" + vidPid});
        interfaces_.push_back({kUsbDeviceInterfaceClass, {usbPath, usbNode}});
        const auto diskNode = AddNode(usbNode, DeviceIdOfPath(enclosure.interfacePath), {"USBSTOR\\GenDisk"});
        interfaces_.push_back({kDiskInterfaceClass, {enclosure.interfacePath, diskNode}});
        if (enclosure.cdromLetter != 0) {
            const auto cdromNode = AddNode(usbNode, DeviceIdOfPath(enclosure.cdromPath), {"USBSTOR\\GenCdRom"});
            interfaces_.push_back({kCdromInterfaceClass, {enclosure.cdromPath, cdromNode}});
        }
    }
    BuildVolumes();
    BuildMountedDevices();
}

devio::DeviceInstance MachineView::AddNode(devio::DeviceInstance parent, std::string deviceId,
                                           std::vector<std::string> hardwareIds) {
    nodes_.push_back({std::move(deviceId), std::move(hardwareIds), parent, {}});
    const auto instance = static_cast<devio::DeviceInstance>(nodes_.size());
    if (parent != 0) nodes_[parent - 1].children.push_back(instance);
    return instance;
}

void MachineView::AddValue(const std::string& key, const std::string& name, std::uint32_t type,
                           std::vector<std::uint8_t> data) {
    registry_.push_back({key, name, type, std::move(data)});
    for (std::size_t end = 0; end != std::string::npos;) {
        end = key.find('\\', end + 1);
        const std::string ancestor = LowerAscii(key.substr(0, end));
        if (std::find(keys_.begin(), keys_.end(), ancestor) == keys_.end()) keys_.push_back(ancestor);
    }
}

const DeviceNode* MachineView::Node(devio::DeviceInstance instance) const {
    if (instance == 0 || instance > nodes_.size()) return nullptr;
    return &nodes_[instance - 1];
}

std::vector<devio::DeviceInterface> MachineView::Interfaces(const devio::Guid& interfaceClass) const {
    std::vector<devio::DeviceInterface> found;
    for (const InterfaceEntry& entry : interfaces_) {
        if (entry.interfaceClass == interfaceClass) found.push_back(entry.deviceInterface);
    }
    return found;
}

bool MachineView::KeyExists(const std::string& key) const {
    return std::find(keys_.begin(), keys_.end(), LowerAscii(key)) != keys_.end();
}

void MachineView::BuildVolumes() {
    // Each drive letter of an enclosure is a partition of its disk; the letters share the room
    // after the first MiB.
    for (std::size_t e = 0; e < config_.enclosures.size(); ++e) {
        const EnclosureConfig& enclosure = config_.enclosures[e];
        if (!Plugged(e)) continue;
        if (!enclosure.drives.empty()) {
            const std::uint64_t capacity = enclosure.sectors * enclosure.sectorSize;
            const std::uint64_t start = capacity > 2 * kFirstPartitionOffset ? kFirstPartitionOffset : 0;
            const std::uint64_t share = (capacity - start) / enclosure.drives.size() / enclosure.sectorSize *
                                        enclosure.sectorSize;
            for (std::size_t d = 0; d < enclosure.drives.size(); ++d) {
                VolumeView volume{LetterVolumeName(enclosure.drives[d].letter), enclosure.drives[d].letter, {}, e};
                volume.extents.push_back({e, {enclosure.name, start + d * share, share}});
                volumes_.push_back(std::move(volume));
            }
        }
        // The CD-ROM's letter is a volume without extents on the disk.
        if (enclosure.cdromLetter != 0) {
            volumes_.push_back({LetterVolumeName(enclosure.cdromLetter), enclosure.cdromLetter, {}, e, true});
        }
    }
    for (const VolumeConfig& config : config_.volumes) {
        VolumeView volume{"\\\\?\\Volume" + config.guid + "\\", config.letter, {}, std::nullopt};
        bool present = true;
        for (const VolumeExtent& extent : config.extents) {
            for (std::size_t e = 0; e < config_.enclosures.size(); ++e) {
                if (!EqualsIgnoreCase(config_.enclosures[e].name, extent.enclosure)) continue;
                present = present && Plugged(e);
                volume.extents.push_back({e, extent});
            }
        }
        if (!present) continue;  // a volume with a missing member does not mount
        if (volume.extents.size() == 1) volume.enclosure = volume.extents.front().first;
        volumes_.push_back(std::move(volume));
    }
}

// SYSTEM\MountedDevices as a system fills it: for an MBR partition the disk signature and the
// partition's offset, for a CD-ROM the wide-string device name of its interface ("\??\usbstor#cdrom&..."),
// otherwise "DMIO:ID:" and the volume's identity.
void MachineView::BuildMountedDevices() {
    for (const VolumeView& volume : volumes_) {
        std::vector<std::uint8_t> data;
        const EnclosureConfig* disk = volume.enclosure ? &config_.enclosures[*volume.enclosure] : nullptr;
        if (disk != nullptr && volume.cdrom) {
            data = WideText("\\??\\" + disk->cdromPath.substr(4));
        } else if (disk != nullptr && disk->partitionStyle == PartitionStyle::Mbr) {
            PutLittle(data, disk->diskSignature, 4);
            PutLittle(data, volume.extents.front().second.offset, 8);
        } else {
            const std::string tag = "DMIO:ID:";
            data.assign(tag.begin(), tag.end());
            const auto id = GuidBytes(volume.name);
            data.insert(data.end(), id.begin(), id.end());
        }
        if (volume.letter != 0) {
            AddValue(kMountedDevicesKey, std::string("\\DosDevices\\") + volume.letter + ":", kRegBinary, data);
        }
        AddValue(kMountedDevicesKey, "\\??\\" + volume.name.substr(4, volume.name.size() - 5), kRegBinary, data);
    }
}

const VolumeView* MachineView::VolumeOfLetter(char letter) const {
    for (const VolumeView& volume : volumes_) {
        if (volume.letter == letter) return &volume;
    }
    return nullptr;
}

std::optional<HubRef> MachineView::HubOfPath(const std::string& path) const {
    if (path.size() < 5 || (path.rfind("\\\\?\\", 0) != 0 && path.rfind("\\\\.\\", 0) != 0)) return std::nullopt;
    const std::string name = path.substr(4);
    for (std::size_t c = 0; c < config_.controllers.size(); ++c) {
        if (EqualsIgnoreCase(config_.controllers[c].rootHub, name)) return HubRef{true, c};
    }
    for (std::size_t h = 0; h < config_.hubs.size(); ++h) {
        if (EqualsIgnoreCase(config_.hubs[h].hubName, name)) return HubRef{false, h};
    }
    return std::nullopt;
}

std::uint8_t MachineView::PortCount(HubRef hub) const {
    return hub.root ? config_.controllers[hub.index].ports : config_.hubs[hub.index].ports;
}

PortOccupant MachineView::Occupant(HubRef hub, std::uint8_t port) const {
    const std::string name = HubNameOf(config_, hub);
    for (std::size_t h = 0; h < config_.hubs.size(); ++h) {
        const UsbAttachment& at = config_.hubs[h].attachment;
        if (at.port == port && EqualsIgnoreCase(at.parent, name)) return {PortOccupant::Kind::Hub, h};
    }
    for (std::size_t e = 0; e < config_.enclosures.size(); ++e) {
        const UsbAttachment& at = config_.enclosures[e].attachment;
        if (Plugged(e) && at.port == port && EqualsIgnoreCase(at.parent, name)) {
            return {PortOccupant::Kind::Enclosure, e};
        }
    }
    return {};
}

std::vector<VolumeExtent> MachineView::ExtentsOn(std::size_t enclosure) const {
    std::vector<VolumeExtent> extents;
    for (const VolumeView& volume : volumes_) {
        for (const auto& [index, extent] : volume.extents) {
            if (index == enclosure) extents.push_back(extent);
        }
    }
    std::sort(extents.begin(), extents.end(),
              [](const VolumeExtent& a, const VolumeExtent& b) { return a.offset < b.offset; });
    return extents;
}

std::string UsbStorKey(const EnclosureConfig& enclosure) {
    const auto part = [](std::string text) {
        std::replace(text.begin(), text.end(), ' ', '_');
        return text;
    };
    return std::string(kUsbStorEnumKey) + "\\Disk&Ven_" + part(enclosure.inquiryVendor) + "&Prod_" +
           part(enclosure.inquiryProduct) + "&Rev_" + part(enclosure.inquiryRevision) + "\\" + enclosure.instance +
           "&0";
}

}  // namespace rig
