#include "mounted_volumes.h"

#include <windows.h>

#include "common/core/ini_file.h"
#include "copperfold/core/device_trigger.h"

namespace copperfold {

std::vector<MountedVolume> ListMountedVolumes(const common::DeviceTable& devices) {
    std::vector<MountedVolume> volumes;
    const DWORD drives = ::GetLogicalDrives();
    for (int n = 0; n < 26; ++n) {
        if (!(drives & (1u << n))) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + n);
        const wchar_t root[] = {letter, L':', L'\\', 0};
        const UINT type = ::GetDriveTypeW(root);
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;  // no network or disc waits
        DWORD serial = 0;
        if (!::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) continue;
        MountedVolume volume{letter, serial, type == DRIVE_REMOVABLE, {}};
        const std::size_t count = std::min<std::size_t>(devices.count, common::kMaxDevices);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view letters = DriveLetters(devices.entries[i]);
            if (letters.find(static_cast<char>(letter)) == std::string_view::npos) continue;
            volume.removable = true;
            volume.enclosure = EnclosureSerialFromPath(DevicePath(devices.entries[i]));
            break;
        }
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

std::vector<MountedVolume> BindJobsToDrives(CCopperfoldDoc& doc) {
    std::vector<MountedVolume> volumes = ListMountedVolumes(doc.deviceTable);
    if (BindUnboundJobs(doc, volumes)) {
        try {
            doc.SaveAllJobs();
        } catch (const CIniFileException&) {
            ::OutputDebugStringW(L"Copperfold: the jobs' drives could not be recorded in the job file\n");
        }
    }
    return volumes;
}

}  // namespace copperfold
