#include "versions.h"

#include <algorithm>
#include <cstdio>

#include "../../common/core/case_fold.h"
#include "copy_engine.h"
#include "file_times.h"
#include "job_paths.h"
#include "run_log.h"

namespace copperfold {
namespace {

// Reads `count` decimal digits at `at`; false when they are not all digits.
bool Digits(std::wstring_view text, std::size_t at, std::size_t count, unsigned& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - L'0');
    }
    return true;
}

bool Is(std::wstring_view text, std::size_t at, wchar_t c) { return at < text.size() && text[at] == c; }

// A relative path of a file inside a version: names separated by single backslashes, none empty,
// "." or "..", and nothing the system would read as a drive or a root.
bool IsRelativeInside(std::wstring_view path) {
    if (path.empty() || path.find(L':') != std::wstring_view::npos || path.find(L'/') != std::wstring_view::npos) {
        return false;
    }
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const std::wstring_view part = path.substr(start, end - start);
        if (part.empty() || part == L"." || part == L"..") return false;
        start = end + 1;
    }
    return true;
}

// Files and bytes below a folder, links neither followed nor counted.
void CountBelow(FileSystem& files, const std::wstring& folder, VersionFolder& into, int depth = 0) {
    std::vector<FileEntry> entries;
    if (depth > 256 || !files.List(folder, entries)) return;
    for (const FileEntry& entry : entries) {
        if ((entry.attributes & kAttributeReparsePoint) != 0) continue;
        if (entry.IsFolder()) {
            CountBelow(files, JoinPath(folder, entry.name), into, depth + 1);
        } else {
            ++into.files;
            into.bytes += entry.size;
        }
    }
}

// The number a run of the same second adds to its folder's name (" (N)"); 1 without one.
unsigned SequenceOf(std::wstring_view versionFolderName) {
    unsigned sequence = 1;
    if (versionFolderName.size() > 28) Digits(versionFolderName, 27, versionFolderName.size() - 28, sequence);
    return sequence;
}

