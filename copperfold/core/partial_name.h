#pragma once
// Names of the copier's temporary files. A copy writes into a new file beside its destination
// and renames it over the destination once complete. The temporary name carries a unique part
// (so it never meets a file already there: the file is created only when the name is free) and
// a check value computed from the rest of the name: a file is taken for one of ours only when
// both are present and the check matches, which no user's file does by chance.
//
//   <destination name>.~<8 hex digits unique><8 hex digits check>.~cfpart
//
// When the destination's name is too long to take the addition, "~cf" and 16 hex digits
// derived from it stand in its place.

#include <cstdint>
#include <string>
#include <string_view>

namespace copperfold {

// The temporary name for a copy onto a file called `destinationName`, with `unique` as its
// unique part. Fits the 255-byte name limit of every file system we run on.
std::wstring PartialFileName(std::wstring_view destinationName, std::uint32_t unique);

// True only for names PartialFileName makes.
bool IsPartialFileName(std::wstring_view name);

}  // namespace copperfold
