#include "copperfold_doc.h"

#include <algorithm>
#include <cstdio>

#include "../../common/core/ini_file.h"
#include "job_binding.h"

namespace {

std::wstring NumberedKey(std::wstring_view prefix, int n) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%04d", n);
    return std::wstring(prefix) + digits;
}

// "0x0001" as WriteInt writes it, or "1" as a person would.
bool IsOn(std::wstring_view value) { return value == L"1" || (value.size() > 2 && ParseProfileInt(value) == 1); }

JobType TypeFromName(std::wstring_view name) {
    for (size_t i = 0; i < jobTypeNames.size(); ++i) {
        if (jobTypeNames[i] == name) return static_cast<JobType>(i);
    }
    return JobType::Unknown;
}

// A stored number: "0x" and hexadecimal digits as integers are written, or decimal digits (as a
// hand edit writes them); read up to the first other character, 0 when there is none. Values too
// large for 32 bits stay at the largest: wrapped round, a number of days could become a small one.
std::uint32_t ParseStoredNumber(std::wstring_view text) {
    const bool hex = text.size() >= 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    if (hex) text.remove_prefix(2);
    const std::uint64_t base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        std::uint64_t digit = 0;
        if (c >= L'0' && c <= L'9') {
            digit = static_cast<std::uint64_t>(c - L'0');
        } else if (hex && c >= L'a' && c <= L'f') {
            digit = static_cast<std::uint64_t>(c - L'a' + 10);
        } else if (hex && c >= L'A' && c <= L'F') {
            digit = static_cast<std::uint64_t>(c - L'A' + 10);
        } else {
            break;
        }
        value = std::min<std::uint64_t>(value * base + digit, 0xFFFF'FFFFull);
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

bool IsOneOf(const JobRecord& job, const JobKeys& keys) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const auto& key) { return job.source == key.first && job.target == key.second; });
}

std::wstring_view JobRecord::TypeName() const {
    const auto index = static_cast<std::int32_t>(type);
    if (index >= 0 && index < static_cast<std::int32_t>(jobTypeNames.size())) return jobTypeNames[index];
    return unknownTypeName;
}

CCopperfoldDoc::CCopperfoldDoc(CIniFile* file, std::wstring section)
    : iniFile(file), jobSection(std::move(section)) {
    LoadJobs();
}

void CCopperfoldDoc::LoadJobs() {
    deviceTable = common::DeviceTable{};
    ReadJobs();
}

void CCopperfoldDoc::ReadJobs() {
    jobCount = 0;
    jobs.fill(JobRecord{});
    CIniFile::Batch snapshot(*iniFile);
    jobFileReadable = iniFile->Readable();
    if (!iniFile->SectionExists(jobSection)) return;
    jobCount = static_cast<std::uint8_t>(iniFile->GetInt(jobSection, L"TASK", 0) & 0xFF);
    for (int n = 1; n <= jobCount; ++n) {
        JobRecord& job = jobs[static_cast<size_t>(n - 1)];
        job.source = iniFile->GetString(jobSection, NumberedKey(L"SRC", n), L"");
        job.target = iniFile->GetString(jobSection, NumberedKey(L"DST", n), L"");
        const std::wstring typeName = iniFile->GetString(jobSection, NumberedKey(L"TYPE", n), L"");
        job.type = TypeFromName(typeName);
        if (job.type == JobType::Unknown) job.unknownTypeName = typeName;
        if (const auto serial = copperfold::ParseVolumeSerial(iniFile->GetString(jobSection, NumberedKey(L"DstVol", n), L""))) {
            job.binding = TargetBinding{*serial, iniFile->GetString(jobSection, NumberedKey(L"DstDev", n), L"")};
        }
        job.options.skipSame = ParseStoredNumber(iniFile->GetString(jobSection, NumberedKey(L"SkipSame", n), L""));
        job.options.keepDays = ParseStoredNumber(iniFile->GetString(jobSection, NumberedKey(L"KeepDays", n), L""));
        job.runOnArrival = IsOn(iniFile->GetString(jobSection, NumberedKey(L"OnArrival", n), L""));
        job.schedules = iniFile->GetString(jobSection, NumberedKey(L"Schedule", n), L"");
    }
}

void CCopperfoldDoc::WriteJob(int n) {
    const JobRecord& job = jobs[static_cast<size_t>(n - 1)];
    CIniFile& ini = *iniFile;
    ini.WriteString(jobSection, NumberedKey(L"SRC", n), job.source);
    ini.WriteString(jobSection, NumberedKey(L"DST", n), job.target);
    ini.WriteString(jobSection, NumberedKey(L"Type", n), job.TypeName());
    if (job.binding) {
        ini.WriteString(jobSection, NumberedKey(L"DstVol", n), copperfold::VolumeSerialText(job.binding->volumeSerial));
        if (!job.binding->enclosure.empty()) {
            ini.WriteString(jobSection, NumberedKey(L"DstDev", n), job.binding->enclosure);
        }
    }
    const auto number = [](std::uint32_t value) {
        return value != 0 ? FormatProfileInt(static_cast<int>(value)) : std::wstring();
    };
    WriteOptionalKey(NumberedKey(L"SkipSame", n), number(job.options.skipSame));
    WriteOptionalKey(NumberedKey(L"KeepDays", n), number(job.options.keepDays));
    WriteOptionalKey(NumberedKey(L"OnArrival", n), job.runOnArrival ? FormatProfileInt(1) : std::wstring());
    WriteOptionalKey(NumberedKey(L"Schedule", n), job.schedules);
}

