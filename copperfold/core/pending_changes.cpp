#include "pending_changes.h"

#include <utility>

namespace copperfold {

void PendingChanges::Add(DirectoryChange change) {
    if (!changes.empty() && changes.back() == change) return;
    changes.push_back(std::move(change));
}

std::optional<DirectoryChange> PendingChanges::TakeOldest() {
    if (changes.empty()) return std::nullopt;
    DirectoryChange oldest = std::move(changes.front());
    changes.pop_front();
    return oldest;
}

}  // namespace copperfold
