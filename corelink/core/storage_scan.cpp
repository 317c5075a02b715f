// The storage view of discovery: USB mass-storage disk and CD-ROM interfaces, who they are (by
// INQUIRY), whether they are ours, and which drive letters their volumes carry.
#include "storage_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/core/scsi_pass_through.h"
#include "common/core/usb_ioctl_layout.h"
#include "opened_device.h"
#include "scsi_commands.h"

namespace corelink {
namespace {

using devio::DeviceHandle;
using devio::DiskPathEntry;
// The present interfaces of one class, each path cut to 255 characters, at most
// kInterfacePathListEntries of them. Only what was found is kept, so a scan costs no more
// than the machine has interfaces.
using InterfacePathList = std::vector<devio::InterfacePathEntry>;
using Std = CSTDCMDControl;
using Vendor = CVCommCMDControl;

// The published device interface classes the scan enumerates.
constexpr devio::Guid kDiskInterfaceClass{
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr devio::Guid kCdromInterfaceClass{
    0x53F5630D, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr devio::Guid kUsbDeviceInterfaceClass{
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr std::string_view kUsbStorPrefix = "\\\\?\\usbstor";             // 11 characters
constexpr std::string_view kUsbStorCdromPrefix = "\\\\?\\usbstor#cdrom";  // 17 characters
constexpr std::size_t kDiskTokensFrom = 17;   // after "\\?\usbstor#disk&"
constexpr std::size_t kCdromTokensFrom = 18;  // after "\\?\usbstor#cdrom&"
constexpr std::size_t kMaxTokenDifferences = 2;

constexpr char kMountedDevicesKey[] = "SYSTEM\\MountedDevices";
constexpr std::string_view kDosDevicesPrefix = "\\DosDevices\\";  // the letter follows it
constexpr std::size_t kPathPrefixSkipped = 4;                     // "\\?\" in the wide-string match

constexpr std::uint8_t kMakerSignature[4] = {'Q', 'K', 'T', 'R'};
constexpr std::size_t kSignatureOffset = 36;
constexpr std::uint32_t kLayoutReplySize = 2240;
constexpr std::uint32_t kExtentsReplySize = 248;
constexpr std::uint8_t kFirmwareAreaCode = 0x81;
constexpr std::uint16_t kFirmwareProbeLength = 512;
// One letter of room stays free so that driveLetters is NUL-terminated.
constexpr std::size_t kMaxLetters = sizeof(DiskPathEntry{}.driveLetters) - 1;
constexpr int kDriveLetterRecords = 24;  // C: to Z:

// --- small helpers

template <std::size_t N>
void CopyText(char (&field)[N], std::string_view text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, N - length);
}

std::string_view TextOf(const char* field, std::size_t size) {
    return {field, static_cast<std::size_t>(std::find(field, field + size, '\0') - field)};
}


template <typename Reply>
bool Ask(devio::DeviceStack& stack, DeviceHandle handle, std::uint32_t code, std::uint32_t inputSize, Reply& reply,
         std::uint32_t outputSize) {
    std::vector<std::uint8_t> buffer(std::max<std::size_t>({inputSize, outputSize, sizeof(Reply)}), 0);
    std::uint32_t returned = 0;
    std::uint32_t lastError = 0;
    if (!stack.Control(handle, code, buffer.data(), inputSize, buffer.data(), outputSize, returned, lastError)) {
        return false;
    }
    if (returned < sizeof(Reply)) return false;
    std::memcpy(&reply, buffer.data(), sizeof(Reply));
    return true;
}

// --- interface enumeration

InterfacePathList EnumerateInterfaces(devio::DeviceStack& stack, const devio::Guid& interfaceClass) {
    InterfacePathList list;
    std::vector<devio::DeviceInterface> found;
    if (!stack.EnumerateInterfaces(interfaceClass, found)) return list;
    // Interfaces beyond the list's capacity are not taken.
    list.resize(std::min(found.size(), devio::kInterfacePathListEntries));
    for (std::size_t i = 0; i < list.size(); ++i) {
        CopyText(list[i].path, found[i].path);
        list[i].devInst = found[i].instance;
    }
    return list;
}

std::string_view PathOf(const devio::InterfacePathEntry& entry) { return TextOf(entry.path, sizeof entry.path); }

// --- hardware identifier of the USB device whose first child is the interface's node

void FindHardwareId(devio::DeviceStack& stack, const InterfacePathList& usbDevices, DiskPathEntry& record) {
    for (const devio::InterfacePathEntry& usbDevice : usbDevices) {
        devio::DeviceInstance child = 0;
        if (!stack.FirstChildOf(usbDevice.devInst, child) || child != record.devInst) continue;
        std::vector<std::string> ids;
        if (stack.HardwareIdsOf(usbDevice.devInst, ids) && !ids.empty()) {
            CopyText(record.hardwareId, ids.front());
        }
        return;
    }
}

// --- drive letters

void AddLetter(DiskPathEntry& record, char letter) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper < 'A' || upper > 'Z' || record.driveLetterCount >= kMaxLetters) return;
    record.driveLetters[record.driveLetterCount++] = upper;
}

struct MountedValue {
    char letter;
    std::vector<std::uint8_t> data;
};

// The "\DosDevices\X:" values of SYSTEM\MountedDevices.
std::vector<MountedValue> DosDeviceValues(devio::DeviceStack& stack) {
    std::vector<MountedValue> values;
    std::vector<std::string> names;
    if (!stack.EnumerateRegistryValues(devio::RegistryHive::LocalMachine, kMountedDevicesKey, names)) return values;
    for (const std::string& name : names) {
        if (name.size() <= kDosDevicesPrefix.size() || !name.starts_with(kDosDevicesPrefix)) continue;
        std::uint32_t type = 0;
        MountedValue value{name[kDosDevicesPrefix.size()], {}};
        if (stack.ReadRegistryValue(devio::RegistryHive::LocalMachine, kMountedDevicesKey, name, type, value.data)) {
            values.push_back(std::move(value));
        }
    }
    return values;
}

void LettersBySignature(const std::vector<MountedValue>& values, std::uint32_t signature, DiskPathEntry& record) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &signature, sizeof bytes);  // the registry holds it little-endian, as the layout does
    for (const MountedValue& value : values) {
        if (value.data.size() >= sizeof bytes && std::equal(bytes, bytes + sizeof bytes, value.data.begin())) {
            AddLetter(record, value.letter);
        }
    }
}

