#include "kept_listings.h"

#include <utility>

#include "../../common/core/case_fold.h"

namespace copperfold {

std::wstring KeptListings::Key(std::wstring_view folder) {
    // "C:\" keeps its backslash: "C:" would name the drive's current folder.
    while (folder.size() > 3 && folder.back() == L'\\') folder.remove_suffix(1);
    return common::UpperCased(folder);
}

void KeptListings::Forget(const std::wstring& key) {
    if (const auto it = listings_.find(key); it != listings_.end()) {
        kept_ -= it->second.size();
        listings_.erase(it);
    }
}

void KeptListings::Keep(std::wstring_view folder, std::vector<FileEntry>&& entries) {
    std::wstring key = Key(folder);
    Forget(key);
    if (changed_.contains(key) || entries.size() > budget_ - kept_) return;
    kept_ += entries.size();
    listings_.insert_or_assign(std::move(key), std::move(entries));
}

bool KeptListings::Take(std::wstring_view folder, std::vector<FileEntry>& entries) {
    const auto it = listings_.find(Key(folder));
    if (it == listings_.end()) return false;
    kept_ -= it->second.size();
    entries = std::move(it->second);
    listings_.erase(it);
    return true;
}

void KeptListings::Changed(std::wstring_view folder) {
    std::wstring key = Key(folder);
    Forget(key);
    changed_.insert(std::move(key));
}

}  // namespace copperfold
