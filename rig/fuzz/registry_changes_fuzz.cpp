// Feeds arbitrary bytes to the registry changes parser: whatever it accepts must format back to
// the same text, and applying it to a small registry must keep every key storable.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rig/core/registry_changes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<rig::RegistryChange> changes;
    std::string error;
    if (!rig::ParseRegistryChanges(text, changes, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    std::string formatted = text.empty() ? std::string() : rig::RegistryChangesHeader();
    for (const rig::RegistryChange& change : changes) {
        if (!rig::StorableRegistryKey(change.key)) __builtin_trap();
        formatted += rig::FormatRegistryChange(change);
    }
    // Hex digits may come back in the other case; everything else is the same text.
    if (formatted.size() != text.size()) __builtin_trap();
    const std::vector<rig::RegistryEntry> base = {
        {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1A2B&PID_3C4D\\RIG00000", "Driver", rig::kRegSz, {'x', 0}},
        {"SYSTEM\\MountedDevices", "\\DosDevices\\E:", rig::kRegBinary, {1, 2, 3}}};
    const rig::RegistryImage image(base, changes);
    for (const rig::RegistryEntry& entry : image.Entries()) {
        if (!image.KeyExists(entry.key)) __builtin_trap();
    }
    for (const std::string& name : image.Subkeys("SYSTEM")) {
        if (name.empty() || name.find('\\') != std::string::npos) __builtin_trap();
    }
    return 0;
}
