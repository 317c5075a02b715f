#pragma once
// Finds a tree item's child by name without reading every sibling's label: a folder of ten
// thousand entries would otherwise cost ten thousand label reads for each change in it.
//
// The index knows a folder's children once told so (Begin, then Add for each child) and follows
// the insertions and deletions it is told of afterwards. `Item` is the tree's item handle; a
// value-initialised Item means "none".
//
// Given the tree's sort order as a sort key per name (bytes whose plain comparison orders the
// names as the tree does), it also tells after which child a new name goes, so a new entry is
// put in its place without the tree comparing it with every sibling.

#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace copperfold {

template <typename Item>
class ChildNameIndex {
public:
    using SortKeyOf = std::function<std::string(std::wstring_view name)>;

    explicit ChildNameIndex(SortKeyOf sortKeyOf = {}) : keyOf(std::move(sortKeyOf)) {}

    bool Knows(Item parent) const { return folders.contains(parent); }

    // Starts an empty list of `parent`'s children, replacing any list it had.
    void Begin(Item parent) {
        if (const auto old = folders.find(parent); old != folders.end()) {
            for (const auto& [name, child] : old->second.names) entries.erase(child);
            folders.erase(old);
        }
        folders.emplace(parent, Folder{});
    }

    // Records a child of a known folder; a child of a folder the index does not know is left
    // for that folder's first listing.
    void Add(Item parent, std::wstring_view name, Item child) {
        const auto folder = folders.find(parent);
        if (folder == folders.end()) return;
        std::wstring key(name);
        if (!folder->second.names.emplace(key, child).second) return;  // the first of two equal names stays found
        if (folder->second.order) folder->second.order->emplace(keyOf(key), child);
        entries.insert_or_assign(child, Entry{parent, std::move(key)});
    }

    // How many children of `parent` the index knows of (0 for a folder it does not know).
    std::size_t ChildCount(Item parent) const {
        const auto folder = folders.find(parent);
        return folder == folders.end() ? 0 : folder->second.names.size();
    }

    Item Find(Item parent, std::wstring_view name) const {
        const auto folder = folders.find(parent);
        if (folder == folders.end()) return Item{};
        const auto child = folder->second.names.find(std::wstring(name));
        return child == folder->second.names.end() ? Item{} : child->second;
    }

    // The child after which `name` goes in the folder's sorted order, or Item{} when it goes
    // first; none when the index cannot tell (a folder it does not know, or no sort keys). The
    // order is worked out on the first question about a folder and followed from then on.
    std::optional<Item> SortedPlace(Item parent, std::wstring_view name) {
        const auto folder = folders.find(parent);
        if (folder == folders.end() || !keyOf) return std::nullopt;
        auto& order = folder->second.order;
        if (!order) {
            order.emplace();
            for (const auto& [childName, child] : folder->second.names) order->emplace(keyOf(childName), child);
        }
        const auto next = order->lower_bound(keyOf(name));
        return next == order->begin() ? Item{} : std::prev(next)->second;
    }

    // An item is gone: it leaves its folder's list, and its own list (if any) is dropped.
    void Forget(Item item) {
        if (const auto entry = entries.find(item); entry != entries.end()) {
            if (const auto folder = folders.find(entry->second.parent); folder != folders.end()) {
                Names& names = folder->second.names;
                const auto named = names.find(entry->second.name);
                if (named != names.end() && named->second == item) {
                    names.erase(named);
                    if (auto& order = folder->second.order) {
                        const auto [first, last] = order->equal_range(keyOf(entry->second.name));
                        for (auto at = first; at != last; ++at) {
                            if (at->second == item) {
                                order->erase(at);
                                break;
                            }
                        }
                    }
                }
            }
            entries.erase(entry);
        }
        if (const auto folder = folders.find(item); folder != folders.end()) {
            for (const auto& [name, child] : folder->second.names) entries.erase(child);
            folders.erase(folder);
        }
    }

    void Clear() {
        folders.clear();
        entries.clear();
    }

private:
    using Names = std::unordered_map<std::wstring, Item>;
    struct Folder {
        Names names;
        std::optional<std::multimap<std::string, Item>> order;  // by sort key, once asked for
    };
    struct Entry {
        Item parent;
        std::wstring name;
    };
    SortKeyOf keyOf;
    std::unordered_map<Item, Folder> folders;  // the known folders' children by name
    std::unordered_map<Item, Entry> entries;   // each listed child's folder and name
};

}  // namespace copperfold
