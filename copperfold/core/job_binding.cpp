#include "job_binding.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "device_trigger.h"

namespace copperfold {
namespace {

wchar_t DriveLetterOf(std::wstring_view path) {
    if (path.size() < 2 || path[1] != L':') return 0;
    const wchar_t letter = static_cast<wchar_t>(std::towupper(path[0]));
    return letter >= L'A' && letter <= L'Z' ? letter : 0;
}

const MountedVolume* VolumeAt(wchar_t letter, const std::vector<MountedVolume>& volumes) {
    for (const MountedVolume& volume : volumes) {
        if (volume.letter == letter) return &volume;
    }
    return nullptr;
}

bool HoldsBoundDrive(const MountedVolume& volume, const TargetBinding& binding) {
    return volume.serial == binding.volumeSerial;
}

}  // namespace

std::wstring VolumeSerialText(std::uint32_t serial) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(serial));
    return text;
}

std::optional<std::uint32_t> ParseVolumeSerial(std::wstring_view text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != L'0' || (text[1] != L'x' && text[1] != L'X')) return std::nullopt;
    std::uint32_t value = 0;
    for (const wchar_t c : text.substr(2)) {
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::wstring EnclosureSerialFromPath(std::string_view devicePath) {
    // \\?\usbstor#disk&ven_x&prod_y&rev_z#SERIAL&0#{guid}: the third part.
    const std::size_t first = devicePath.find('#');
    if (first == std::string_view::npos) return {};
    const std::size_t second = devicePath.find('#', first + 1);
    if (second == std::string_view::npos) return {};
    const std::size_t third = devicePath.find('#', second + 1);
    if (third == std::string_view::npos) return {};
    std::string_view serial = devicePath.substr(second + 1, third - second - 1);
    if (const std::size_t amp = serial.rfind('&'); amp != std::string_view::npos) serial = serial.substr(0, amp);
    std::wstring text;
    for (const char c : serial) {
        if (c < 0x21 || c > 0x7E) return {};  // printable ASCII only, as USB serials are
        text += static_cast<wchar_t>(c);
    }
    return text;
}

std::optional<TargetBinding> BindingFor(std::wstring_view target, const std::vector<MountedVolume>& volumes) {
    // Only a target that names its drive as the system does: the letter rule of the button (exact
    // letters) stays as it was for a hand-written lower-case target.
    if (target.empty() || target[0] < L'A' || target[0] > L'Z') return std::nullopt;
    const MountedVolume* volume = VolumeAt(DriveLetterOf(target), volumes);
    if (!volume || !volume->removable) return std::nullopt;
    return TargetBinding{volume->serial, volume->enclosure};
}

bool BindUnboundJobs(CCopperfoldDoc& doc, const std::vector<MountedVolume>& volumes) {
    bool bound = false;
    for (int n = 0; n < doc.jobCount; ++n) {
        JobRecord& job = doc.jobs[static_cast<std::size_t>(n)];
        if (job.binding) continue;
        job.binding = BindingFor(job.target, volumes);
        bound = bound || job.binding.has_value();
    }
    return bound;
}

TargetResolution ResolveTarget(const JobRecord& job, const std::vector<MountedVolume>& volumes) {
    const wchar_t letter = DriveLetterOf(job.target);
    if (!job.binding || letter == 0) return {};
    if (const MountedVolume* there = VolumeAt(letter, volumes); there && HoldsBoundDrive(*there, *job.binding)) {
        return {TargetPlace::Same, letter};
    }
    for (const MountedVolume& volume : volumes) {
        if (HoldsBoundDrive(volume, *job.binding)) return {TargetPlace::Moved, volume.letter};
    }
    return {TargetPlace::Missing, 0};
}

void ResolveBatchTargets(JobBatch& batch, const std::vector<MountedVolume>& volumes) {
    for (std::size_t i = 0; i < batch.count; ++i) {
        JobRecord& job = batch.entries[i];
        const TargetResolution resolution = ResolveTarget(job, volumes);
        if (resolution.place == TargetPlace::Missing) {
            job.runRefusal = kDriveMissingText;
        } else if (resolution.place == TargetPlace::Moved) {
            job.movedFrom = job.target;
            job.target[0] = resolution.letter;
        }
    }
}

bool EveryDriveMissing(const JobBatch& batch) {
    return batch.count > 0 && std::all_of(batch.entries.begin(), batch.entries.begin() + batch.count,
                                          [](const JobRecord& job) { return job.runRefusal == kDriveMissingText; });
}

std::wstring MovedTargetText(const JobRecord& job) {
    return job.movedFrom + L" \u2192 " + job.target + L" (the drive moved)";
}

JobKeys::value_type StoredKey(const JobRecord& job) {
    return {job.source, job.movedFrom.empty() ? job.target : job.movedFrom};
}

void BuildArrivalBatch(const JobRecord* jobs, std::size_t jobCount, const std::vector<std::uint32_t>& arrivedSerials,
                       const JobKeys& alreadyRun, JobBatch& batch) {
    batch.count = 0;
    for (std::size_t j = 0; j < jobCount && batch.count < kMaxJobs; ++j) {
        const JobRecord& job = jobs[j];
        if (!job.runOnArrival || !job.binding) continue;
        if (std::find(arrivedSerials.begin(), arrivedSerials.end(), job.binding->volumeSerial) == arrivedSerials.end()) {
            continue;
        }
        if (std::find(alreadyRun.begin(), alreadyRun.end(), StoredKey(job)) != alreadyRun.end()) continue;
        batch.entries[batch.count++] = job;
    }
}

void BuildBoundDeviceBatch(const JobRecord* jobs, std::size_t jobCount, const common::DeviceTableEntry& entry,
                           const std::vector<MountedVolume>& volumes, JobBatch& batch) {
    batch.count = 0;
    const std::string_view letters = DriveLetters(entry);
    const std::wstring enclosure = EnclosureSerialFromPath(DevicePath(entry));
    const auto onThisEnclosure = [&](const TargetBinding& binding) {
        if (!binding.enclosure.empty()) return !enclosure.empty() && binding.enclosure == enclosure;
        for (const MountedVolume& volume : volumes) {
            if (HoldsBoundDrive(volume, binding) && volume.letter < 0x80 &&
                letters.find(static_cast<char>(volume.letter)) != std::string_view::npos) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t j = 0; j < jobCount && batch.count < 255; ++j) {
        const JobRecord& job = jobs[j];
        if (job.binding) {
            if (onThisEnclosure(*job.binding)) batch.entries[batch.count++] = job;
            continue;
        }
        if (TargetOnLetters(job, letters)) batch.entries[batch.count++] = job;
    }
}

}  // namespace copperfold
