// The estimate of a run: what each job will move (the bytes the progress bar counts toward) and
// what it will add to each volume it writes to (for the pre-flight check), found by the walks'
// own rules (pair_decision.h) on one listing per folder and side.
#include <algorithm>
#include <utility>
#include <vector>

#include "../../common/core/case_fold.h"
#include "copy_engine.h"
#include "file_times.h"
#include "job_paths.h"
#include "job_sides.h"

namespace copperfold {

void CopyEngine::PlanCopy(const std::wstring& named, const std::wstring& destination, std::uint64_t size,
                          const FileEntry* replaced, VolumeNeeds* into) {
    ++plannedCopies_;
    counters_.bytesTotal += size;
    // A file kept as a version stays on the volume: its new copy takes its whole size there.
    if (replaced && KeepsReplaced(destination)) replaced = nullptr;
    if (into) into->AddCopy(named, size, replaced != nullptr, replaced ? replaced->size : 0);
}

void CopyEngine::PlanPair(PairAction action, const std::wstring& fromPath, const FileEntry& from,
                          const std::wstring& toPath, const FileEntry* to, VolumeNeeds* toSide, VolumeNeeds* fromSide) {
    switch (action) {
    case PairAction::CopyForward:
        PlanCopy(fromPath, toPath, from.size, to, toSide);
        break;
    case PairAction::CopyBack:
        PlanCopy(toPath, fromPath, to->size, &from, fromSide);
        break;
    case PairAction::Compare:
        counters_.bytesTotal += from.size;  // compared files move the bar as copied ones do
        break;
    case PairAction::LeaveAlone:
        break;
    }
}

std::uint32_t CopyEngine::CountTree(const std::wstring& folder) { return CountInto(folder, nullptr); }

std::uint32_t CopyEngine::CountInto(const std::wstring& folder, VolumeNeeds* into) {
    const std::wstring base = WithTrailingBackslash(folder);
    std::vector<FileEntry> entries;
    if (!ListFolder(base, entries)) return 0;
    return CountListed(base, std::move(entries), into);
}

std::uint32_t CopyEngine::CountListed(const std::wstring& base, std::vector<FileEntry>&& entries, VolumeNeeds* into) {
    std::uint32_t files = 0;
    const FolderIndex index = IndexOf(entries);
    const Listed listed{base, index};
    for (const FileEntry& entry : entries) {
        if (!Takes(listed, entry, nullptr, false)) continue;
        if (entry.IsFolder()) {
            if (into) into->AddFolder();
            files += CountInto(base + entry.name, into);
        } else {
            ++files;
            PlanCopy(base + entry.name, {}, entry.size, nullptr, into);
        }
    }
    KeepListing(base, std::move(entries));
    return files;
}

std::uint32_t CopyEngine::EstimateSync(const std::wstring& sourceFolder, const std::wstring& targetFolder) {
    return EstimateSyncInto(sourceFolder, targetFolder, nullptr, nullptr);
}

std::uint32_t CopyEngine::EstimateSyncInto(const std::wstring& sourceFolder, const std::wstring& targetFolder,
                                           VolumeNeeds* toSide, VolumeNeeds* fromSide) {
    const std::wstring source = WithTrailingBackslash(sourceFolder);
    const std::wstring target = WithTrailingBackslash(targetFolder);
    std::vector<FileEntry> sourceEntries;
    std::vector<FileEntry> targetEntries;
    bool targetListed = false;
    if (!ListBoth(source, sourceEntries, target, true, targetEntries, targetListed)) {
        return targetListed ? CountListed(target, std::move(targetEntries), fromSide) : 0;
    }
    if (!targetListed) return CountListed(source, std::move(sourceEntries), toSide);
    const FolderIndex sourceIndex = IndexOf(sourceEntries);
    const FolderIndex targetIndex = IndexOf(targetEntries);
    const Listed sourceSide{source, sourceIndex};
    const Listed targetSide{target, targetIndex};

    // The walks' rules: what they cannot copy, and pairs with a hidden namesake, move nothing.
    std::uint32_t files = 0;
    for (const FileEntry& entry : sourceEntries) {
        if (!Takes(sourceSide, entry, &targetSide, false)) continue;
        const FileEntry* other = targetIndex.Find(entry.name);
        if (other && Skipped(*other)) continue;
        if (entry.IsFolder()) {
            if (toSide && !other) toSide->AddFolder();
            files += EstimateSyncInto(source + entry.name, target + entry.name, toSide, fromSide);
            continue;
        }
        ++files;
        if (other && other->IsFolder()) other = nullptr;  // the copy will fail; nothing is replaced
        PlanPair(DecidePair(Rules(JobType::Sync), entry, other), source + entry.name, entry, target + entry.name, other, toSide,
                 fromSide);
    }
    for (const FileEntry& entry : targetEntries) {
        if (!Takes(targetSide, entry, &sourceSide, false) || sourceIndex.Find(entry.name)) continue;
        if (entry.IsFolder()) {
            if (fromSide) fromSide->AddFolder();
            files += EstimateSyncInto(source + entry.name, target + entry.name, toSide, fromSide);
        } else {
            ++files;
            PlanCopy(target + entry.name, {}, entry.size, nullptr, fromSide);
        }
    }
    KeepListing(source, std::move(sourceEntries));
    KeepListing(target, std::move(targetEntries));
    return files;
}

void CopyEngine::EstimateCopy(const std::wstring& fromFolder, const std::wstring& toFolder, bool toListable,
                              VolumeNeeds* toSide) {
    const std::wstring from = WithTrailingBackslash(fromFolder);
    const std::wstring to = WithTrailingBackslash(toFolder);
    // What the copies replace: looked at when there is a volume to account for, or files to
    // compare with.
    std::vector<FileEntry> entries;
    std::vector<FileEntry> destinationEntries;
    bool destinationListed = false;
    if (!ListBoth(from, entries, to, (toSide || current_.skipSame) && toListable, destinationEntries, destinationListed)) {
        return;
    }
    const FolderIndex source = IndexOf(entries);
    const FolderIndex destination = IndexOf(destinationEntries);
    const Listed fromListing{from, source};
    const Listed toListing{to, destination};
    const std::wstring onlyName = std::exchange(current_.onlyName, {});  // the walk's top alone
    for (const FileEntry& entry : entries) {
        if (!onlyName.empty() && !common::EqualsIgnoreCase(entry.name, onlyName)) continue;
        if (!Takes(fromListing, entry, &toListing, false)) continue;
        const FileEntry* existing = destinationListed ? destination.Find(entry.name) : nullptr;
        if (entry.IsFolder()) {
            const bool folderThere = existing && existing->IsFolder();
            if (toSide && !folderThere) toSide->AddFolder();
            EstimateCopy(from + entry.name, to + entry.name, folderThere, toSide);
            continue;
        }
        if (existing && existing->IsFolder()) existing = nullptr;
        PlanPair(DecidePair(Rules(JobType::Backup), entry, existing), from + entry.name, entry, to + entry.name, existing, toSide,
                 nullptr);
    }
    KeepListing(from, std::move(entries));
    if (destinationListed) KeepListing(to, std::move(destinationEntries));
}

void CopyEngine::EstimateJob(const JobRecord& prepared, VolumeNeeds* toSide, VolumeNeeds* fromSide) {
    switch (prepared.type) {
    case JobType::Backup:
    case JobType::Restore: {
        const JobSides sides = SidesOf(prepared);
        EstimateCopy(sides.from, sides.to, true, toSide);
        break;
    }
    case JobType::Sync:
        EstimateSyncInto(prepared.source, prepared.target, toSide, fromSide);
        break;
    default:
        break;
    }
}

JobRefusal CopyEngine::EstimateAndAdmit(const JobRecord& prepared, SpacePlan& plan, bool& localTimeSide) {
    // The volumes' facts, once for each side of the job: the estimate needs them already.
    const JobSides sides = SidesOf(prepared);
    std::vector<SpacePlan::Side> written(1);
    written[0].facts = VolumeOf(sides.to);
    const VolumeFacts& fromFacts = VolumeOf(sides.from);
    if (prepared.type == JobType::Sync) written.push_back({fromFacts, {}});
    localTimeSide = KeepsLocalTimes(written[0].facts.fileSystem) || KeepsLocalTimes(fromFacts.fileSystem);
    for (SpacePlan::Side& side : written) {
        side.needs = VolumeNeeds(side.facts);
        if (!side.facts.root.empty() && KeepsLocalTimes(side.facts.fileSystem)) fs_.LimitTimesToFatRange(side.facts.root);
    }
    // Needs are only gathered for volumes the system told us about.
    auto needsOf = [&](size_t index) -> VolumeNeeds* {
        return index < written.size() && !written[index].facts.root.empty() ? &written[index].needs : nullptr;
    };

    const std::uint64_t totalBefore = counters_.bytesTotal.load();
    current_ = SettingFor(prepared, localTimeSide);
    EstimateJob(prepared, needsOf(0), needsOf(1));
    current_ = CurrentJob{};
    JobRefusal refusal = plan.Admit(written);
    if (refusal.Refused()) counters_.bytesTotal = totalBefore;  // it will move nothing
    return refusal;
}

const VolumeFacts& CopyEngine::VolumeOf(const std::wstring& path) {
    std::wstring key = common::UpperCased(std::wstring_view(path).substr(0, RootLength(path)));
    if (key.empty()) key = common::UpperCased(path);  // not a full path: asked on its own
    const auto known = volumes_.find(key);
    if (known != volumes_.end()) return known->second;
    return volumes_.emplace(std::move(key), fs_.Volume(path)).first->second;
}

}  // namespace copperfold
