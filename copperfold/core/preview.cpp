#include "preview.h"

#include <algorithm>
#include <cwctype>

#include "dry_run_file_system.h"
#include "job_binding.h"
#include "preflight.h"
#include "run_log.h"
#include "versions.h"

namespace copperfold {
namespace {

// Tells the dry run which job the engine is at, and notes what the engine tells of each job: why
// it is refused, what it cannot read or copy, the pairs a Sync leaves alone, the files a job that
// copies only new and changed files compares. Shows nothing.
class PreviewObserver final : public RunObserver {
public:
    PreviewObserver(std::vector<JobPreview>& previews, DryRunFileSystem& dryRun) : jobs(previews), files(dryRun) {}
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal& refusal) override {
        if (current < jobs.size()) jobs[current].refusal = FilledText(refusal.text, refusal.arguments);
    }
    void ShowRunProblem(const RunProblem& problem) override {
        // The engine does not go into a folder it cannot open; one that a file is in the way of is
        // a clash the dry run did not see made. Removed versions have lines of their own.
        if (problem.error == kErrorNotAFolder && !problem.arguments.empty()) {
            files.NoteFileInTheWay(problem.arguments[0]);
            return;
        }
        if (current >= jobs.size() || problem.text == kVersionsRemovedText) return;
        std::wstring line = FilledText(problem.text, problem.arguments);
        if (problem.error != 0) line += L" (system error " + std::to_wstring(problem.error) + L")";
        (problem.failure ? jobs[current].problems : jobs[current].notes).push_back(std::move(line));
    }
    void FileCompared(const std::wstring&, const std::wstring&) override {
        if (current < jobs.size() && jobs[current].job.SkipsSame()) ++jobs[current].unchanged;
    }
    void EstimateStarted(std::size_t index) override { At(index); }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override { At(started++); }
    void TotalKnown(std::uint64_t) override {}

private:
    void At(std::size_t index) {
        current = index;
        files.StartJob(index);
    }

    std::vector<JobPreview>& jobs;
    DryRunFileSystem& files;
    std::size_t current = static_cast<std::size_t>(-1);  // the job the engine is at
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

struct Sums {
    std::uint64_t folders = 0, files = 0, bytes = 0, kept = 0, unchanged = 0, failures = 0;
};

std::wstring Totals(const Sums& sums) {
    const std::uint64_t failures = sums.failures;
    std::wstring totals = Counted(sums.folders, L"folder", L"folders") + L", " + Counted(sums.files, L"file", L"files") +
                          L", " + Counted(sums.bytes, L"byte", L"bytes");
    if (sums.kept > 0) totals += L", " + Counted(sums.kept, L"kept as a version", L"kept as versions");
    if (sums.unchanged > 0) totals += L", " + GroupedNumber(sums.unchanged) + L" unchanged";
    if (failures > 0) {
        totals += L", " + Counted(failures, L"place where the run will fail", L"places where the run will fail");
    }
    return totals;
}

// Whether `path` lies in the version store of one of `folders` (in the system's full-path form).
bool InVersionStore(const std::wstring& path, const std::vector<SideFolder>& folders) {
    return std::any_of(folders.begin(), folders.end(),
                       [&](const SideFolder& side) { return Below(path, VersionStorePath(side.folder)); });
}

}  // namespace

std::vector<JobPreview> PreviewBatch(FileSystem& files, const JobBatch& batch, const std::vector<int>& jobNumbers) {
    std::vector<JobPreview> previews(batch.count);
    for (std::size_t i = 0; i < batch.count; ++i) {
        previews[i].job = batch.entries[i];
        previews[i].number = i < jobNumbers.size() ? jobNumbers[i] : static_cast<int>(i + 1);
    }
    DryRunFileSystem dryRun(files);
    PreviewObserver observer(previews, dryRun);
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
        // The job's version stores are no files of the job: what goes there shows on the copies.
        JobRecord full = job;
        full.source = source;
        full.target = target;
        std::vector<SideFolder> sides = SidesWrittenTo(full);
        if (job.versionRestore) sides = {{JobSide::Source, source}};
        for (const DryRunFileSystem::Removal& removal : dryRun.Removals()) {
            if (removal.job == i) preview.entries.push_back({PreviewEntry::Kind::RemovedVersions, spelt(removal.path), 0});
        }
        for (const DryRunFileSystem::Folder& folder : dryRun.Folders()) {
            if (folder.job != i || InVersionStore(folder.path, sides)) continue;
            preview.entries.push_back({PreviewEntry::Kind::Folder, spelt(folder.path), 0});
        }
        for (const DryRunFileSystem::Copy& copy : dryRun.Copies()) {
            if (copy.job != i) continue;
            PreviewEntry::Kind kind = PreviewEntry::Kind::ToTarget;
            if (job.versionRestore || !Below(copy.to, target)) {
                kind = job.type == JobType::Sync && !copy.replaced ? PreviewEntry::Kind::CopiedBack
                                                                    : PreviewEntry::Kind::ToSource;
            }
            preview.entries.push_back({kind, spelt(copy.to), copy.size, copy.kept});
            ++preview.files;
            preview.bytes += copy.size;
            preview.kept += copy.kept ? 1 : 0;
        }
        for (const DryRunFileSystem::Clash& clash : dryRun.Clashes()) {
            if (clash.job != i) continue;
            const auto kind = clash.fileThere ? PreviewEntry::Kind::FileInTheWay : PreviewEntry::Kind::FolderInTheWay;
            preview.entries.push_back({kind, spelt(clash.path), 0});
            ++preview.failures;
        }
        std::sort(preview.problems.begin(), preview.problems.end());
        std::sort(preview.notes.begin(), preview.notes.end());
        preview.failures += preview.problems.size();
        // Removed versions, folders, files, then the places where the run will fail; each in name order.
        const auto group = [](PreviewEntry::Kind kind) {
            if (kind == PreviewEntry::Kind::RemovedVersions) return 0;
            if (kind == PreviewEntry::Kind::Folder) return 1;
            return kind == PreviewEntry::Kind::FileInTheWay || kind == PreviewEntry::Kind::FolderInTheWay ? 3 : 2;
        };
        std::stable_sort(preview.entries.begin(), preview.entries.end(), [&](const PreviewEntry& a, const PreviewEntry& b) {
            if (group(a.kind) != group(b.kind)) return group(a.kind) < group(b.kind);
            return a.path < b.path;
        });
    }
    return previews;
}