std::wstring Counted(std::uint64_t count, const wchar_t* one, const wchar_t* many) {
    return GroupedNumber(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

std::wstring VersionFolderName(std::uint64_t utcTime, int offsetMinutes, int sequence) {
    const CivilTime local = CivilFromUnixSeconds(UnixSecondsOf(utcTime) + std::int64_t{offsetMinutes} * 60);
    const int offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    wchar_t text[64];
    std::swprintf(text, 64, L"%04lld-%02u-%02u %02u.%02u.%02u %lc%02d%02d", static_cast<long long>(local.year), local.month,
                  local.day, local.hour, local.minute, local.second, offsetMinutes < 0 ? L'-' : L'+', offset / 60,
                  offset % 60);
    std::wstring name = text;
    if (sequence > 1) name += L" (" + std::to_wstring(sequence) + L")";
    return name;
}

std::optional<std::uint64_t> VersionFolderTime(std::wstring_view name) {
    // "YYYY-MM-DD HH.MM.SS +HHMM", then nothing or " (N)".
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offsetHours = 0, offsetMinutes = 0;
    if (!Digits(name, 0, 4, year) || !Is(name, 4, L'-') || !Digits(name, 5, 2, month) || !Is(name, 7, L'-') ||
        !Digits(name, 8, 2, day) || !Is(name, 10, L' ') || !Digits(name, 11, 2, hour) || !Is(name, 13, L'.') ||
        !Digits(name, 14, 2, minute) || !Is(name, 16, L'.') || !Digits(name, 17, 2, second) || !Is(name, 19, L' ') ||
        !(Is(name, 20, L'+') || Is(name, 20, L'-')) || !Digits(name, 21, 2, offsetHours) ||
        !Digits(name, 23, 2, offsetMinutes)) {
        return std::nullopt;
    }
    if (name.size() > 25) {
        const std::wstring_view rest = name.substr(25);
        unsigned sequence = 0;
        if (rest.size() < 4 || rest.substr(0, 2) != L" (" || rest.back() != L')' ||
            !Digits(rest, 2, rest.size() - 3, sequence) || sequence < 2) {
            return std::nullopt;
        }
    }
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59 ||
        offsetHours > 14 || offsetMinutes > 59) {
        return std::nullopt;
    }
    const std::int64_t offset = (std::int64_t{offsetHours} * 60 + offsetMinutes) * (name[20] == L'-' ? -1 : 1);
    return FileTimeOfUnixSeconds(UnixSecondsFromCivil({year, month, day, hour, minute, second}) - offset * 60);
}

bool IsVersionStore(const FileEntry& entry) {
    return entry.IsFolder() && (entry.attributes & kAttributeReparsePoint) == 0 &&
           common::EqualsIgnoreCase(entry.name, kVersionStoreName);
}

std::wstring VersionStorePath(std::wstring_view jobFolder) { return JoinPath(jobFolder, kVersionStoreName); }

std::vector<SideFolder> SidesWrittenTo(const JobRecord& job) {
    switch (job.type) {
    case JobType::Backup:
        return {{JobSide::Target, AdjustedBackupTarget(job.source, job.target)}};
    case JobType::Restore:
        return {{JobSide::Source, job.source}};
    case JobType::Sync:
        return {{JobSide::Source, job.source}, {JobSide::Target, job.target}};
    default:
        return {};
    }
}

std::wstring_view SideName(JobSide side) { return side == JobSide::Source ? L"source" : L"target"; }

std::vector<SideVersions> ListVersions(FileSystem& files, const JobRecord& job) {
    std::vector<SideVersions> sides;
    for (const SideFolder& side : SidesWrittenTo(job)) {
        SideVersions& listed = sides.emplace_back();
        listed.side = side.side;
        listed.store = VersionStorePath(side.folder);
        FileEntry store;
        std::vector<FileEntry> entries;
        if (!files.LookUp(listed.store, store) || !IsVersionStore(store) || !files.List(listed.store, entries)) continue;
        for (const FileEntry& entry : entries) {
            const std::optional<std::uint64_t> time = VersionFolderTime(entry.name);
            if (!time || !entry.IsFolder() || (entry.attributes & kAttributeReparsePoint) != 0) continue;
            VersionFolder& version = listed.versions.emplace_back();
            version.name = entry.name;
            version.time = *time;
            CountBelow(files, JoinPath(listed.store, entry.name), version);
        }
        std::sort(listed.versions.begin(), listed.versions.end(), [](const VersionFolder& a, const VersionFolder& b) {
            // Runs of one second in the order they ran: " (10)" after " (9)".
            if (a.time != b.time) return a.time < b.time;
            const unsigned first = SequenceOf(a.name), second = SequenceOf(b.name);
            return first != second ? first < second : a.name < b.name;
        });
    }
    return sides;
}

std::vector<std::wstring> ExpiredVersionFolders(const std::vector<FileEntry>& storeEntries, std::uint64_t now,
                                                std::uint32_t keepDays) {
    std::vector<std::wstring> expired;
    // Days that reach back before the clock's start keep everything (and days * units would not
    // fit 64 bits for the largest stored numbers).
    if (keepDays == 0 || keepDays >= now / kFileTimeUnitsPerDay) return expired;
    const std::uint64_t kept = std::uint64_t{keepDays} * kFileTimeUnitsPerDay;
    for (const FileEntry& entry : storeEntries) {
        if (!entry.IsFolder() || (entry.attributes & kAttributeReparsePoint) != 0) continue;
        const std::optional<std::uint64_t> time = VersionFolderTime(entry.name);
        if (time && *time < now - kept) expired.push_back(entry.name);
    }
    return expired;
}

JobRefusal MakeVersionRestore(const JobRecord& job, JobSide side, std::wstring_view version, std::wstring_view file,
                              JobRecord& restore) {
    const std::vector<SideFolder> sides = SidesWrittenTo(job);
    const auto written = std::find_if(sides.begin(), sides.end(), [&](const SideFolder& s) { return s.side == side; });
    if (written == sides.end()) return {kNoSuchSideText, {}};
    if (!VersionFolderTime(version)) return {kNotAVersionText, {std::wstring(version)}};
    if (!file.empty() && !IsRelativeInside(file)) return {kBadVersionFileText, {std::wstring(file)}};
    restore = JobRecord(written->folder, JoinPath(VersionStorePath(written->folder), version), JobType::Restore);
    restore.versionRestore = VersionRestore{std::wstring(file)};
    // Made from the job as it runs now (its drive looked up where it is): why that must not run
    // holds for the restore too. It has no binding of its own to be looked up by again.
    restore.runRefusal = job.runRefusal;
    return {};
}

std::optional<std::wstring> PathInVersion(std::wstring_view versionFolder, std::wstring_view path) {
    const std::wstring folder = ComparablePath(versionFolder) + L"\\";
    const std::wstring inside = ComparablePath(path);
    if (inside.size() <= folder.size() || inside.compare(0, folder.size(), folder) != 0) return std::nullopt;
    // Both forms end alike: the comparable one only drops a prefix and a trailing separator, and
    // folds case one character for one.
    std::wstring_view tail = path;
    while (!tail.empty() && (tail.back() == L'\\' || tail.back() == L'/')) tail.remove_suffix(1);
    const std::size_t length = inside.size() - folder.size();
    if (length > tail.size()) return std::nullopt;
    std::wstring file(tail.substr(tail.size() - length));
    std::replace(file.begin(), file.end(), L'/', L'\\');
    if (!IsRelativeInside(file)) return std::nullopt;
    return file;
}

std::wstring_view VersionRestoreRefusal(const JobRecord& restore) {
    if (!restore.versionRestore || restore.type != JobType::Restore) return kNotARestoreText;
    const std::wstring_view target = restore.target;
    const std::size_t slash = target.rfind(L'\\');
    const std::wstring_view version = slash == std::wstring_view::npos ? target : target.substr(slash + 1);
    if (!VersionFolderTime(version) ||
        ComparablePath(target) != ComparablePath(JoinPath(VersionStorePath(restore.source), version))) {
        return kNotARestoreText;
    }
    const std::wstring& file = restore.versionRestore->file;
    if (!file.empty() && !IsRelativeInside(file)) return kNotARestoreText;
    return {};
}

std::wstring FormatVersions(const JobRecord& job, int number, const std::vector<SideVersions>& sides) {
    std::wstring text = L"Job " + std::to_wstring(number) + L": " + std::wstring(job.TypeName()) + L" " + job.source +
                        L" -> " + job.target;
    text += job.options.keepDays > 0 ? L" (replaced files kept for " + Counted(job.options.keepDays, L"day", L"days") + L")\n"
                                     : std::wstring(L" (replaced files are not kept)\n");
    for (const SideVersions& side : sides) {
        text += L"  " + std::wstring(SideName(side.side)) + L" side: " + side.store + L"\n";
        if (side.versions.empty()) text += L"    no versions\n";
        for (const VersionFolder& version : side.versions) {
            text += L"    " + version.name + L": " + Counted(version.files, L"file", L"files") + L", " +
                    Counted(version.bytes, L"byte", L"bytes") + L"\n";
        }
    }
    return text;
}

}  // namespace copperfold
