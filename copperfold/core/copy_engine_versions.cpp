// What the copy engine does for a job that keeps the files it replaces (see versions.h): where
// each replaced file goes, which folders of a job's walks are no files of the job (its version
// stores), the removal of expired versions at the start of the job's run, and the checks of a
// restore of a version.
#include <algorithm>

#include "../../common/core/case_fold.h"
#include "copy_engine.h"
#include "job_paths.h"
#include "job_sides.h"
#include "versions.h"

namespace copperfold {

CopyEngine::CurrentJob CopyEngine::SettingFor(const JobRecord& prepared, bool localTimeSide) const {
    CurrentJob setting;
    setting.localTimeSide = localTimeSide;
    setting.skipSame = prepared.SkipsSame();
    setting.keepListings = prepared.type == JobType::Sync || setting.skipSame;
    setting.onlyName = RestoredName(prepared);
    if (prepared.versionRestore) {
        // It writes into the job's folder on one side, from a version of the store at its top.
        setting.tops.push_back(ComparablePath(prepared.source));
        // The version lies on a drive anyone may have written to: a link in it may point anywhere.
        setting.leavesOutLinks = true;
        setting.keepers.emplace_back(prepared.source, now_, offsetMinutes_);
        return setting;
    }
    const JobSides sides = SidesOf(prepared);
    setting.tops = {ComparablePath(sides.from), ComparablePath(sides.to)};
    if (prepared.KeepsVersions()) {
        for (const SideFolder& side : SidesWrittenTo(prepared)) setting.keepers.emplace_back(side.folder, now_, offsetMinutes_);
    }
    return setting;
}

bool CopyEngine::KeepsReplaced(const std::wstring& destination) const {
    return std::any_of(current_.keepers.begin(), current_.keepers.end(),
                       [&](const VersionKeeper& keeper) { return keeper.Holds(destination); });
}

bool CopyEngine::PlaceToKeep(const std::wstring& destination, std::wstring& keepAs) {
    keepAs.clear();
    const auto keeper = std::find_if(current_.keepers.begin(), current_.keepers.end(),
                                     [&](const VersionKeeper& candidate) { return candidate.Holds(destination); });
    if (keeper == current_.keepers.end()) return true;
    keepAs = keeper->PlaceFor(fs_, destination);
    if (!keepAs.empty()) return true;
    // Replacing the file now would lose it: it stays as it is, and the run fails.
    Report(destination, {kNoPlaceToKeepText, {destination, keeper->Store()}});
    return false;
}

void CopyEngine::RemoveExpiredVersions(const JobRecord& prepared) {
    if (prepared.options.keepDays == 0 || prepared.versionRestore) return;
    const std::wstring days = std::to_wstring(prepared.options.keepDays);
    for (const SideFolder& side : SidesWrittenTo(prepared)) {
        // Only a store that is one: a real folder at the top of the job's folder, no link.
        const std::wstring store = VersionStorePath(side.folder);
        FileEntry entry;
        std::vector<FileEntry> entries;
        if (!fs_.LookUp(store, entry) || !IsVersionStore(entry) || !fs_.List(store, entries)) continue;
        bool removedAny = false;
        for (const std::wstring& name : ExpiredVersionFolders(entries, now_, prepared.options.keepDays)) {
            const std::wstring folder = JoinPath(store, name);
            const std::uint32_t error = fs_.RemoveTree(folder);
            removedAny = true;  // all or part of it: the volume's free space is asked again
            Report(folder, {error == 0 ? kVersionsRemovedText : kVersionsNotRemovedText, {folder, days}, error, false});
        }
        if (removedAny) volumes_.erase(common::UpperCased(std::wstring_view(side.folder).substr(0, RootLength(side.folder))));
    }
}

JobRefusal CopyEngine::MissingVersion(const JobRecord& prepared) {
    if (!prepared.versionRestore) return {};
    FileEntry entry;
    const std::wstring store = VersionStorePath(prepared.source);
    const std::wstring& file = prepared.versionRestore->file;
    const std::wstring restored = file.empty() ? prepared.target : JoinPath(prepared.target, file);
    if (!fs_.LookUp(store, entry) || !IsVersionStore(entry)) return {kVersionGoneText, {restored}};
    // The version's folder, then each part of the file's path down to the file: a link among
    // them is no kept version (the walk would copy what it points to).
    std::wstring part = prepared.target;
    std::size_t next = 0;
    for (bool top = true;; top = false) {
        if (!fs_.LookUp(part, entry) || (entry.attributes & kAttributeReparsePoint) != 0 || (top && !entry.IsFolder())) {
            return {kVersionGoneText, {restored}};
        }
        if (next >= file.size()) return {};
        const std::size_t end = std::min(file.find(L'\\', next), file.size());
        part = JoinPath(part, std::wstring_view(file).substr(next, end - next));
        next = end + 1;
    }
}

}  // namespace copperfold
