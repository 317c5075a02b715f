#pragma once
// An in-memory file system for copy engine tests: folders and files with attributes, times
// and contents; names match without regard to case (but on the drives made case-sensitive);
// listings come in name order. It counts the calls the engine makes and can be told to fail a
// copy, to lose a drive, to refuse a folder's listing and to keep times as a FAT drive does.

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/core/case_fold.h"
#include "copperfold/core/file_system.h"
#include "copperfold/core/file_times.h"
#include "copperfold/core/job_paths.h"

namespace testing_support {

class MemoryFileSystem final : public copperfold::FileSystem {
public:
    struct Node {
        std::wstring path;  // as created
        bool folder = false;
        std::uint32_t attributes = 0;
        std::uint64_t time = 0;
        std::string content;
    };

    // Set-up helpers. Parents are created as needed.
    void AddFolder(const std::wstring& path, std::uint32_t attributes = 0) {
        AddParents(path);
        Node& node = nodes_[Key(path)];
        node = {path, true, attributes | copperfold::kAttributeDirectory, 0, {}};
    }
    // `seconds`: the last-write time in whole seconds since 1601 (SetTime sets finer ones).
    void AddFile(const std::wstring& path, const std::string& content, std::uint64_t seconds = 100,
                 std::uint32_t attributes = 0) {
        AddParents(path);
        nodes_[Key(path)] = {path, false, attributes, seconds * kUnitsPerSecond, content};
    }
    // The last-write time in 100 ns units.
    void SetTime(const std::wstring& path, std::uint64_t time) { nodes_[Key(path)].time = time; }
    static constexpr std::uint64_t kUnitsPerSecond = 10'000'000;
    void RemoveForTest(const std::wstring& path) { nodes_.erase(Key(path)); }
    const Node* Find(const std::wstring& path) const {
        const auto it = nodes_.find(Key(path));
        return it == nodes_.end() ? nullptr : &it->second;
    }
    // Paths of all files, as created, in name order.
    std::vector<std::wstring> Files() const {
        std::vector<std::wstring> files;
        for (const auto& [key, node] : nodes_) {
            if (!node.folder) files.push_back(node.path);
        }
        return files;
    }

