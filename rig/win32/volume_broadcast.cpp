#include "volume_broadcast.h"

#include <windows.h>
#include <dbt.h>

#include <cstdlib>

#include "rig/core/rig.h"
#include "rig/core/rig_files.h"
#include "wine_drive_letters.h"

namespace rig {

unsigned long EnclosureUnitMask(const std::string& rigFile, std::size_t index) {
    std::string error;
    const auto machine = Rig::Load(PlatformFileSystem(), rigFile, error);
    if (!machine || index >= machine->Config().enclosures.size()) return 0;
    const auto& enclosure = machine->Config().enclosures[index];
    unsigned long mask = 0;
    for (const auto& drive : enclosure.drives) mask |= 1ul << (drive.letter - 'A');
    if (enclosure.cdromLetter != 0) mask |= 1ul << (enclosure.cdromLetter - 'A');
    return mask;
}

namespace {

struct Broadcast {
    WPARAM event;
    DEV_BROADCAST_VOLUME volume;
};

BOOL CALLBACK SendToWindow(HWND window, LPARAM context) {
    auto* broadcast = reinterpret_cast<Broadcast*>(context);
    DWORD_PTR answer = 0;
    // A window that does not answer in time is passed over, as the system does.
    ::SendMessageTimeoutW(window, WM_DEVICECHANGE, broadcast->event, reinterpret_cast<LPARAM>(&broadcast->volume),
                          SMTO_ABORTIFHUNG, 5000, &answer);
    return TRUE;
}

}  // namespace

bool MapWineDriveLetters(const std::string& rigFile, std::size_t index, bool plug) {
    std::string error;
    const auto machine = Rig::Load(PlatformFileSystem(), rigFile, error);
    if (!machine || index >= machine->Config().enclosures.size()) return false;
    bool ok = true;
    for (const auto& drive : machine->Config().enclosures[index].drives) {
        ok = SetWineDriveLetter(drive.letter, plug ? drive.folder : std::string()) && ok;
    }
    return ok;
}

bool BroadcastVolumeChange(bool arrival, unsigned long unitMask) {
    Broadcast broadcast{};
    broadcast.event = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    broadcast.volume.dbcv_size = sizeof broadcast.volume;
    broadcast.volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    broadcast.volume.dbcv_unitmask = unitMask;
    return ::EnumWindows(&SendToWindow, reinterpret_cast<LPARAM>(&broadcast)) != FALSE;
}

bool BroadcastAfterPlugCommand(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::size_t enclosure = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--enclosure" && i + 1 < args.size()) {
            enclosure = static_cast<std::size_t>(std::strtoul(args[++i].c_str(), nullptr, 0));
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2 || (positional[1] != "plug" && positional[1] != "unplug")) return true;
    const bool plug = positional[1] == "plug";
    if (RunningUnderWine()) MapWineDriveLetters(positional[0], enclosure, plug);
    const unsigned long mask = EnclosureUnitMask(positional[0], enclosure);
    return mask == 0 || BroadcastVolumeChange(plug, mask);
}

}  // namespace rig
