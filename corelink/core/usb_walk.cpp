// The USB view of device discovery: root hubs, hubs below them and their ports, joined with the
// storage view. Everything the hardware reports is bounded before it reaches a record: names are
// cut to their fields, tiers beyond the port chain's five are not walked, and a full device list
// or hub list takes no more records.
#include "corelink/core/usb_walk.h"

#include "corelink/core/usb_walk_internal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/core/usb_ioctl_layout.h"
#include "corelink/core/opened_device.h"
#include "corelink/core/scsi_commands.h"
#include "corelink/core/storage_scan.h"

namespace corelink {
namespace {

using devio::DeviceHandle;
using devio::DeviceListEntry;
using devio::DiskPathEntry;
using devio::HubListRecord;
// The storage view a walk or a poll joins with (on the stack: a scan allocates nothing for it).
using DiskPathList = std::array<DiskPathEntry, devio::kDiskPathListRecords>;

constexpr devio::Guid kUsbHubClass{0xF18A0E88, 0xC30C, 0x11D0, {0x88, 0x15, 0x00, 0xA0, 0xC9, 0x06, 0xBE, 0xD8}};
constexpr devio::Guid kUsbHostControllerClass{
    0x3ABF6F2D, 0x71C4, 0x462A, {0x8A, 0x92, 0x1E, 0x68, 0x61, 0xE6, 0xAF, 0x27}};

constexpr std::uint32_t kConnectionInfoSize = 365;  // the fixed part and room for 30 pipes
constexpr std::uint32_t kMaxNameReply = 8192;       // a bound on what a name request may ask for
constexpr int kNameAttemptsBeforeGivingUp = 3;      // a hub's port walk ends after more than this
constexpr std::uint8_t kMassStorageClass = 8;
constexpr std::uint16_t kStringRequestLength = 255;
constexpr std::uint8_t kSuperSpeed = 3;
constexpr const char kEnumUsbKey[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr std::size_t kRegistryValueBytes = 8192;

// ---------------------------------------------------------------- text helpers

void TraceText(Device& device, const std::string& text) { device.tracer.Trace(text.c_str()); }

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Wide text from the platform (UTF-16LE, up to a NUL or `size` bytes) in the system code page.
// The platform-free core knows no code page but ASCII: every other character becomes '?'.
std::string WideToAnsi(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    for (std::size_t at = 0; at + 1 < size; at += 2) {
        const unsigned unit = bytes[at] | (static_cast<unsigned>(bytes[at + 1]) << 8);
        if (unit == 0) break;
        if (unit >= 0xDC00 && unit < 0xE000) continue;  // the second half of a pair was counted
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

std::string VidPid(std::uint16_t vendorId, std::uint16_t productId) {
    char text[32];
    std::snprintf(text, sizeof text, "vid_%04x&pid_%04x", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId));
    return text;
}

// ---------------------------------------------------------------- handles and requests


struct Answer {
    bool delivered = false;
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
};

// One control request whose input and output share `buffer` (as the hub requests do).
Answer Ask(Device& device, DeviceHandle handle, std::uint32_t code, std::vector<std::uint8_t>& buffer,
           std::uint32_t inputSize) {
    Answer answer;
    const auto size = static_cast<std::uint32_t>(buffer.size());
    answer.delivered = device.stack.Control(handle, code, buffer.data(), std::min(inputSize, size), buffer.data(),
                                            size, answer.returned, answer.error);
    answer.returned = std::min(answer.returned, size);
    if (!answer.delivered && answer.error == 0) answer.error = devio::kErrorGenFailure;
    return answer;
}

std::uint32_t ReadLe32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// The two-step read of a wide name: a request of `fixedSize` bytes tells the size the reply
// needs (ActualLength at `lengthAt`), then the full request. False when either step fails.
// `hasPort`: the request names a port in its first four bytes (the connection names do).
bool ReadWideName(Device& device, DeviceHandle handle, std::uint32_t code, bool hasPort, std::uint32_t port,
                  std::size_t fixedSize, std::size_t lengthAt, std::size_t textAt, std::string& name) {
    std::vector<std::uint8_t> buffer(fixedSize, 0);
    if (hasPort) std::memcpy(buffer.data(), &port, sizeof port);
    const auto inputSize = static_cast<std::uint32_t>(hasPort ? fixedSize : 0);
    if (!Ask(device, handle, code, buffer, inputSize).delivered) return false;
    const std::uint32_t needed = std::clamp<std::uint32_t>(ReadLe32(buffer, lengthAt),
                                                           static_cast<std::uint32_t>(fixedSize), kMaxNameReply);
    buffer.assign(needed, 0);
    if (hasPort) std::memcpy(buffer.data(), &port, sizeof port);
    const Answer answer = Ask(device, handle, code, buffer, hasPort ? needed : 0);
    if (!answer.delivered || answer.returned <= textAt) return false;
    name = WideToAnsi(buffer.data() + textAt, answer.returned - textAt);
    return true;
}

}  // namespace

bool ReadConnectionName(Device& device, DeviceHandle handle, std::uint32_t code, std::uint32_t port,
                        std::string& name) {
    return ReadWideName(device, handle, code, true, port, devio::kConnectionNameFixedSize, 4,
                        devio::kConnectionNameTextOffset, name);
}

bool ReadNodeInformation(Device& device, DeviceHandle handle, std::uint8_t& portCount) {
    std::vector<std::uint8_t> buffer(sizeof(devio::UsbNodeInformation), 0);
    if (!Ask(device, handle, devio::kIoctlUsbGetNodeInformation, buffer, 0).delivered) return false;
    portCount = buffer[6];
    return true;
}

// The connection information of a port; false (with `error`) when the request failed, in which
// case `info` holds whatever the buffer held.
bool ReadConnection(Device& device, DeviceHandle handle, std::uint32_t port,
                    devio::UsbNodeConnectionInformationEx& info, std::uint32_t& error) {
    std::vector<std::uint8_t> buffer(kConnectionInfoSize, 0);
    std::memcpy(buffer.data(), &port, sizeof port);
    const Answer answer = Ask(device, handle, devio::kIoctlUsbGetNodeConnectionInformationEx, buffer,
                              kConnectionInfoSize);
    std::memcpy(&info, buffer.data(), sizeof info);
    error = answer.error;
    return answer.delivered;
}

namespace {

// A descriptor request; the reply (request header included) in `buffer`, its length returned,
// 0 when the request failed.
std::uint32_t ReadDescriptor(Device& device, DeviceHandle handle, std::uint32_t port, std::uint16_t value,
                             std::uint16_t language, std::uint16_t length, std::vector<std::uint8_t>& buffer) {
    devio::UsbDescriptorRequest request{};
    request.ConnectionIndex = port;
    request.wValue = value;
    request.wIndex = language;
    request.wLength = length;
    buffer.assign(sizeof request + length, 0);
    std::memcpy(buffer.data(), &request, sizeof request);
    const Answer answer = Ask(device, handle, devio::kIoctlUsbGetDescriptorFromNodeConnection, buffer,
                              static_cast<std::uint32_t>(buffer.size()));
    return answer.delivered ? answer.returned : 0;
}

constexpr std::uint32_t kRequestSize = sizeof(devio::UsbDescriptorRequest);

}  // namespace

// The configuration descriptor with everything after it: the 9-byte probe must come back whole
// with a total length above 8, then the full read must agree with that total length.
bool ReadConfiguration(Device& device, DeviceHandle handle, std::uint32_t port, std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> buffer;
    constexpr std::uint16_t kConfigValue = devio::kDescriptorConfiguration << 8;
    if (ReadDescriptor(device, handle, port, kConfigValue, 0, 9, buffer) != kRequestSize + 9) return false;
    const std::uint16_t total = static_cast<std::uint16_t>(buffer[kRequestSize + 2] | buffer[kRequestSize + 3] << 8);
    if (total <= 8) return false;
    const std::uint32_t returned = ReadDescriptor(device, handle, port, kConfigValue, 0, total, buffer);
    if (returned != kRequestSize + total) return false;
    const std::uint16_t again = static_cast<std::uint16_t>(buffer[kRequestSize + 2] | buffer[kRequestSize + 3] << 8);
    if (again != total) return false;
    data.assign(buffer.begin() + kRequestSize, buffer.end());
    return true;
}

// Whether the first interface descriptor (configuration and endpoint descriptors skipped; any
// other descriptor before it means there is none) is of the mass-storage class.
bool FirstInterfaceIsMassStorage(const std::vector<std::uint8_t>& data) {
    std::size_t at = 0;
    while (at + 2 <= data.size()) {
        const std::uint8_t length = data[at];
        const std::uint8_t type = data[at + 1];
        if (type == devio::kDescriptorInterface) return at + 5 < data.size() && data[at + 5] == kMassStorageClass;
        if (length == 0 || (type != devio::kDescriptorConfiguration && type != devio::kDescriptorEndpoint)) {
            return false;
        }
        at += length;
    }
    return false;
}

namespace {

// A string descriptor reply counts when it is a string descriptor whose length agrees with the
// reply and is even.
bool StringReplyValid(const std::vector<std::uint8_t>& buffer, std::uint32_t returned) {
    if (returned <= kRequestSize + 1 || returned > buffer.size()) return false;
    const std::uint8_t length = buffer[kRequestSize];
    return buffer[kRequestSize + 1] == devio::kDescriptorString && returned == length + kRequestSize &&
           length % 2 == 0;
}

// ---------------------------------------------------------------- registry

std::string RegistryText(Device& device, const std::string& key, const std::string& name, bool& found) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    found = device.stack.ReadRegistryValue(devio::RegistryHive::LocalMachine, key, name, type, data);
    if (!found) return {};
    data.resize(std::min(data.size(), kRegistryValueBytes));
    // The text ends at its first NUL or with the data; an empty value is empty text.
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    return std::string(data.begin(), end);
}

std::vector<std::string> RegistryKeys(Device& device, const std::string& key) {
    std::vector<std::string> names;
    if (!device.stack.EnumerateRegistryKeys(devio::RegistryHive::LocalMachine, key, names)) names.clear();
    return names;
}

// SymbolicName, ParentIdPrefix and (without a prefix) the instance name as serial number, from
// the device's instance key under Enum\USB. Missing keys leave the fields empty.
void ReadRegistryIdentity(Device& device, DeviceListEntry& record, std::uint16_t vendorId, std::uint16_t productId,
                          const std::string& driverKey) {
    const std::string wanted = VidPid(vendorId, productId);
    std::string deviceKey;
    for (const std::string& name : RegistryKeys(device, kEnumUsbKey)) {
        if (Lower(name) == wanted) {
            deviceKey = std::string(kEnumUsbKey) + "\\" + name;
            break;
        }
    }
    if (deviceKey.empty()) return;
    for (const std::string& instance : RegistryKeys(device, deviceKey)) {
        const std::string instanceKey = deviceKey + "\\" + instance;
        bool found = false;
        if (RegistryText(device, instanceKey, "Driver", found) != driverKey || !found) continue;
        const std::string prefix = RegistryText(device, instanceKey, "ParentIdPrefix", found);
        SetField(record.parentIdPrefix, found ? prefix : instance);
        SetField(record.serialNumber, found ? std::string() : instance);
        for (const std::string& sub : RegistryKeys(device, instanceKey)) {
            if (Lower(sub) != "device parameters") continue;
            SetField(record.symbolicName, RegistryText(device, instanceKey + "\\" + sub, "SymbolicName", found));
            break;
        }
        return;
    }
}

// ---------------------------------------------------------------- string descriptors

// The manufacturer, product and serial-number strings in the device's first language; false
// when the language list cannot be read.
bool ReadStrings(Device& device, DeviceHandle handle, std::uint32_t port, const devio::UsbDeviceDescriptor& descriptor,
                 bool forceSerial, DeviceListEntry& record) {
    std::vector<std::uint8_t> buffer;
    std::uint32_t returned = ReadDescriptor(device, handle, port, devio::kDescriptorString << 8, 0,
                                            kStringRequestLength, buffer);
    if (!StringReplyValid(buffer, returned)) return false;
    std::vector<std::uint16_t> languages;
    for (std::size_t at = kRequestSize + 2; at + 1 < returned; at += 2) {
        languages.push_back(static_cast<std::uint16_t>(buffer[at] | buffer[at + 1] << 8));
    }
    struct Wanted {
        std::uint8_t index;
        bool read;
        char* field;
        std::size_t size;
    };
    const Wanted wanted[] = {
        {descriptor.iManufacturer, descriptor.iManufacturer != 0, record.manufacturer, sizeof record.manufacturer},
        {descriptor.iProduct, descriptor.iProduct != 0, record.product, sizeof record.product},
        {descriptor.iSerialNumber, descriptor.iSerialNumber != 0 || forceSerial, record.serialNumber,
         sizeof record.serialNumber},
    };
    for (const Wanted& w : wanted) {
        if (!w.read) continue;
        for (std::size_t l = 0; l < languages.size(); ++l) {
            const auto value = static_cast<std::uint16_t>(devio::kDescriptorString << 8 | w.index);
            returned = ReadDescriptor(device, handle, port, value, languages[l], kStringRequestLength, buffer);
            if (l != 0 || !StringReplyValid(buffer, returned)) continue;
            const std::string text = WideToAnsi(buffer.data() + kRequestSize + 2, returned - kRequestSize - 2);
            const std::size_t length = std::min(text.size(), w.size - 1);
            std::memset(w.field, 0, w.size);
            std::memcpy(w.field, text.data(), length);
        }
    }
    return true;
}

// ---------------------------------------------------------------- matching with the storage view

// Splits `path` at '#' (and at '&' when the key holds none) and looks for a token that equals
// the key or, for a key longer than one character, contains it. An empty key matches nothing.
bool TokenMatch(std::string_view path, std::string_view key) {
    if (key.empty()) return false;
    const bool keyHasAmpersand = Contains(key, "&");
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && path[end] != '#' && (keyHasAmpersand || path[end] != '&')) ++end;
        const std::string_view token = path.substr(start, end - start);
        if (token == key || (key.size() > 1 && Contains(token, key))) return true;
        start = end + 1;
    }
    return false;
}

bool IsCandidate(const DiskPathEntry& disk, const std::string& vidPid) {
    if (disk.present != 1 || disk.isTovi != 1) return false;
    return Contains(Lower(FieldText(disk.hardwareId)), vidPid) || Contains(FieldText(disk.devicePath), "cdrom");
}

int FindDisk(const DiskPathEntry* disks, const std::string& vidPid, const std::string& key) {
    for (std::size_t i = 0; i < devio::kDiskPathListRecords; ++i) {
        if (IsCandidate(disks[i], vidPid) && TokenMatch(FieldText(disks[i].devicePath), key)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void AttachDisk(DeviceListEntry& record, const DiskPathEntry& disk, int index) {
    record.diskIndex = static_cast<std::uint8_t>(index);
    record.disk = disk;
    record.diskPathRef = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(record.disk.devicePath));
}

}  // namespace

// Joins a port record with the storage view: by the parent id prefix first, then by the serial
// number. True when a disk was found (and copied into the record).
bool MatchPortRecord(Device& device, DeviceListEntry& record, const DiskPathEntry* disks) {
    const std::string key1 = Lower(FieldText(record.parentIdPrefix));
    SetField(record.parentIdPrefix, key1);
    const std::string vidPid = VidPid(record.vendorId, record.productId);
    int index = FindDisk(disks, vidPid, key1);
    if (index >= 0) {
        device.tracer.Trace("Start");
        TraceText(device, std::string(FieldText(disks[index].devicePath)));
        TraceText(device, key1);
        TraceText(device, "ISTOVI=" + Hex(disks[index].isTovi));
        device.tracer.Trace("End");
    } else {
        const std::string key2(FieldText(record.serialNumber));
        if (key2.empty()) return false;
        index = FindDisk(disks, vidPid, key2);
        if (index < 0) return false;
        device.tracer.Trace("Start2");
        TraceText(device, std::string(FieldText(disks[index].devicePath)));
        TraceText(device, key1);
        device.tracer.Trace("End");
    }
    AttachDisk(record, disks[index], index);
    return true;
}

namespace {

// ---------------------------------------------------------------- the device walk

// One walk: where its records go and what they are matched with.
struct Walk {
    Device& device;
    WalkState& state;
    DeviceListEntry* list;
    std::size_t capacity;
    const DiskPathEntry* disks;  // null when polling: every record is kept
    DeviceListEntry spare{};     // takes what a full list has no room for

    DeviceListEntry& Current() { return state.entryCount < capacity ? list[state.entryCount] : spare; }
};

// Tier `tier` of a record's port chain: the hub walked there, its port count, the port taken.
void SetChainTier(DeviceListEntry& record, std::uint8_t tier, std::uint8_t hub, std::uint32_t portCount,
                  std::uint32_t port) {
    if (tier < 1 || tier > kMaxTier) return;
    std::uint8_t* bytes = record.portChain + 2 * (tier - 1);
    bytes[0] = static_cast<std::uint8_t>((bytes[0] & 0x0F) | (hub & 0x0F) << 4);
    bytes[1] = static_cast<std::uint8_t>((port & 0x0F) << 4 | (portCount & 0x0F));
}

// Clears a record but for its port chain, which carries the tiers above the port being walked.
void ClearButChain(DeviceListEntry& record) {
    std::uint8_t chain[sizeof record.portChain];
    std::memcpy(chain, record.portChain, sizeof chain);
    std::memset(&record, 0, sizeof record);
    std::memcpy(record.portChain, chain, sizeof chain);
}

HubResult WalkHub(Walk& walk, const std::string& path, std::uint32_t singlePort);

enum class PortOutcome { Next, EndWalk };

// A downstream hub: its name (the reads of one port walk share a bound), then its own walk one
// tier deeper. Hubs below the fifth tier are not walked: the port chain has no room for them.
PortOutcome WalkDownstreamHub(Walk& walk, DeviceHandle handle, std::uint32_t port, std::uint32_t last,
                              int& nameAttempts) {
    std::string name;
    for (;;) {
        const int before = nameAttempts++;
        if (ReadConnectionName(walk.device, handle, devio::kIoctlUsbGetNodeConnectionName, port, name)) break;
        if (before > kNameAttemptsBeforeGivingUp) return PortOutcome::EndWalk;
    }
    WalkState& state = walk.state;
    SetChainTier(walk.Current(), state.walkDepth, state.currentHub, last, port);
    if (state.walkDepth >= kMaxTier) return PortOutcome::Next;
    ++state.walkDepth;
    WalkHub(walk, "\\\\.\\" + name, 0);
    --state.walkDepth;
    return PortOutcome::Next;
}

// Fills the current record from a device on `port`, or ends the port walk when a step fails.
PortOutcome WalkDevice(Walk& walk, DeviceHandle handle, const std::string& hubPath, std::uint32_t port,
                       std::uint32_t last, const devio::UsbNodeConnectionInformationEx& info) {
    Device& device = walk.device;
    WalkState& state = walk.state;
    std::vector<std::uint8_t> configuration;
    const bool haveConfiguration = ReadConfiguration(device, handle, port, configuration);
    if (!haveConfiguration && !state.flHostController) {
        device.tracer.Trace("CK1");
        return PortOutcome::EndWalk;
    }
    device.tracer.Trace("GetConfigDescriptor_OK");
    if (!state.flHostController && !FirstInterfaceIsMassStorage(configuration)) return PortOutcome::Next;
    std::string driverKey;
    if (!ReadConnectionName(device, handle, devio::kIoctlUsbGetNodeConnectionDriverKeyName, port, driverKey)) {
        device.tracer.Trace("Error1");
        return PortOutcome::EndWalk;
    }
    DeviceListEntry& record = walk.Current();
    ClearButChain(record);
    const devio::UsbDeviceDescriptor& descriptor = info.DeviceDescriptor;
    ReadRegistryIdentity(device, record, descriptor.idVendor, descriptor.idProduct, driverKey);
    const bool anyString = descriptor.iManufacturer != 0 || descriptor.iProduct != 0 || descriptor.iSerialNumber != 0;
    if (!state.flHostController && anyString &&
        !ReadStrings(device, handle, port, descriptor, state.forceSerialRead == 1, record)) {
        return PortOutcome::EndWalk;
    }
    record.vendorId = descriptor.idVendor;
    record.productId = descriptor.idProduct;
    record.speed = descriptor.bcdUSB == 0x0300 ? kSuperSpeed : info.Speed;
    TraceText(device, "Index=" + std::to_string(port) + ", Speed=" + std::to_string(record.speed));
    SetField(record.hubPath, hubPath);
    SetChainTier(record, state.walkDepth, state.currentHub, last, port);
    record.hubPortCount = last;
    record.portIndex = port;
    record.hubDepth = state.walkDepth;
    record.connected = 1;
    SetField(record.driverKeyName, driverKey);
    return PortOutcome::Next;
}

// Keeps the record just filled or clears it again (its port chain stays for the next device).
void KeepOrDrop(Walk& walk, std::uint8_t connectionSpeed) {
    DeviceListEntry& record = walk.Current();
    bool keep = true;
    if (walk.disks != nullptr) {
        keep = MatchPortRecord(walk.device, record, walk.disks);
        if (keep && walk.state.usb30Only) {
            keep = connectionSpeed == kSuperSpeed;
            if (keep) record.speed = 0;
        }
    }
    if (!keep || walk.state.entryCount >= walk.capacity) {
        ClearButChain(record);
        return;
    }
    ++walk.state.entryCount;
    // The next record starts below the same hubs.
    if (walk.state.entryCount < walk.capacity) {
        std::memcpy(walk.Current().portChain, record.portChain, sizeof record.portChain);
    }
}

std::uint32_t WalkPorts(Walk& walk, DeviceHandle handle, const std::string& hubPath, std::uint32_t first,
                        std::uint32_t last) {
    Device& device = walk.device;
    std::uint32_t result = 0;
    int nameAttempts = 0;
    for (std::uint32_t port = first; port <= last; ++port) {
        walk.Current().connected = 0;
        devio::UsbNodeConnectionInformationEx info{};
        std::uint32_t error = 0;
        if (!ReadConnection(device, handle, port, info, error)) {
            device.tracer.Trace("get port info fail");
            result = error;
        }
        TraceText(device, "PortIndex" + std::to_string(port) + "=" + Hex(info.ConnectionStatus));
        if (info.ConnectionStatus == 0) continue;
        PortOutcome outcome = PortOutcome::Next;
        if (info.DeviceIsHub != 0) {
            outcome = WalkDownstreamHub(walk, handle, port, last, nameAttempts);
        } else {
            outcome = WalkDevice(walk, handle, hubPath, port, last, info);
            if (outcome == PortOutcome::Next && walk.Current().connected == 1) KeepOrDrop(walk, info.Speed);
        }
        if (outcome == PortOutcome::EndWalk) break;
    }
    return result;
}

HubResult WalkHub(Walk& walk, const std::string& path, std::uint32_t singlePort) {
    Device& device = walk.device;
    WalkState& state = walk.state;
    TraceText(device, path);
    OpenedDevice hub(device.stack, path, devio::kGenericWrite, devio::kShareWrite);
    if (!hub.Valid()) {
        device.tracer.Trace("create hub fail");
        return {false, hub.Error()};
    }
    std::uint8_t portCount = 0;
    if (!ReadNodeInformation(device, hub.Handle(), portCount)) {
        device.tracer.Trace("get hub info fail");
        return {false, devio::kErrorGenFailure};
    }
    if (singlePort != 0) return {true, WalkPorts(walk, hub.Handle(), path, singlePort, singlePort)};
    // hubDelta[t - 1] belongs to tier t; the walk never goes below tier 5 (see WalkDownstreamHub).
    const bool tracked = state.walkDepth >= 1 && state.walkDepth <= kMaxTier;
    ++state.hubCounter;
    if (tracked) state.hubDelta[state.walkDepth - 1] = static_cast<std::uint8_t>(state.hubCounter - state.currentHub);
    state.currentHub = state.hubCounter;
    const std::uint32_t result = WalkPorts(walk, hub.Handle(), path, 1, portCount);
    if (tracked) state.currentHub = static_cast<std::uint8_t>(state.currentHub - state.hubDelta[state.walkDepth - 1]);
    return {true, result};
}

}  // namespace

// ---------------------------------------------------------------- the hub list

// The hub interfaces, with the root hub of every host controller that is not among them.
std::vector<std::string> HubPaths(Device& device) {
    std::vector<devio::DeviceInterface> hubs;
    if (!device.stack.EnumerateInterfaces(kUsbHubClass, hubs)) hubs.clear();
    std::vector<std::string> paths;
    for (const auto& hub : hubs) paths.push_back(hub.path);
    std::vector<devio::DeviceInterface> controllers;
    if (!device.stack.EnumerateInterfaces(kUsbHostControllerClass, controllers)) controllers.clear();
    for (const auto& controller : controllers) {
        OpenedDevice handle(device.stack, controller.path, devio::kGenericWrite, devio::kShareWrite);
        if (!handle.Valid()) continue;
        std::string name;
        if (!ReadWideName(device, handle.Handle(), devio::kIoctlUsbGetRootHubName, false, 0,
                          devio::kRootHubNameFixedSize, 0, devio::kRootHubNameTextOffset, name)) {
            continue;
        }
        name = Lower(name);
        const bool known = std::any_of(paths.begin(), paths.end(),
                                       [&](const std::string& path) { return Contains(path, name); });
        if (!known) paths.push_back("\\\\?\\" + name);
    }
    return paths;
}

namespace {

constexpr std::string_view kRootHub20Prefix = "\\\\?\\usb#root_hub20#";

bool IsRootHubForScan(const std::string& path, bool usb30Only) {
    if (usb30Only) return Contains(path, "#root_hub30");
    if (path.starts_with(kRootHub20Prefix)) return true;
    for (std::string_view mark : {"#root_hub30", "norvane_root_hub", "asmediausbd_hub#", "tiusbd_hub", "pci#",
                                  "flusb", "#root_hub_fl30"}) {
        if (Contains(path, mark)) return true;
    }
    return false;
}

}  // namespace

bool IsRootHubForHubScan(const std::string& path) {
    return path.starts_with(kRootHub20Prefix) || Contains(path, "#root_hub30") || Contains(path, "norvane_root_hub") ||
           Contains(path, "pci#");
}

namespace {

// ---------------------------------------------------------------- polling

bool IsVirtualDisk(const DiskPathEntry& disk) {
    const std::string_view product(reinterpret_cast<const char*>(disk.inquiryData + 16), 16);
    return Contains(product, "VirtualDisk");
}

bool HasDriveLetters(const DiskPathEntry& disk) { return disk.driveLetterCount != 0 || disk.driveLetters[0] != 0; }

// READ CAPACITY into the entry's disk; false when the disk could not be opened.
bool RefreshCapacity(Device& device, DeviceListEntry& entry, const DeviceListEntry& fresh) {
    if (fresh.connected == 0) return true;
    std::uint32_t error = 0;
    const DeviceHandle handle =
        device.stack.Open(std::string(FieldText(entry.disk.devicePath)), devio::kGenericRead | devio::kGenericWrite,
                          devio::kShareRead | devio::kShareWrite, devio::kOpenExisting, 0, error);
    if (handle == devio::kInvalidDeviceHandle) return false;
    if (CSTDCMDControl::SendReadCapacity(device, handle, 0, 0, 0, entry.disk.capacity) == 0) {
        std::memset(entry.disk.capacity, 0, sizeof entry.disk.capacity);
    }
    device.stack.Close(handle);
    return true;
}

// The port of `entry` walked alone into `fresh`; false when the hub could not be read.
bool WalkEntryPort(Device& device, WalkState& state, const DeviceListEntry& entry, DeviceListEntry& fresh) {
    state.entryCount = 0;
    fresh = DeviceListEntry{};
    Walk walk{device, state, &fresh, 1, nullptr};
    const HubResult result = WalkHub(walk, std::string(FieldText(entry.hubPath)), entry.portIndex);
    return result.readable;
}

// Steps common to both polls: refresh speed and serial number, note a change of presence.
// False when the hub could not be read (the entry then reads disconnected).
bool ApplyPresence(Device& device, DeviceListEntry& entry, const DeviceListEntry& fresh, bool readable) {
    if (!readable) {
        device.tracer.Trace("EnumerateHub fail");
    } else {
        entry.speed = fresh.speed;
        SetField(entry.serialNumber, FieldText(fresh.serialNumber));
    }
    if (fresh.connected != entry.connected || !readable) {
        entry.connected = fresh.connected;
        entry.changed = 1;
        if (!readable) entry.connected = 0;
    }
    return readable;
}

void AdoptFresh(DeviceListEntry& entry, const DeviceListEntry& fresh) {
    const std::uint32_t portCount = entry.hubPortCount;
    const std::uint8_t depth = entry.hubDepth;
    entry = fresh;
    entry.hubPortCount = portCount;
    entry.hubDepth = depth;
    entry.diskPathRef = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(entry.disk.devicePath));
    entry.changed = 1;
}

// A fresh storage scan joined with `fresh`: true when the entry took the fresh record.
bool RejoinStorage(Device& device, WalkState& state, DeviceListEntry& entry, DeviceListEntry& fresh) {
    DiskPathList disks{};
    const int answered = ScanDiskPathBySymbolicName(device, disks.data(), state.productFilterOff);
    if (answered != 0 && MatchPortRecord(device, fresh, disks.data())) {
        AdoptFresh(entry, fresh);
        return true;
    }
    entry.changed = 1;
    entry.connected = 0;
    return false;
}

bool SameDriverKey(const DeviceListEntry& a, const DeviceListEntry& b) {
    return FieldText(a.driverKeyName) == FieldText(b.driverKeyName);
}

}  // namespace

// ---------------------------------------------------------------- the operations

int ScanUSBPort(Device& device, WalkState& state, DeviceListEntry* list) {
    device.tracer.Trace("ScanUSBPort()");
    std::memset(static_cast<void*>(list), 0, sizeof(DeviceListEntry) * devio::kDeviceListRecords);
    state.walkDepth = 1;
    state.entryCount = 0;
    state.hubCounter = 0;
    state.currentHub = 0;
    DiskPathList disks{};
    const int answered = ScanDiskPathBySymbolicName(device, disks.data(), state.productFilterOff);
    Walk walk{device, state, list, devio::kDeviceListRecords, disks.data()};
    std::uint32_t walkResult = 0;
    for (const std::string& path : HubPaths(device)) {
        if (!IsRootHubForScan(path, state.usb30Only)) continue;
        state.flHostController = Contains(path, "#root_hub_fl30");
        walkResult = WalkHub(walk, path, 0).error;
    }
    // What the walk left in the record after the last kept one (a port chain) is not a record.
    if (state.entryCount < devio::kDeviceListRecords) list[state.entryCount] = DeviceListEntry{};
    return walkResult != 0 ? 0 : answered;
}

int PollingSingleUSBPort(Device& device, WalkState& state, DeviceListEntry& entry) {
    device.tracer.Trace("PollingSingleUSBPort()");
    DeviceListEntry fresh{};
    if (!ApplyPresence(device, entry, fresh, WalkEntryPort(device, state, entry, fresh))) return 0;
    if (SameDriverKey(fresh, entry) && (IsVirtualDisk(entry.disk) || HasDriveLetters(entry.disk)) &&
        RefreshCapacity(device, entry, fresh)) {
        return 1;
    }
    if (fresh.connected == 0) return 1;
    return RejoinStorage(device, state, entry, fresh) ? 1 : 0;
}

int PollingSingleUSBPortEx(Device& device, WalkState& state, DeviceListEntry& entry, std::uint8_t triggerMask,
                           std::uint8_t slotForTrace) {
    TraceText(device, "PollingSingleUSBPortEx(" + std::to_string(slotForTrace) + ")");
    DeviceListEntry fresh{};
    if (!ApplyPresence(device, entry, fresh, WalkEntryPort(device, state, entry, fresh))) return 0;
    std::uint8_t conditions = 0;
    if (!SameDriverKey(fresh, entry)) conditions |= 1;
    if (!IsVirtualDisk(entry.disk) && !HasDriveLetters(entry.disk)) conditions |= 2;
    if (!RefreshCapacity(device, entry, fresh)) conditions |= 4;
    if (fresh.connected == 0) return 1;
    if ((triggerMask & conditions) != 0) return RejoinStorage(device, state, entry, fresh) ? 1 : 0;
    DiskPathList disks{};
    const int answered = ScanDiskPathBySymbolicName(device, disks.data(), state.productFilterOff);
    for (const DiskPathEntry& disk : disks) {
        if (FieldText(disk.devicePath) == FieldText(entry.disk.devicePath)) {
            entry.disk.driveLetters[0] = disk.driveLetters[0];
            break;
        }
    }
    return answered;
}

}  // namespace corelink