std::wstring FormatPreview(const std::vector<JobPreview>& jobs) {
    std::wstring text;
    Sums all;
    for (const JobPreview& preview : jobs) {
        const JobRecord& job = preview.job;
        text += L"Job " + std::to_wstring(preview.number) + L": " + std::wstring(job.TypeName()) + L" " + job.source +
                L" -> " + job.target + L"\n";
        if (!job.movedFrom.empty()) text += L"  " + MovedTargetText(job) + L"\n";
        if (!preview.refusal.empty()) {
            text += L"  refused: " + preview.refusal + L"\n";
            continue;
        }
        Sums sums{0, preview.files, preview.bytes, preview.kept, preview.unchanged, preview.failures};
        for (const PreviewEntry& entry : preview.entries) {
            switch (entry.kind) {
            case PreviewEntry::Kind::Folder:
                text += L"  folder " + entry.path + L"\n";
                ++sums.folders;
                continue;
            case PreviewEntry::Kind::RemovedVersions:
                text += L"  - " + entry.path + L" (kept versions older than " + std::to_wstring(job.options.keepDays) +
                        L" days)\n";
                continue;
            case PreviewEntry::Kind::FileInTheWay:
                text += L"  ! " + entry.path + L": a file where the other side has a folder; the run will fail here\n";
                continue;
            case PreviewEntry::Kind::FolderInTheWay:
                text += L"  ! " + entry.path + L": a folder where the other side has a file; the run will fail here\n";
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
            text += entry.path + L" (" + Counted(entry.size, L"byte", L"bytes") +
                    (entry.kept ? L"; the file it replaces is kept as a version)\n" : L")\n");
        }
        for (const std::wstring& problem : preview.problems) text += L"  ! " + problem + L"\n";
        for (const std::wstring& note : preview.notes) text += L"  note: " + note + L"\n";
        text += L"  " + Totals(sums) + L"\n";
        all.folders += sums.folders;
        all.files += sums.files;
        all.bytes += sums.bytes;
        all.kept += sums.kept;
        all.unchanged += sums.unchanged;
        all.failures += sums.failures;
    }
    text += L"Total: " + Totals(all) + L"\n";
    return text;
}

}  // namespace copperfold
