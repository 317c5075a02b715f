#pragma once
// The entries of one folder listing by name, without regard to case, as the platform matches
// names. A case-sensitive folder (Windows allows them; a Linux folder under Wine is one) can hold
// names that differ only in case, such as a.txt and A.txt: for every other folder and the platform's
// own calls they are one name, so a copy of one would land on the other. The index tells such names
// apart as a clash; it finds no entry by a clashing name, and names the whole group instead.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "file_system.h"

namespace copperfold {

class FolderIndex {
public:
    // Entries that `ignored` picks (hidden ones, temporary files) are found by name like any other
    // but never clash: a walk leaves them alone anyway. Refers to the listing, which must outlive it.
    using Ignored = std::function<bool(const FileEntry&)>;
    explicit FolderIndex(const std::vector<FileEntry>& entries, const Ignored& ignored = {});

    // The entry of that name (the one the walks act on when an ignored one shares it); null when
    // there is none or when the name clashes.
    const FileEntry* Find(std::wstring_view name) const;
    bool Clashes(std::wstring_view name) const { return !Clash(name).empty(); }
    // The names of the listing's entries that differ from `name` only in case, in listing order;
    // empty when they do not clash.
    std::vector<std::wstring> Clash(std::wstring_view name) const;

private:
    struct Named {
        std::size_t entry = 0;          // the one found by the name
        std::vector<std::size_t> clash;  // two or more entries of the name, when they clash
    };
    const Named* Lookup(std::wstring_view name) const;

    const std::vector<FileEntry>& entries_;
    std::unordered_map<std::wstring, Named> byName_;
};

// A name the platform refuses: one with a character Windows does not allow in a name (\ / : * ? "
// < > | or a control character). Such names can exist on other systems' folders; nothing by that
// name can be opened, so no such entry can be copied.
bool NameRefusedByTheSystem(std::wstring_view name);

// Names for a text: "a.txt, A.txt".
std::wstring NameList(const std::vector<std::wstring>& names);

}  // namespace copperfold