    bool List(const std::wstring& folder, std::vector<copperfold::FileEntry>& entries) override {
        ++listings;
        entries.clear();
        if (Gone(folder) || unreadable.count(Key(folder))) return false;
        const std::wstring base = Key(Trimmed(folder));
        const Node* self = Find(Trimmed(folder));
        if (!IsDrive(Trimmed(folder)) && (!self || !self->folder)) return false;
        for (const auto& [key, node] : nodes_) {
            if (ParentKey(key) != base) continue;
            entries.push_back({Name(node.path), node.attributes, node.time, node.content.size()});
        }
        return true;
    }
    bool Exists(const std::wstring& path) override {
        ++lookups;
        return !Gone(path) && (IsDrive(Trimmed(path)) || Find(Trimmed(path)) != nullptr);
    }
    bool LookUp(const std::wstring& path, copperfold::FileEntry& entry) override {
        ++lookups;
        const Node* node = Gone(path) || unreadable.count(Key(path)) ? nullptr : Find(Trimmed(path));
        if (!node) return false;
        entry = {Name(node->path), node->attributes, node->time, node->content.size()};
        return true;
    }
    bool CreateFolder(const std::wstring& path) override {
        const std::wstring trimmed = Trimmed(path);
        const Node* parent = Find(ParentPath(trimmed));
        if (Gone(path) || Find(trimmed) || (!IsDrive(ParentPath(trimmed)) && (!parent || !parent->folder))) return false;
        nodes_[Key(trimmed)] = {trimmed, true, copperfold::kAttributeDirectory, 0, {}};
        createdFolders.push_back(trimmed);
        return true;
    }
    bool SetAttributes(const std::wstring& path, std::uint32_t attributes) override {
        auto it = nodes_.find(Key(path));
        if (it == nodes_.end()) return false;
        it->second.attributes = (attributes & ~copperfold::kAttributeDirectory) |
                                (it->second.attributes & copperfold::kAttributeDirectory);
        return true;
    }
    std::wstring FullPath(const std::wstring& path) override { return copperfold::PlatformFullPath(path); }
    // Existing entries resolve to themselves, or through `aliases` (a path prefix and what it
    // stands for, as a drive alias or a link would).
    std::wstring FinalPath(const std::wstring& path) override {
        std::wstring resolved = path;
        for (const auto& [alias, real] : aliases) {
            std::wstring aliasKey = Key(alias);
            while (!aliasKey.empty() && aliasKey.back() == L'\\') aliasKey.pop_back();
            const std::wstring pathKey = Key(path);
            if (pathKey.compare(0, aliasKey.size(), aliasKey) == 0 &&
                (pathKey.size() == aliasKey.size() || pathKey[aliasKey.size()] == L'\\')) {
                resolved = real + path.substr(aliasKey.size());
            }
        }
        return IsDrive(Trimmed(resolved)) || Find(Trimmed(resolved)) ? resolved : std::wstring();
    }
    // Our temporary files here: names ending in ".~part", whatever their attributes.
    bool IsPartialCopy(const copperfold::FileEntry& entry) const override {
        return !entry.IsFolder() && entry.name.size() > 6 && entry.name.substr(entry.name.size() - 6) == L".~part";
    }
    void RemovePartialCopy(const std::wstring& path) override {
        nodes_.erase(Key(path));
        removedPartials.push_back(path);
    }
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const copperfold::CopyProgress& progress,
                           const std::atomic<int>& cancel) override {
        copies.push_back({from, to});
        if (Gone(from) || Gone(to)) return 3;  // path not found
        const Node* source = Find(from);
        if (!source || source->folder) return 2;  // file not found
        const Node* parent = Find(ParentPath(to));
        if (!IsDrive(ParentPath(to)) && (!parent || !parent->folder)) return 3;  // path not found
        if (const Node* existing = Find(to);
            existing && (existing->folder || (existing->attributes & copperfold::kAttributeReadOnly))) {
            return 5;  // access denied, as the platform answers for a folder or a read-only destination
        }
        if (failCopiesTo == to) return 112;  // disk full
        const std::uint64_t size = source->content.size();
        progress(size, 0, copperfold::CopyProgressReason::StreamSwitch);
        std::uint64_t done = 0;
        do {
            if (cancel.load() != 0 || (stopAfterBytes && done >= stopAfterBytes)) return copperfold::kErrorRequestAborted;
            done = std::min<std::uint64_t>(size, done + chunkSize);
            if (!progress(size, done, copperfold::CopyProgressReason::ChunkFinished)) {
                return copperfold::kErrorRequestAborted;
            }
        } while (done < size);
        Node copy = *source;
        if (fatTimeDrives.count(Drive(to))) copy.time = std::clamp(copy.time, kFatEarliest, kFatLatest);
        nodes_[Key(to)] = {Trimmed(to), false, copy.attributes, copy.time, copy.content};
        if (onCopied) onCopied(to);
        return 0;
    }
    // Moves the replaced file to `keepAs` first (as a rename would: refused when that name is
    // taken or its folder missing), and back when the copy fails.
    std::uint32_t CopyKeepingReplaced(const std::wstring& from, const std::wstring& to, const std::wstring& keepAs,
                                      const copperfold::CopyProgress& progress, const std::atomic<int>& cancel) override {
        const auto replaced = nodes_.find(Key(to));
        if (replaced == nodes_.end() || replaced->second.folder) return CopyWithProgress(from, to, progress, cancel);
        const Node* keptParent = Find(ParentPath(Trimmed(keepAs)));
        if (Gone(keepAs) || !keptParent || !keptParent->folder) return 3;  // path not found
        if (Find(keepAs)) return 183;                                      // already exists
        Node kept = replaced->second;
        kept.path = Trimmed(keepAs);
        nodes_.erase(replaced);
        nodes_[Key(keepAs)] = kept;
        const std::uint32_t error = CopyWithProgress(from, to, progress, cancel);
        if (error != 0) {
            kept.path = Trimmed(to);
            nodes_.erase(Key(keepAs));
            nodes_[Key(to)] = kept;
        } else {
            keptAs.push_back({to, keepAs});
        }
        return error;
    }
    // Removes the folder and all below it.
    std::uint32_t RemoveTree(const std::wstring& folder) override {
        const std::wstring key = Key(folder);
        if (!nodes_.count(key)) return 2;
        if (failRemovalOf == key) return 5;  // access denied
        std::erase_if(nodes_, [&](const auto& node) {
            return node.first == key || (node.first.size() > key.size() && node.first.compare(0, key.size(), key) == 0 &&
                                         node.first[key.size()] == L'\\');
        });
        removedTrees.push_back(Trimmed(folder));
        return 0;
    }
    std::uint32_t AccessError(const std::wstring& path) override {
        if (Gone(path)) return 3;
        if (const auto it = unreadable.find(Key(path)); it != unreadable.end()) return it->second;
        return IsDrive(Trimmed(path)) || Find(Trimmed(path)) ? 0 : 2;
    }
    void LimitTimesToFatRange(const std::wstring& root) override { fatTimeDrives.insert(Drive(root)); }
    // The ends of the range a FAT drive holds here, in the zone this file system is in (UTC+1).
    static constexpr std::uint64_t kFatEarliest = copperfold::kFatEarliestUtc - 3600 * kUnitsPerSecond;
    static constexpr std::uint64_t kFatLatest = copperfold::kFatLatestUtc - 3600 * kUnitsPerSecond;

