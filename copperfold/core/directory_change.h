#pragma once
// One change inside a watched folder, as the watcher hands it to its receiver: the name
// relative to the watched folder and what happened to it.

#include <cstdint>
#include <string>
#include <string_view>

namespace copperfold {

// The actions the system reports for an entry of a watched folder.
enum ChangeAction : std::uint32_t {
    kActionAdded = 1,
    kActionRemoved = 2,
    kActionModified = 3,
    kActionRenamedOldName = 4,
    kActionRenamedNewName = 5,
    // Our own action, never reported by the system: the system lost this folder's changes
    // (its change buffer overflowed, or watching the folder broke off). The record names the
    // watched folder itself (an empty relative name); a receiver that shows the folder's
    // contents should list them again instead of trusting what it shows. A receiver that
    // does not know this action ignores it as a change of nothing it lists.
    kActionChangesLost = 0x100,
};

struct DirectoryChange {
    std::wstring name;  // relative to the watched folder; empty for kActionChangesLost
    std::uint32_t action = 0;

    bool operator==(const DirectoryChange&) const = default;
};

// The full path of a change: the watched folder followed by the relative name, with one
// backslash between them unless the folder already ends with one (drive roots do).
inline std::wstring WatchedPath(std::wstring_view folder, std::wstring_view name) {
    std::wstring path(folder);
    if (!name.empty() && !path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += name;
    return path;
}

}  // namespace copperfold
