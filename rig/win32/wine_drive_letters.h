#pragma once
// Drive letters of a simulated enclosure in a Wine prefix: under Wine the letters of a plugged
// enclosure stand for its folders, as on a machine where the drive is plugged in. On Windows
// itself nothing is mapped (the system owns the letters there).

#include <string>

namespace rig {

// True when the program runs under Wine.
bool RunningUnderWine();

// Maps `letter` to `folder` (UTF-8: a host path starting with "/", or a path as the program
// sees it), or removes the letter when `folder` is empty. False when Wine's mount manager
// refused.
bool SetWineDriveLetter(char letter, const std::string& folder);

}  // namespace rig
