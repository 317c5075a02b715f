#pragma once
// The changes of one watched folder that were read but not yet handed out, oldest first.
// A change that repeats the newest pending one (same name and same action) adds nothing, so a
// file saved several times in a row is reported once; any other change is kept, so a name
// that is removed and then added again is reported as both.

#include <cstddef>
#include <deque>
#include <optional>

#include "directory_change.h"

namespace copperfold {

class PendingChanges {
public:
    void Add(DirectoryChange change);
    std::optional<DirectoryChange> TakeOldest();
    bool empty() const { return changes.empty(); }
    std::size_t size() const { return changes.size(); }
    void clear() { changes.clear(); }

private:
    std::deque<DirectoryChange> changes;
};

}  // namespace copperfold
