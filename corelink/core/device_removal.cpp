#include "corelink/core/device_removal.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace corelink {
namespace {

using devio::RegistryHive;

constexpr std::uint32_t kRegBinary = 3;
constexpr char kUsbEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\USB";
constexpr char kUsbStorEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\USBSTOR";
constexpr char kUsbFlags[] = "SYSTEM\\CurrentControlSet\\Control\\usbflags";

bool FitsBuffer(const std::string& path) { return path.size() < kRegistryPathBuffer; }

std::string UsbKey(std::uint16_t vid, std::uint16_t pid) {
    char name[32];
    std::snprintf(name, sizeof name, "\\Vid_%04x&Pid_%04x", static_cast<unsigned>(vid), static_cast<unsigned>(pid));
    return std::string(kUsbEnum) + name;
}

// A text from the device that may stand in one key name.
bool KeyNamePart(const char* text) {
    if (text == nullptr) return false;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\\' || static_cast<unsigned char>(*c) < 0x20) return false;
    }
    return true;
}

void Print(Device& device, const std::string& text) {
    if (!text.empty()) device.console.Trace(text.c_str());
}

}  // namespace

std::uint32_t DeviceSafeRemoval(Device& device, devio::DeviceInstance instance) {
    device.tracer.Trace("DeviceSafeRemoval()");
    devio::DeviceInstance parent = 0;
    if (!device.stack.ParentOf(instance, parent)) return devio::kCrFailure;
    std::uint32_t last = devio::kCrFailure;
    for (int attempt = 0; attempt < kEjectAttempts; ++attempt) {
        last = device.stack.RequestEject(parent);
        if (last == devio::kCrSuccess) return 1;
        device.clock.Pause(kEjectPauseMs);
    }
    return last == devio::kCrRemoveVetoed ? 0 : last;
}

int DeleteKeyWithSubtree(Device& device, const std::string& key) {
    if (key.empty() || !FitsBuffer(key)) return 0;  // never the hive, never a cut path
    devio::DeviceStack& stack = device.stack;
    if (stack.DeleteRegistryKey(RegistryHive::LocalMachine, key) == 0) return 1;

    // The permissions of this key only; its subkeys get theirs as the recursion reaches them.
    std::string report;
    stack.GrantRegistryKeyToAdministrators(RegistryHive::LocalMachine, key, report);
    Print(device, report);
    const std::uint32_t opened = stack.CheckRegistryKey(RegistryHive::LocalMachine, key);
    if (opened == devio::kErrorFileNotFound) {
        Print(device, "Key not found.\n");
        return 1;
    }
    if (opened != 0) {
        Print(device, "Error opening key.\n");
        return 0;
    }
    std::string previous;
    for (;;) {
        std::vector<std::string> subkeys;
        if (!stack.EnumerateRegistryKeys(RegistryHive::LocalMachine, key, subkeys) || subkeys.empty()) break;
        // A subkey that is still there after its deletion reported success would be tried forever.
        if (subkeys.front() == previous) break;
        const std::string child = key + "\\" + subkeys.front();
        if (!FitsBuffer(child) || DeleteKeyWithSubtree(device, child) == 0) break;
        previous = subkeys.front();
    }
    return stack.DeleteRegistryKey(RegistryHive::LocalMachine, key) == 0 ? 1 : 0;
}

int DeleteDevRegistryRecord(Device& device, std::uint16_t vid, std::uint16_t pid) {
    device.tracer.Trace("DeleteDevRegistryRecord()");
    return DeleteKeyWithSubtree(device, UsbKey(vid, pid));
}

int DeleteDevRegistryRecordEx(Device& device, std::uint16_t vid, std::uint16_t pid, const char* vendor,
                              const char* product, const char* revision) {
    device.tracer.Trace("DeleteDevRegistryRecordEx()");
    if (!KeyNamePart(vendor) || !KeyNamePart(product) || !KeyNamePart(revision)) return 0;
    const std::string storageKey =
        std::string(kUsbStorEnum) + "\\Disk&Ven_" + vendor + "&Prod_" + product + "&Rev_" + revision;
    if (!FitsBuffer(storageKey)) return 0;
    DeleteKeyWithSubtree(device, UsbKey(vid, pid));
    return DeleteKeyWithSubtree(device, storageKey);
}

int SetIgnoredRegistry(Device& device, std::uint16_t vid, std::uint16_t pid) {
    device.tracer.Trace("SetIgnoredRegistry()");
    char name[32];
    std::snprintf(name, sizeof name, "IgnoreHWSerNum%04x%04x", static_cast<unsigned>(vid), static_cast<unsigned>(pid));
    const std::vector<std::uint8_t> one = {0x01};
    return device.stack.WriteRegistryValue(RegistryHive::LocalMachine, kUsbFlags, name, kRegBinary, one) ? 1 : 0;
}

}  // namespace corelink
