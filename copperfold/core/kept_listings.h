#pragma once
// Folder listings a run has read already, kept for a later walk, so that a Sync job lists each
// folder once per side: its estimate keeps what it lists for the first pass, and the first pass
// keeps what it used for the second. A listing stands for its folder only until the run itself
// writes there: a folder the run has changed is never kept again (its next walk lists it anew).
// Bounded: past the budget nothing more is kept and the walks list those folders themselves.
// Folders are matched by their path without regard to case (as the file system matches names),
// with or without a trailing backslash.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "file_system.h"

namespace copperfold {

class KeptListings {
public:
    // About 100 bytes an entry: some 50 MB at most.
    static constexpr std::size_t kDefaultBudget = 500'000;
    explicit KeptListings(std::size_t budgetEntries = kDefaultBudget) : budget_(budgetEntries) {}

    // Keeps the listing of `folder` when it fits in what is left of the budget (an empty one
    // always fits) and the run has not changed the folder; a listing kept before for the same
    // folder is replaced.
    void Keep(std::wstring_view folder, std::vector<FileEntry>&& entries);
    // Moves the kept listing of `folder` into `entries` and forgets it; false when none is kept.
    bool Take(std::wstring_view folder, std::vector<FileEntry>& entries);
    // The run writes into `folder` (a copy, a new folder): what was kept of it is forgotten.
    void Changed(std::wstring_view folder);
    std::size_t KeptEntries() const { return kept_; }

private:
    static std::wstring Key(std::wstring_view folder);
    void Forget(const std::wstring& key);

    std::size_t budget_;
    std::size_t kept_ = 0;
    std::unordered_map<std::wstring, std::vector<FileEntry>> listings_;
    std::unordered_set<std::wstring> changed_;
};

}  // namespace copperfold
