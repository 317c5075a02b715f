#pragma once
// Where one side of the job going on keeps the files its copies replace (see versions.h): the
// folder of the run in the version store at the top of the job's folder there, and the folders
// below it that the kept files' paths need, each made when the first file needs it. The store is
// made (and hidden, where the drive keeps attributes) by the first file kept in it.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "file_system.h"

namespace copperfold {

class VersionKeeper {
public:
    // `jobFolder` as the walks spell the paths below it; `runStart` a UTC file time.
    VersionKeeper(std::wstring jobFolder, std::uint64_t runStart, int offsetMinutes);

    // Whether `destination` lies below the job's folder of this side.
    bool Holds(std::wstring_view destination) const;
    // Where the file at `destination` (below the job's folder) is to go, the folders above that
    // place made; empty when no place could be made there (something that is no store of ours
    // bears the store's name, or the drive refused the folders).
    std::wstring PlaceFor(FileSystem& files, const std::wstring& destination);
    const std::wstring& Store() const { return store_; }

private:
    bool MakeRunFolder(FileSystem& files);

    std::wstring folder_;
    std::wstring comparable_;  // the job's folder as ComparablePath makes it, with a backslash
    std::wstring store_;
    std::wstring run_;  // the run's folder once made
    std::uint64_t start_;
    int offsetMinutes_;
    bool unusable_ = false;
    std::unordered_set<std::wstring> made_;  // folders below the run's, by ComparablePath
};

}  // namespace copperfold
