#include "preview.h"

#include <algorithm>
#include <cwctype>
#include <set>

#include "forwarding_file_system.h"
#include "job_binding.h"
#include "preflight.h"
#include "run_log.h"

namespace copperfold {
namespace {

// Answers the engine as the real file system does, except that it writes nothing: folders it
// is asked to make exist from then on (empty), copies are only noted.
class DryRunFileSystem final : public ForwardingFileSystem {
public:
    // `currentJob`: the index of the job the engine is at, kept up by the observer.
    DryRunFileSystem(FileSystem& inner, const std::size_t& currentJob)
        : ForwardingFileSystem(inner), real(inner), job(currentJob) {}

    struct Copy {
        std::size_t job = 0;
        std::wstring from, to;
        std::uint64_t size = 0;
        bool replaced = false;  // `to` existed
    };
    struct Folder {
        std::size_t job = 0;
        std::wstring path;
    };
    std::vector<Folder> folders;
    std::vector<Copy> copies;

    bool List(const std::wstring& folder, std::vector<FileEntry>& entries) override {
        if (made.count(folder)) {
            entries.clear();
            return true;
        }
        return real.List(folder, entries);
    }
    bool Exists(const std::wstring& path) override { return made.count(path) || real.Exists(path); }
    bool LookUp(const std::wstring& path, FileEntry& entry) override {
        if (made.count(path)) {
            entry = FileEntry{path.substr(path.find_last_of(L'\\') + 1), kAttributeDirectory, 0, 0};
            return true;
        }
        return real.LookUp(path, entry);
    }
    bool CreateFolder(const std::wstring& path) override {
        if (Exists(path)) return false;
        made.insert(path);
        folders.push_back({job, path});
        return true;
    }
    bool SetAttributes(const std::wstring&, std::uint32_t) override { return true; }
    void RemovePartialCopy(const std::wstring&) override {}
    std::uint32_t CopyWithProgress(const std::wstring& from, const std::wstring& to, const CopyProgress& progress,
                                   const std::atomic<int>&) override {
        FileEntry source;
        const std::uint64_t size = real.LookUp(from, source) ? source.size : 0;
        FileEntry existing;
        copies.push_back({job, from, to, size, real.LookUp(to, existing)});
        if (progress) {
            progress(size, 0, CopyProgressReason::StreamSwitch);
            progress(size, size, CopyProgressReason::ChunkFinished);
        }
        return 0;
    }
    int CopyConcurrency() const override { return 1; }

private:
    FileSystem& real;
    const std::size_t& job;
    std::set<std::wstring> made;
};

// Notes which job the engine is at and why one is refused; shows nothing.
class PreviewObserver final : public RunObserver {
public:
    explicit PreviewObserver(std::vector<JobPreview>& previews) : jobs(previews) {}
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal& refusal) override {
        if (current < jobs.size()) jobs[current].refusal = FilledText(refusal.text, refusal.arguments);
    }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override { current = started++; }
    void TotalKnown(std::uint64_t) override {}

    std::size_t current = static_cast<std::size_t>(-1);  // the job the engine is at

private:
    std::vector<JobPreview>& jobs;
    std::size_t started = 0;
};

// `path` below `folder` (both in the system's full-path form), told in the job's spelling.
bool Below(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() < folder.size()) return false;
    if (!std::equal(folder.begin(), folder.end(), path.begin(),
                    [](wchar_t a, wchar_t b) { return std::towupper(a) == std::towupper(b); })) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == L'\\' || path[folder.size()] == L'\\';
}

std::wstring Counted(std::uint64_t count, const wchar_t* one, const wchar_t* many) {
    return GroupedNumber(count) + L" " + (count == 1 ? one : many);
}

std::wstring Totals(std::uint64_t folders, std::uint64_t files, std::uint64_t bytes) {
    return Counted(folders, L"folder", L"folders") + L", " + Counted(files, L"file", L"files") + L", " +
           Counted(bytes, L"byte", L"bytes");
}

}  // namespace

