#pragma once
// What the system does when a volume comes or goes: rigctl's plug and unplug tell the top-level
// windows of the session, so programs watching for drives react to a simulated enclosure as to
// a real one.

#include <string>
#include <vector>

namespace rig {

// The unit mask (bit n: drive 'A' + n) of the drive letters of enclosure `index` of the rig
// file `rigFile` (its drives and its CD-ROM letter); 0 when the rig does not load.
unsigned long EnclosureUnitMask(const std::string& rigFile, std::size_t index);

// Under Wine: maps the drive letters of enclosure `index` to their folders in the prefix, or
// removes them. False when a letter could not be changed.
bool MapWineDriveLetters(const std::string& rigFile, std::size_t index, bool plug);

// Broadcasts WM_DEVICECHANGE with DBT_DEVICEARRIVAL (or DBT_DEVICEREMOVECOMPLETE) and a volume
// record for `unitMask` to every top-level window; false when the windows could not be listed.
bool BroadcastVolumeChange(bool arrival, unsigned long unitMask);

// After a successful "plug" or "unplug" command line: under Wine maps or removes the
// enclosure's letters, then broadcasts the enclosure's volumes.
// Any other command line is left alone. Returns false when a broadcast was due and failed.
bool BroadcastAfterPlugCommand(const std::vector<std::string>& args);

}  // namespace rig
