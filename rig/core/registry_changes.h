#pragma once
// What programs changed in the simulated registry: deleted keys, written values and keys whose
// permissions were opened to the administrators. The changes file (`<state file>.registry`, text)
// keeps them in order, so every program sees the same registry; the machine view's entries with
// the changes applied are the registry the device stack shows (RegistryImage).
//
// File: the line "RIGREGISTRY 1", then one line per change, fields separated by tabs:
//   delete KEY
//   grant  KEY
//   set    KEY NAME TYPE HEX     (TYPE decimal, HEX the value's bytes, two digits each)
// Keys and names hold no control characters (StorableRegistryKey, StorableValueName).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "machine_view.h"

namespace rig {

inline constexpr std::size_t kMaxRegistryChangesSize = 1024 * 1024;
inline constexpr std::size_t kMaxRegistryPath = 1024;
inline constexpr std::size_t kMaxRegistryValueSize = 4096;

struct RegistryChange {
    enum class Kind { DeleteKey, SetValue, Grant } kind = Kind::DeleteKey;
    std::string key;
    std::string name;  // SetValue
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// A key or value name the file can hold: 1..kMaxRegistryPath bytes (names may be empty), no
// control characters, no empty path parts.
bool StorableRegistryKey(const std::string& key);
bool StorableValueName(const std::string& name);

std::string RegistryChangesHeader();
// One line, with its line end.
std::string FormatRegistryChange(const RegistryChange& change);
// False with `error` ("line N: ...") for anything that is not such a file.
bool ParseRegistryChanges(std::string_view text, std::vector<RegistryChange>& changes, std::string& error);

// The registry as programs see it.
class RegistryImage {
public:
    RegistryImage(const std::vector<RegistryEntry>& base, const std::vector<RegistryChange>& changes);

    void Apply(const RegistryChange& change);

    bool KeyExists(const std::string& key) const;
    const std::vector<RegistryEntry>& Entries() const { return entries_; }
    // The direct subkeys' names, in the order the keys were made.
    std::vector<std::string> Subkeys(const std::string& key) const;
    // Keys below SYSTEM\CurrentControlSet\Enum belong to the system: deleting one needs its
    // permissions opened first (a grant of that very key).
    bool Protected(const std::string& key) const;

private:
    void AddKey(const std::string& key);

    std::vector<RegistryEntry> entries_;
    std::vector<std::string> keys_;  // as made, with every ancestor
    std::vector<std::string> granted_;
};

}  // namespace rig