std::vector<JobPreview> PreviewBatch(FileSystem& files, const JobBatch& batch) {
    std::vector<JobPreview> previews(batch.count);
    for (std::size_t i = 0; i < batch.count; ++i) previews[i].job = batch.entries[i];
    PreviewObserver observer(previews);
    DryRunFileSystem dryRun(files, observer.current);
    RunCounters counters;
    CopyEngine engine(dryRun, observer, counters);
    engine.SetOnCopyFailure(CopyEngine::OnCopyFailure::GoOn);

    engine.RunJobs(batch, std::chrono::milliseconds(0));
    for (std::size_t i = 0; i < previews.size(); ++i) {
        JobPreview& preview = previews[i];
        if (!preview.refusal.empty()) continue;
        const JobRecord& job = preview.job;
        const std::wstring source = files.FullPath(job.source);
        const std::wstring target = files.FullPath(job.target);
        // Each path told in the job's own spelling of the side it lies on.
        const auto spelt = [&](const std::wstring& path) {
            if (Below(path, target)) return job.target + path.substr(std::min(target.size(), path.size()));
            if (Below(path, source)) return job.source + path.substr(std::min(source.size(), path.size()));
            return path;
        };
        for (const DryRunFileSystem::Folder& folder : dryRun.folders) {
            if (folder.job == i) preview.entries.push_back({PreviewEntry::Kind::Folder, spelt(folder.path), 0});
        }
        for (const DryRunFileSystem::Copy& copy : dryRun.copies) {
            if (copy.job != i) continue;
            PreviewEntry::Kind kind = PreviewEntry::Kind::ToTarget;
            if (!Below(copy.to, target)) {
                kind = job.type == JobType::Sync && !copy.replaced ? PreviewEntry::Kind::CopiedBack
                                                                    : PreviewEntry::Kind::ToSource;
            }
            preview.entries.push_back({kind, spelt(copy.to), copy.size});
            ++preview.files;
            preview.bytes += copy.size;
        }
        std::stable_sort(preview.entries.begin(), preview.entries.end(), [](const PreviewEntry& a, const PreviewEntry& b) {
            const bool aFolder = a.kind == PreviewEntry::Kind::Folder, bFolder = b.kind == PreviewEntry::Kind::Folder;
            if (aFolder != bFolder) return aFolder;
            return a.path < b.path;
        });
    }
    return previews;
}

std::wstring FormatPreview(const std::vector<JobPreview>& jobs) {
    std::wstring text;
    std::uint64_t folders = 0, files = 0, bytes = 0;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const JobPreview& preview = jobs[i];
        const JobRecord& job = preview.job;
        text += L"Job " + std::to_wstring(i + 1) + L": " + std::wstring(job.TypeName()) + L" " + job.source + L" -> " +
                job.target + L"\n";
        if (!job.movedFrom.empty()) text += L"  " + MovedTargetText(job) + L"\n";
        if (!preview.refusal.empty()) {
            text += L"  refused: " + preview.refusal + L"\n";
            continue;
        }
        std::uint64_t jobFolders = 0;
        for (const PreviewEntry& entry : preview.entries) {
            switch (entry.kind) {
            case PreviewEntry::Kind::Folder:
                text += L"  folder " + entry.path + L"\n";
                ++jobFolders;
                continue;
            case PreviewEntry::Kind::ToTarget:
                text += L"  \u2192 ";
                break;
            case PreviewEntry::Kind::ToSource:
                text += L"  \u2190 ";
                break;
            case PreviewEntry::Kind::CopiedBack:
                text += L"  + ";
                break;
            }
            text += entry.path + L" (" + Counted(entry.size, L"byte", L"bytes") + L")\n";
        }
        text += L"  " + Totals(jobFolders, preview.files, preview.bytes) + L"\n";
        folders += jobFolders;
        files += preview.files;
        bytes += preview.bytes;
    }
    text += L"Total: " + Totals(folders, files, bytes) + L"\n";
    return text;
}

}  // namespace copperfold