    // The facts of the drive a path lies on, by its root ("E:\\"); none by default.
    copperfold::VolumeFacts Volume(const std::wstring& path) override {
        ++volumeQueries;
        if (path.size() < 3) return {};
        const auto it = volumes.find(common::UpperCased(path.substr(0, 3)));
        return it == volumes.end() ? copperfold::VolumeFacts{} : it->second;
    }

    int listings = 0;
    int volumeQueries = 0;
    std::map<std::wstring, copperfold::VolumeFacts> volumes;  // by upper-cased root
    int lookups = 0;
    std::uint64_t chunkSize = 4;
    std::uint64_t stopAfterBytes = 0;  // nonzero: every copy is cancelled once this much is done
    std::wstring failCopiesTo;
    std::vector<std::pair<std::wstring, std::wstring>> copies;
    std::vector<std::wstring> createdFolders;
    std::vector<std::wstring> removedPartials;
    std::vector<std::pair<std::wstring, std::wstring>> keptAs;  // replaced files kept: where they were, where they went
    std::vector<std::wstring> removedTrees;
    std::wstring failRemovalOf;  // the key of a folder RemoveTree refuses
    std::map<std::wstring, std::wstring> aliases;
    std::set<wchar_t> caseSensitiveDrives;  // upper-case letters: names there differ by case
    std::set<wchar_t> missingDrives;        // upper-case letters: drives that are not there
    // Folders that cannot be listed and files that cannot be looked up (by Key), and why.
    std::map<std::wstring, std::uint32_t> unreadable;
    std::set<wchar_t> fatTimeDrives;        // drives the engine said hold FAT's times only
    std::function<void(const std::wstring& to)> onCopied;  // after each successful copy
    // The key of a path, as Find takes it; for `unreadable`.
    std::wstring Key(const std::wstring& path) const {
        std::wstring key = Trimmed(path);
        if (!caseSensitiveDrives.count(Drive(path))) return common::UpperCased(key);
        if (!key.empty()) key[0] = common::ToUpperSimple(key[0]);
        return key;
    }

private:
    static std::wstring Trimmed(const std::wstring& path) {
        std::wstring result = path;
        while (result.size() > 3 && result.back() == L'\\') result.pop_back();
        return result;
    }
    static bool IsDrive(const std::wstring& path) {
        return path.size() <= 3 && path.size() >= 2 && path[1] == L':';
    }
    static std::wstring ParentPath(const std::wstring& path) {
        const size_t slash = path.rfind(L'\\');
        if (slash == std::wstring::npos) return {};
        return slash == 2 ? path.substr(0, 3) : path.substr(0, slash);
    }
    static std::wstring Name(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }
    static wchar_t Drive(const std::wstring& path) { return path.empty() ? 0 : common::ToUpperSimple(path[0]); }
    bool Gone(const std::wstring& path) const { return missingDrives.count(Drive(path)) != 0; }
    std::wstring ParentKey(const std::wstring& key) const { return Key(ParentPath(key)); }
    void AddParents(const std::wstring& path) {
        std::wstring parent = ParentPath(Trimmed(path));
        if (parent.empty() || IsDrive(parent) || Find(parent)) return;
        AddFolder(parent);
    }

    std::map<std::wstring, Node> nodes_;
};

}  // namespace testing_support