// A GPT disk's letters: the volumes that lie wholly on its device number.
void LettersByDeviceNumber(devio::DeviceStack& stack, DeviceHandle disk, DiskPathEntry& record) {
    devio::StorageDeviceNumber number{};
    if (!Ask(stack, disk, devio::kIoctlStorageGetDeviceNumber, 0, number, sizeof number)) return;
    const std::uint32_t mask = stack.LogicalDriveMask();
    for (int bit = 0; bit < 26; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        const char letter = static_cast<char>('A' + bit);
        OpenedDevice volume(stack, std::string("\\\\.\\") + letter + ":");
        if (!volume.Valid()) continue;
        struct {
            std::uint32_t count;
            std::uint32_t padding;
            devio::DiskExtent first;
        } extents{};
        static_assert(sizeof extents == devio::kVolumeDiskExtentsFixedSize);
        if (!Ask(stack, volume.Handle(), devio::kIoctlVolumeGetVolumeDiskExtents, 0, extents, kExtentsReplySize)) continue;
        if (extents.count == 1 && extents.first.DiskNumber == number.DeviceNumber) AddLetter(record, letter);
    }
}

// The value's data as a wide string, in 8-bit text, lower-cased. Characters outside ASCII have
// no counterpart in the paths compared against and become '?'.
std::string LowerNarrowText(const std::vector<std::uint8_t>& data) {
    std::string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const unsigned code = data[i] | (data[i + 1] << 8);
        if (code == 0) break;
        const char c = code < 0x80 ? static_cast<char>(code) : '?';
        text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

void LettersByPathText(const std::vector<MountedValue>& values, DiskPathEntry& record) {
    const std::string_view path = TextOf(record.devicePath, sizeof record.devicePath);
    if (path.size() <= kPathPrefixSkipped) return;
    const std::string_view wanted = path.substr(kPathPrefixSkipped);
    for (const MountedValue& value : values) {
        if (LowerNarrowText(value.data).find(wanted) != std::string::npos) AddLetter(record, value.letter);
    }
}

// MBR disks are found by their signature in MountedDevices, GPT disks by the volumes on their
// device number, and as a last resort a value naming the interface path gives its letter.
// Older systems (major version 5 and below) take the same registry route; it yields the same
// letters there, so no separate device-tree walk is kept for them.
void FindDriveLetters(devio::DeviceStack& stack, DiskPathEntry& record) {
    record.driveLetterCount = 0;
    std::memset(record.driveLetters, 0, sizeof record.driveLetters);
    const std::vector<MountedValue> values = DosDeviceValues(stack);

    OpenedDevice disk(stack, std::string(TextOf(record.devicePath, sizeof record.devicePath)));
    devio::DriveLayoutInformationExHeader layout{};
    const bool haveLayout = disk.Valid() && Ask(stack, disk.Handle(), devio::kIoctlDiskGetDriveLayoutEx,
                                                static_cast<std::uint32_t>(devio::kDriveLayoutRequestSize), layout,
                                                kLayoutReplySize);
    if (haveLayout && layout.PartitionStyle == devio::kPartitionStyleMbr) {
        LettersBySignature(values, layout.Mbr.Signature, record);
    }
    if (haveLayout && layout.PartitionStyle == devio::kPartitionStyleGpt && record.driveLetterCount == 0) {
        LettersByDeviceNumber(stack, disk.Handle(), record);
    }
    if (record.driveLetterCount == 0) LettersByPathText(values, record);
}

// --- SCSI identification

// INQUIRY into the record; on an answer it becomes present.
bool Inquire(Device& device, DeviceHandle handle, DiskPathEntry& record) {
    std::uint8_t inquiry[sizeof record.inquiryData] = {};
    if (!Std::SendInquiry(device, handle, 0, 0, inquiry)) return false;
    std::memcpy(record.inquiryData, inquiry, sizeof inquiry);
    record.present = 1;
    return true;
}

void ReadCapacityInto(Device& device, DeviceHandle handle, DiskPathEntry& record) {
    std::uint8_t capacity[sizeof record.capacity] = {};
    if (!Std::SendReadCapacity(device, handle, 0, 0, 0, capacity)) std::memset(capacity, 0, sizeof capacity);
    std::memcpy(record.capacity, capacity, sizeof capacity);
}

// TEST UNIT READY, and READ CAPACITY when the unit is ready. Returns whether TEST UNIT READY
// was delivered.
bool CheckReady(Device& device, DeviceHandle handle, DiskPathEntry& record) {
    std::uint8_t status = 0xFF;
    if (!Std::SendTestUnitReady(device, handle, 0, 0, 0, &status)) return false;
    if (status == devio::kScsiStatusGood) {
        ReadCapacityInto(device, handle, record);
        record.ready = 1;
    }
    return true;
}

bool HasMakerSignature(const DiskPathEntry& record) {
    return std::equal(kMakerSignature, kMakerSignature + sizeof kMakerSignature,
                      record.inquiryData + kSignatureOffset);
}

bool AnswersFirmwareRead(Device& device, DeviceHandle handle) {
    std::uint8_t area[kFirmwareProbeLength] = {};
    return Vendor::USDSettingRead(device, handle, kFirmwareAreaCode, 1, 0, 0, 0, kFirmwareProbeLength, area, 0, 0) != 0;
}

bool ProbeDisk(Device& device, DiskPathEntry& record, bool productFilterOff) {
    OpenedDevice handle(device.stack, std::string(TextOf(record.devicePath, sizeof record.devicePath)));
    if (!handle.Valid() || !Inquire(device, handle.Handle(), record)) return false;
    CheckReady(device, handle.Handle(), record);
    record.isTovi = (productFilterOff || HasMakerSignature(record)) ? 1 : 0;
    return true;
}

bool ProbeCdrom(Device& device, DiskPathEntry& record, bool productFilterOff) {
    OpenedDevice handle(device.stack, std::string(TextOf(record.devicePath, sizeof record.devicePath)));
    if (!handle.Valid() || !Inquire(device, handle.Handle(), record)) return false;
    if (!CheckReady(device, handle.Handle(), record)) std::memset(record.capacity, 0, sizeof record.capacity);
    record.isTovi = (productFilterOff || HasMakerSignature(record) || AnswersFirmwareRead(device, handle.Handle())) ? 1 : 0;
    return true;
}

// --- joining a CD-ROM interface with the disk interface of the same device

std::vector<std::string_view> Tokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '#' || text[i] == '&') {
            tokens.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return tokens;
}