void CCopperfoldDoc::WriteOptionalKey(const std::wstring& key, const std::wstring& value) {
    // A job without the setting carries no key; one that had it gets it emptied, not left stale.
    if (value.empty() && iniFile->GetString(jobSection, key, L"").empty()) return;
    iniFile->WriteString(jobSection, key, value);
}

void CCopperfoldDoc::ModifyJobs(const std::function<bool(CCopperfoldDoc&)>& change) {
    try {
        CIniFile::Batch batch(*iniFile, CIniFile::Purpose::ForUpdate);
        ReadJobs();
        if (!change(*this)) return;
        batch.Commit();
    } catch (const CIniFileException&) {
        ReadJobs();  // the table shows what the file holds, not what was not saved
        throw;
    }
}

CCopperfoldDoc::AddResult CCopperfoldDoc::AddJob(std::wstring_view source, std::wstring_view target,
                                                 JobType type, std::optional<TargetBinding> binding) {
    JobRecord job(std::wstring(source), std::wstring(target), type);
    job.binding = std::move(binding);
    return AddJob(job);
}

CCopperfoldDoc::AddResult CCopperfoldDoc::AddJob(const JobRecord& added) {
    AddResult result = AddResult::Added;
    ModifyJobs([&](CCopperfoldDoc& doc) {
        if (doc.jobCount >= kMaxJobs) {
            result = AddResult::TableFull;
            return false;
        }
        JobRecord& job = doc.jobs[doc.jobCount];
        job = JobRecord(added.source, added.target, added.type, added.unknownTypeName);
        job.binding = added.binding;
        job.options = added.options;
        ++doc.jobCount;
        doc.iniFile->WriteInt(doc.jobSection, L"TASK", doc.jobCount);
        doc.WriteJob(doc.jobCount);
        return true;
    });
    return result;
}

bool CCopperfoldDoc::RemoveJobs(const JobKeys& sourceAndTarget,
                                const std::function<void(const CCopperfoldDoc& before)>& beforeRemoval) {
    bool removed = false;
    ModifyJobs([&](CCopperfoldDoc& doc) {
        if (beforeRemoval) beforeRemoval(doc);
        int kept = 0;
        for (int n = 0; n < doc.jobCount; ++n) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n)];
            if (IsOneOf(job, sourceAndTarget)) continue;
            if (kept != n) doc.jobs[static_cast<size_t>(kept)] = std::move(job);
            ++kept;
        }
        removed = kept != doc.jobCount;
        for (int n = kept; n < doc.jobCount; ++n) doc.jobs[static_cast<size_t>(n)] = JobRecord{};
        doc.jobCount = static_cast<std::uint8_t>(kept);
        if (removed) doc.SaveAllJobs();
        return removed;
    });
    return removed;
}

bool CCopperfoldDoc::SetJobOptions(std::wstring_view source, std::wstring_view target, const JobOptions& options) {
    return SetJobOptions({{std::wstring(source), std::wstring(target)}}, [&](const JobRecord&) { return options; }) > 0;
}

int CCopperfoldDoc::SetJobOptions(const JobKeys& sourceAndTarget,
                                  const std::function<JobOptions(const JobRecord&)>& change) {
    int found = 0;
    ModifyJobs([&](CCopperfoldDoc& doc) {
        found = 0;
        for (int n = 0; n < doc.jobCount; ++n) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n)];
            if (!IsOneOf(job, sourceAndTarget)) continue;
            ++found;
            job.options = change(job);
        }
        if (found > 0) doc.SaveAllJobs();  // an option switched off loses its key
        return found > 0;
    });
    return found;
}

int CCopperfoldDoc::SetRunOnArrival(const JobKeys& sourceAndTarget, bool on) {
    int changed = 0;
    ModifyJobs([&](CCopperfoldDoc& doc) {
        changed = 0;
        for (int n = 0; n < doc.jobCount; ++n) {
            JobRecord& job = doc.jobs[static_cast<size_t>(n)];
            if (!IsOneOf(job, sourceAndTarget) || !job.binding || job.runOnArrival == on) continue;
            job.runOnArrival = on;
            doc.WriteJob(n + 1);
            ++changed;
        }
        return changed > 0;
    });
    return changed;
}

void CCopperfoldDoc::SaveAllJobs() {
    CIniFile::Batch batch(*iniFile, CIniFile::Purpose::ForUpdate);
    iniFile->WriteString(jobSection, L"", L"");
    iniFile->WriteInt(jobSection, L"TASK", jobCount);
    for (int n = 1; n <= jobCount; ++n) WriteJob(n);
    batch.Commit();
}

std::wstring MakeJobSection(std::wstring_view computerName, std::wstring_view userName) {
    return std::wstring(computerName.substr(0, 256)) + L"-" + std::wstring(userName.substr(0, 256));
}
