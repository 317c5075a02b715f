#include "version_keeper.h"

#include "copy_engine.h"
#include "job_paths.h"
#include "versions.h"

namespace copperfold {

VersionKeeper::VersionKeeper(std::wstring jobFolder, std::uint64_t runStart, int offsetMinutes)
    : folder_(std::move(jobFolder)),
      comparable_(ComparablePath(folder_) + L"\\"),
      store_(VersionStorePath(folder_)),
      start_(runStart),
      offsetMinutes_(offsetMinutes) {}

bool VersionKeeper::Holds(std::wstring_view destination) const {
    const std::wstring path = ComparablePath(destination);
    return path.size() > comparable_.size() && path.compare(0, comparable_.size(), comparable_) == 0;
}

bool VersionKeeper::MakeRunFolder(FileSystem& files) {
    if (FileEntry store; files.LookUp(store_, store)) {
        if (!IsVersionStore(store)) return false;  // a file, or a link to somewhere else
    } else if (files.CreateFolder(store_)) {
        files.SetAttributes(store_, kAttributeDirectory | kAttributeHidden);  // where the drive keeps it
    } else {
        return false;
    }
    // A folder of its own for this run, even when another of the same second took the name.
    for (int sequence = 1; sequence <= 999; ++sequence) {
        const std::wstring run = JoinPath(store_, VersionFolderName(start_, offsetMinutes_, sequence));
        if (files.Exists(run)) continue;
        if (!files.CreateFolder(run)) return false;
        run_ = run;
        return true;
    }
    return false;
}

std::wstring VersionKeeper::PlaceFor(FileSystem& files, const std::wstring& destination) {
    if (unusable_ || !Holds(destination)) return {};
    if (run_.empty() && !MakeRunFolder(files)) {
        unusable_ = true;
        return {};
    }
    // The walks spell the paths below the job's folder as that folder, a backslash, the names.
    const std::size_t start = folder_.size() + (folder_.back() == L'\\' ? 0 : 1);
    const std::wstring relative = destination.substr(std::min(start, destination.size()));
    for (std::size_t slash = relative.find(L'\\'); slash != std::wstring::npos; slash = relative.find(L'\\', slash + 1)) {
        const std::wstring folder = JoinPath(run_, relative.substr(0, slash));
        if (made_.insert(ComparablePath(folder)).second) files.CreateFolder(folder);  // one already there is fine
    }
    return JoinPath(run_, relative);
}

}  // namespace copperfold
