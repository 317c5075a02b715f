#include "mounted_volumes.h"

#include <windows.h>

#include <algorithm>

#include "common/core/ini_file.h"
#include "copperfold/core/device_trigger.h"
#include "copperfold/core/settings_store.h"

namespace copperfold {

std::vector<MountedVolume> ListMountedVolumes(const common::DeviceTable& devices, std::uint32_t letters,
                                              bool removableOnly) {
    std::vector<MountedVolume> volumes;
    const DWORD drives = ::GetLogicalDrives() & letters;
    for (int n = 0; n < 26; ++n) {
        if (!(drives & (1u << n))) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + n);
        const wchar_t root[] = {letter, L':', L'\\', 0};
        const UINT type = ::GetDriveTypeW(root);
        if (type != DRIVE_FIXED && type != DRIVE_REMOVABLE) continue;  // no network or disc waits
        MountedVolume volume{letter, 0, type == DRIVE_REMOVABLE, {}};
        const std::size_t count = std::min<std::size_t>(devices.count, common::kMaxDevices);
        for (std::size_t i = 0; i < count; ++i) {
            if (DriveLetters(devices.entries[i]).find(static_cast<char>(letter)) == std::string_view::npos) continue;
            volume.removable = true;
            volume.enclosure = EnclosureSerialFromPath(DevicePath(devices.entries[i]));
            break;
        }
        if (removableOnly && !volume.removable) continue;
        DWORD serial = 0;
        if (!::GetVolumeInformationW(root, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) continue;
        volume.serial = serial;
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

namespace {

bool AnyBound(const JobRecord* jobs, std::size_t count) {
    return std::any_of(jobs, jobs + count, [](const JobRecord& job) { return job.binding.has_value(); });
}

}  // namespace

bool AnyBound(const JobBatch& batch) { return AnyBound(batch.entries.data(), batch.count); }

std::vector<MountedVolume> BindJobsToDrives(CCopperfoldDoc& doc, std::optional<CIniFileException>* writeFailure) {
    // Only the removable drives that unbound jobs write to are asked for their serials here.
    std::uint32_t targets = 0;
    for (int n = 0; n < doc.jobCount; ++n) {
        const JobRecord& job = doc.jobs[static_cast<std::size_t>(n)];
        if (!job.binding && !job.target.empty() && job.target[0] >= L'A' && job.target[0] <= L'Z') {
            targets |= 1u << (job.target[0] - L'A');
        }
    }
    const std::vector<MountedVolume> removable =
        targets != 0 ? ListMountedVolumes(doc.deviceTable, targets, true) : std::vector<MountedVolume>{};
    const bool bindable = std::any_of(doc.jobs.begin(), doc.jobs.begin() + doc.jobCount, [&](const JobRecord& job) {
        return !job.binding && BindingFor(job.target, removable);
    });
    if (bindable) {
        try {
            // Bound in the jobs as the file holds them now, each bound job's keys written.
            doc.ModifyJobs([&](CCopperfoldDoc& fresh) {
                std::vector<bool> wasBound;
                for (std::size_t n = 0; n < fresh.jobCount; ++n) wasBound.push_back(fresh.jobs[n].binding.has_value());
                if (!BindUnboundJobs(fresh, removable)) return false;
                for (std::size_t n = 0; n < fresh.jobCount; ++n) {
                    if (!wasBound[n] && fresh.jobs[n].binding) fresh.WriteJob(static_cast<int>(n + 1));
                }
                return true;
            });
        } catch (const CIniFileException& error) {
            // The run goes on by the jobs' letters; the next run tries to record the drives again.
            ::OutputDebugStringW((L"Copperfold: " + WriteFailureText(error, kBindingNotRecordedText) + L"\n").c_str());
            if (writeFailure) *writeFailure = error;
        }
    }
    return AnyBound(doc.jobs.data(), doc.jobCount) ? ListMountedVolumes(doc.deviceTable) : std::vector<MountedVolume>{};
}

}  // namespace copperfold
