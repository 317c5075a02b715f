#pragma once
// Finds a tree item's child by name without reading every sibling's label: a folder of ten
// thousand entries would otherwise cost ten thousand label reads for each change in it.
//
// The index knows a folder's children once told so (Begin, then Add for each child) and follows
// the insertions and deletions it is told of afterwards. `Item` is the tree's item handle; a
// value-initialised Item means "none".

#include <string>
#include <string_view>
#include <unordered_map>

namespace copperfold {

template <typename Item>
class ChildNameIndex {
public:
    bool Knows(Item parent) const { return folders.contains(parent); }

    // Starts an empty list of `parent`'s children, replacing any list it had.
    void Begin(Item parent) {
        if (const auto old = folders.find(parent); old != folders.end()) {
            for (const auto& [name, child] : old->second) entries.erase(child);
            folders.erase(old);
        }
        folders.emplace(parent, Names{});
    }

    // Records a child of a known folder; a child of a folder the index does not know is left
    // for that folder's first listing.
    void Add(Item parent, std::wstring_view name, Item child) {
        const auto folder = folders.find(parent);
        if (folder == folders.end()) return;
        std::wstring key(name);
        if (!folder->second.emplace(key, child).second) return;  // the first of two equal names stays found
        entries.insert_or_assign(child, Entry{parent, std::move(key)});
    }

    Item Find(Item parent, std::wstring_view name) const {
        const auto folder = folders.find(parent);
        if (folder == folders.end()) return Item{};
        const auto child = folder->second.find(std::wstring(name));
        return child == folder->second.end() ? Item{} : child->second;
    }

    // An item is gone: it leaves its folder's list, and its own list (if any) is dropped.
    void Forget(Item item) {
        if (const auto entry = entries.find(item); entry != entries.end()) {
            if (const auto folder = folders.find(entry->second.parent); folder != folders.end()) {
                const auto named = folder->second.find(entry->second.name);
                if (named != folder->second.end() && named->second == item) folder->second.erase(named);
            }
            entries.erase(entry);
        }
        if (const auto folder = folders.find(item); folder != folders.end()) {
            for (const auto& [name, child] : folder->second) entries.erase(child);
            folders.erase(folder);
        }
    }

    void Clear() {
        folders.clear();
        entries.clear();
    }

private:
    using Names = std::unordered_map<std::wstring, Item>;
    struct Entry {
        Item parent;
        std::wstring name;
    };
    std::unordered_map<Item, Names> folders;  // the known folders' children by name
    std::unordered_map<Item, Entry> entries;   // each listed child's folder and name
};

}  // namespace copperfold