// How a CD-ROM interface path compares with a disk interface path. Both are taken after their
// prefixes (\\?\usbstor#disk& and \\?\usbstor#cdrom&) and read as '#'-separated parts:
// the device's vendor, product and revision, its instance (serial number and logical unit),
// and the interface class.
struct PathComparison {
    std::size_t differences = 0;       // disk tokens that differ, walking both side by side
    std::size_t outsideClass = 0;      // of those, the ones outside the interface class part
    bool serialDiffers = false;
};

// The instance part without its last token (the logical unit): the serial number, or the
// identifier the system made up for a device without one.
std::string_view SerialOf(std::string_view tokensText) {
    const std::size_t first = tokensText.find('#');
    if (first == std::string_view::npos) return {};
    std::string_view instance = tokensText.substr(first + 1);
    instance = instance.substr(0, instance.find('#'));
    const std::size_t lastAmpersand = instance.rfind('&');
    return lastAmpersand == std::string_view::npos ? instance : instance.substr(0, lastAmpersand);
}

// Tokens before this index lie outside the interface class (the part after the last '#').
std::size_t ClassTokenStart(std::string_view tokensText) {
    const std::size_t lastHash = tokensText.rfind('#');
    if (lastHash == std::string_view::npos) return Tokens(tokensText).size();
    return Tokens(tokensText.substr(0, lastHash)).size();
}

