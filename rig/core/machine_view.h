#pragma once
// What the simulated machine shows the system calls at one moment: device nodes, device
// interfaces, the registry, volumes and the occupants of hub ports. Built from the rig file and
// the set of unplugged enclosures; an unplugged enclosure has no nodes, interfaces, volumes or
// drive letters, and its port reports no device. The registry keeps its entries (as a real
// system keeps them for devices it has seen).

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/core/device_stack.h"
#include "rig_config.h"

namespace rig {

// The published device interface classes the rig populates.
inline constexpr devio::Guid kDiskInterfaceClass{
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr devio::Guid kCdromInterfaceClass{
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
inline constexpr devio::Guid kUsbDeviceInterfaceClass{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
inline constexpr devio::Guid kUsbHubInterfaceClass{
    0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
inline constexpr devio::Guid kUsbHostControllerInterfaceClass{
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;

inline constexpr char kUsbEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
inline constexpr char kMountedDevicesKey[] = "SYSTEM\\MountedDevices";
inline constexpr char kUsbStorEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";

struct DeviceNode {
    std::string deviceId;
    std::vector<std::string> hardwareIds;
    devio::DeviceInstance parent = 0;  // 0: the root
    std::vector<devio::DeviceInstance> children;
};

struct InterfaceEntry {
    devio::Guid interfaceClass;
    devio::DeviceInterface deviceInterface;  // ("interface" is a macro of the platform's COM headers)
};

struct RegistryEntry {
    std::string key;  // below HKEY_LOCAL_MACHINE
    std::string name;
    std::uint32_t type = kRegSz;
    std::vector<std::uint8_t> data;
};

struct VolumeView {
    std::string name;  // "\\?\Volume{...}\"
    char letter = 0;
    std::vector<std::pair<std::size_t, VolumeExtent>> extents;  // enclosure index, extent
    std::optional<std::size_t> enclosure;  // the disk its pass-through requests go to, if one
    bool cdrom = false;  // the CD-ROM letter of `enclosure`: no extents, the CD-ROM unit answers
};

// A hub port's occupant.
struct PortOccupant {
    enum class Kind { None, Hub, Enclosure } kind = Kind::None;
    std::size_t index = 0;
};

// A hub of the machine: the root hub of a controller, or an external hub.
struct HubRef {
    bool root = true;
    std::size_t index = 0;
};

class MachineView {
public:
    MachineView(const RigConfig& config, std::uint32_t unplugged);

    const RigConfig& Config() const { return config_; }
    bool Plugged(std::size_t enclosure) const { return enclosure < 32 && ((unplugged_ >> enclosure) & 1u) == 0; }

    const DeviceNode* Node(devio::DeviceInstance instance) const;
    std::vector<devio::DeviceInterface> Interfaces(const devio::Guid& interfaceClass) const;
    const std::vector<RegistryEntry>& Registry() const { return registry_; }
    // True when the key exists (it holds values or subkeys).
    bool KeyExists(const std::string& key) const;
    const std::vector<VolumeView>& Volumes() const { return volumes_; }
    const VolumeView* VolumeOfLetter(char letter) const;

    // The hub whose device path (\\?\ or \\.\ and its name) is `path`.
    std::optional<HubRef> HubOfPath(const std::string& path) const;
    std::uint8_t PortCount(HubRef hub) const;
    PortOccupant Occupant(HubRef hub, std::uint8_t port) const;

    // The volumes' extents on an enclosure's disk, by offset.
    std::vector<VolumeExtent> ExtentsOn(std::size_t enclosure) const;

private:
    devio::DeviceInstance AddNode(devio::DeviceInstance parent, std::string deviceId,
                                  std::vector<std::string> hardwareIds);
    void AddValue(const std::string& key, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data);
    void BuildVolumes();
    void BuildMountedDevices();

    const RigConfig& config_;
    std::uint32_t unplugged_;
    std::vector<DeviceNode> nodes_;  // instance n is nodes_[n - 1]
    std::vector<InterfaceEntry> interfaces_;
    std::vector<RegistryEntry> registry_;
    std::vector<std::string> keys_;  // lower-cased, with every ancestor
    std::vector<VolumeView> volumes_;
};

// ASCII helpers shared by the stack's pieces.
std::string LowerAscii(std::string text);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);
// The enclosure's disk under Enum\USBSTOR: "Disk&Ven_V&Prod_P&Rev_R\INSTANCE&0", blanks of the
// INQUIRY texts written as underscores.
std::string UsbStorKey(const EnclosureConfig& enclosure);
// "VID_1A2B&PID_3C4D" (upper-case hexadecimal).
std::string VidPid(std::uint16_t vendor, std::uint16_t product);

}  // namespace rig
