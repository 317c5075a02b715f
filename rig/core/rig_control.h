#pragma once
// rigctl, the rig's control tool, as a function the tool's main and the tests both call:
//
//   rigctl RIGFILE press|release [--enclosure N]
//   rigctl RIGFILE not-ready on|off [--enclosure N]
//   rigctl RIGFILE fail [out-of-memory] CDB-BYTE... [--enclosure N]   (see fault_rules.h)
//   rigctl RIGFILE fail off [--enclosure N]
//   rigctl RIGFILE state [--enclosure N]
//   rigctl RIGFILE log [--clear]
//   rigctl RIGFILE reset
//
// Returns the exit code: 0 done, 1 failed, 2 wrong usage.

#include <iosfwd>
#include <string>
#include <vector>

#include "rig_files.h"

namespace rig {

int RunRigControl(FileSystem& files, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace rig