std::optional<PathComparison> Compare(std::string_view cdromPath, std::string_view diskPath) {
    if (cdromPath.size() < kCdromTokensFrom || diskPath.size() < kDiskTokensFrom) return std::nullopt;
    const std::string_view diskText = diskPath.substr(kDiskTokensFrom);
    const std::string_view cdromText = cdromPath.substr(kCdromTokensFrom);
    const auto disk = Tokens(diskText);
    const auto cdrom = Tokens(cdromText);
    const std::size_t classFrom = ClassTokenStart(diskText);
    PathComparison comparison;
    for (std::size_t i = 0; i < disk.size(); ++i) {
        if (i < cdrom.size() && disk[i] == cdrom[i]) continue;
        ++comparison.differences;
        if (i < classFrom) ++comparison.outsideClass;
    }
    comparison.serialDiffers = SerialOf(diskText) != SerialOf(cdromText);
    return comparison;
}

// Same device unless more than two of the disk path's tokens differ from the CD-ROM path's.
bool SameDevice(const PathComparison& comparison) { return comparison.differences <= kMaxTokenDifferences; }

// The disk record among the first `count` that a CD-ROM interface belongs to, or -1. Of the
// records the same-device rule accepts, the one that differs least wins: an exact match of all
// but the interface class first, then the fewest differing tokens, then the earlier record. Twin
// enclosures of one model differ only in their serial numbers, so while some disk has the
// CD-ROM's serial number, no disk with another one is taken.
int DiskOfCdrom(const DiskPathEntry& cdrom, const DiskPathEntry* list, std::size_t count) {
    const std::string_view cdromPath = TextOf(cdrom.devicePath, sizeof cdrom.devicePath);
    const bool cdromHasSerial =
        cdromPath.size() >= kCdromTokensFrom && !SerialOf(cdromPath.substr(kCdromTokensFrom)).empty();
    std::vector<std::optional<PathComparison>> comparisons(count);
    bool someSerialMatches = false;
    for (std::size_t i = 0; i < count; ++i) {
        comparisons[i] = Compare(cdromPath, TextOf(list[i].devicePath, sizeof list[i].devicePath));
        if (cdromHasSerial && comparisons[i] && !comparisons[i]->serialDiffers) someSerialMatches = true;
    }
    int best = -1;
    auto rank = [&](const PathComparison& c) { return std::make_tuple(c.outsideClass != 0, c.differences); };
    for (std::size_t i = 0; i < count; ++i) {
        const auto& comparison = comparisons[i];
        if (!comparison || !SameDevice(*comparison)) continue;
        if (someSerialMatches && comparison->serialDiffers) continue;
        if (best < 0 || rank(*comparison) < rank(*comparisons[static_cast<std::size_t>(best)])) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Gives the CD-ROM record's first letter to the disk record it belongs to among the first `count`.
bool MergeIntoDisk(const DiskPathEntry& cdrom, DiskPathEntry* list, std::size_t count) {
    const int disk = DiskOfCdrom(cdrom, list, count);
    if (disk < 0) return false;
    if (cdrom.driveLetterCount > 0) AddLetter(list[disk], cdrom.driveLetters[0]);
    return true;
}

// --- the scan

struct InterfaceLists {
    InterfacePathList disks;
    InterfacePathList usbDevices;
    InterfacePathList cdroms;
};

void StartRecord(const devio::InterfacePathEntry& entry, DiskPathEntry& record) {
    CopyText(record.devicePath, PathOf(entry));
    record.devInst = entry.devInst;
    std::memset(record.hardwareId, 0, sizeof record.hardwareId);
}

std::size_t ScanDisks(Device& device, const InterfaceLists& lists, DiskPathEntry* list, bool productFilterOff,
                      bool& answered) {
    std::size_t n = 0;
    for (const devio::InterfacePathEntry& entry : lists.disks) {
        if (n >= devio::kDiskPathListRecords) break;
        if (!PathOf(entry).starts_with(kUsbStorPrefix)) continue;
        DiskPathEntry& record = list[n++];
        StartRecord(entry, record);
        FindHardwareId(device.stack, lists.usbDevices, record);
        FindDriveLetters(device.stack, record);
        if (ProbeDisk(device, record, productFilterOff)) answered = true;
    }
    return n;
}

// The CD-ROM record is built aside and takes record n only when it joins no disk record, so
// a full list or a merged interface never writes past what is kept.
void ScanCdroms(Device& device, const InterfaceLists& lists, DiskPathEntry* list, std::size_t n,
                bool productFilterOff, bool& answered) {
    for (const devio::InterfacePathEntry& entry : lists.cdroms) {
        if (!PathOf(entry).starts_with(kUsbStorCdromPrefix)) continue;
        auto record = std::make_unique<DiskPathEntry>();
        if (n < devio::kDiskPathListRecords) *record = list[n];
        StartRecord(entry, *record);
        FindDriveLetters(device.stack, *record);
        if (MergeIntoDisk(*record, list, n)) continue;
        if (n >= devio::kDiskPathListRecords) continue;  // no room left: skipped
        if (ProbeCdrom(device, *record, productFilterOff)) answered = true;
        list[n++] = *record;
    }
}

}  // namespace

int ScanDiskPathBySymbolicName(Device& device, DiskPathEntry* list, bool productFilterOff) {
    device.tracer.Trace("ScanDiskPathBySymbolicName()");
    InterfaceLists lists;
    lists.disks = EnumerateInterfaces(device.stack, kDiskInterfaceClass);
    lists.usbDevices = EnumerateInterfaces(device.stack, kUsbDeviceInterfaceClass);
    lists.cdroms = EnumerateInterfaces(device.stack, kCdromInterfaceClass);

    bool answered = false;
    const std::size_t n = ScanDisks(device, lists, list, productFilterOff, answered);
    ScanCdroms(device, lists, list, n, productFilterOff, answered);
    return answered ? 1 : 0;
}

int ScanDiskPath(Device& device, DiskPathEntry* list) {
    device.tracer.Trace("ScanDiskPath()");
    bool answered = false;
    for (int k = 0; k < kDriveLetterRecords; ++k) {
        DiskPathEntry& record = list[k];
        OpenedDevice drive(device.stack, std::string("\\\\.\\") + static_cast<char>('C' + k) + ":");
        if (!drive.Valid() || !Inquire(device, drive.Handle(), record)) continue;
        answered = true;
        CheckReady(device, drive.Handle(), record);
    }
    return answered ? 1 : 0;
}

}  // namespace corelink
