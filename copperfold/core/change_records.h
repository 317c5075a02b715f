#pragma once
// The system's change-notification records, as one read of a watched folder delivers them:
// a chain of variable-length records, each with the offset of the next (0 for the last), the
// action, the name's length in bytes and the name in UTF-16 (relative, not NUL-terminated).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "directory_change.h"

namespace copperfold {

struct ChangeRecordHeader {
    std::uint32_t nextEntryOffset;
    std::uint32_t action;
    std::uint32_t nameLength;  // bytes
    // followed by the name
};
static_assert(sizeof(ChangeRecordHeader) == 12);
static_assert(offsetof(ChangeRecordHeader, nextEntryOffset) == 0);
static_assert(offsetof(ChangeRecordHeader, action) == 4);
static_assert(offsetof(ChangeRecordHeader, nameLength) == 8);
inline constexpr std::size_t kChangeRecordNameOffset = sizeof(ChangeRecordHeader);

// The size of the buffer one read of a watched folder fills.
inline constexpr std::size_t kChangeBufferSize = 0x20000;

// The records in the first `delivered` bytes, in order. Whatever the bytes say, nothing
// outside them is read: the walk ends at a next-entry offset of 0, at a record whose header
// or name does not fit, whose name has an odd length, or whose next-entry offset is shorter
// than the record itself or leads beyond the delivered bytes. The records before it are kept.
std::vector<DirectoryChange> ParseChangeRecords(std::span<const std::byte> delivered);

}  // namespace copperfold
