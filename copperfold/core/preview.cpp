#include "preview.h"

#include <algorithm>
#include <cwctype>

#include "dry_run_file_system.h"
#include "job_binding.h"
#include "preflight.h"
#include "run_log.h"

namespace copperfold {
namespace {

// Tells the dry run which job the engine is at, and notes why one is refused; shows nothing.
class PreviewObserver final : public RunObserver {
public:
    PreviewObserver(std::vector<JobPreview>& previews, DryRunFileSystem& dryRun) : jobs(previews), files(dryRun) {}
    void SetPathLines(const std::wstring&, const std::wstring&) override {}
    void SetProgress(int) override {}
    void ShowCopyError(std::uint32_t, const std::wstring&, const std::wstring&) override {}
    void ShowJobRefused(const JobRecord&, const JobRefusal& refusal) override {
        if (current < jobs.size()) jobs[current].refusal = FilledText(refusal.text, refusal.arguments);
    }
    // The engine does not go into a folder it cannot open; one that a file is in the way of is a
    // clash the dry run did not see made.
    void ShowRunProblem(const RunProblem& problem) override {
        if (problem.error == kErrorNotAFolder && !problem.arguments.empty()) files.NoteFileInTheWay(problem.arguments[0]);
    }
    void EstimatePhase(bool) override {}
    void CopyPhase(bool) override {}
    void JobStarted(const JobRecord&) override {
        current = started++;
        files.StartJob(current);
    }
    void TotalKnown(std::uint64_t) override {}

private:
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

std::wstring Totals(std::uint64_t folders, std::uint64_t files, std::uint64_t bytes, std::uint64_t failures) {
    std::wstring totals = Counted(folders, L"folder", L"folders") + L", " + Counted(files, L"file", L"files") + L", " +
                          Counted(bytes, L"byte", L"bytes");
    if (failures > 0) {
        totals += L", " + Counted(failures, L"place where the run will fail", L"places where the run will fail");
    }
    return totals;
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
        for (const DryRunFileSystem::Folder& folder : dryRun.Folders()) {
            if (folder.job == i) preview.entries.push_back({PreviewEntry::Kind::Folder, spelt(folder.path), 0});
        }
        for (const DryRunFileSystem::Copy& copy : dryRun.Copies()) {
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
        for (const DryRunFileSystem::Clash& clash : dryRun.Clashes()) {
            if (clash.job != i) continue;
            const auto kind = clash.fileThere ? PreviewEntry::Kind::FileInTheWay : PreviewEntry::Kind::FolderInTheWay;
            preview.entries.push_back({kind, spelt(clash.path), 0});
            ++preview.failures;
        }
        // Folders, then files, then the places where the run will fail; each in name order.
        const auto group = [](PreviewEntry::Kind kind) {
            if (kind == PreviewEntry::Kind::Folder) return 0;
            return kind == PreviewEntry::Kind::FileInTheWay || kind == PreviewEntry::Kind::FolderInTheWay ? 2 : 1;
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
    std::uint64_t folders = 0, files = 0, bytes = 0, failures = 0;
    for (const JobPreview& preview : jobs) {
        const JobRecord& job = preview.job;
        text += L"Job " + std::to_wstring(preview.number) + L": " + std::wstring(job.TypeName()) + L" " + job.source +
                L" -> " + job.target + L"\n";
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
            text += entry.path + L" (" + Counted(entry.size, L"byte", L"bytes") + L")\n";
        }
        text += L"  " + Totals(jobFolders, preview.files, preview.bytes, preview.failures) + L"\n";
        folders += jobFolders;
        files += preview.files;
        bytes += preview.bytes;
        failures += preview.failures;
    }
    text += L"Total: " + Totals(folders, files, bytes, failures) + L"\n";
    return text;
}

}  // namespace copperfold
