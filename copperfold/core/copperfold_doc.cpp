#include "copperfold_doc.h"

#include <cstdio>

#include "../../common/core/ini_file.h"
#include "job_binding.h"

namespace {

std::wstring NumberedKey(std::wstring_view prefix, int n) {
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%04d", n);
    return std::wstring(prefix) + digits;
}

JobType TypeFromName(std::wstring_view name) {
    for (size_t i = 0; i < jobTypeNames.size(); ++i) {
        if (jobTypeNames[i] == name) return static_cast<JobType>(i);
    }
    return JobType::Unknown;
}

void WriteJob(CIniFile& ini, std::wstring_view section, int n, const JobRecord& job) {
    ini.WriteString(section, NumberedKey(L"SRC", n), job.source);
    ini.WriteString(section, NumberedKey(L"DST", n), job.target);
    ini.WriteString(section, NumberedKey(L"Type", n), job.TypeName());
    if (job.binding) {
        ini.WriteString(section, NumberedKey(L"DstVol", n), copperfold::VolumeSerialText(job.binding->volumeSerial));
        if (!job.binding->enclosure.empty()) ini.WriteString(section, NumberedKey(L"DstDev", n), job.binding->enclosure);
    }
}

}  // namespace

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
    jobCount = 0;
    jobs.fill(JobRecord{});
    deviceTable = common::DeviceTable{};
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
    }
}

CCopperfoldDoc::AddResult CCopperfoldDoc::AddJob(std::wstring_view source, std::wstring_view target,
                                                 JobType type, std::optional<TargetBinding> binding) {
    if (jobCount >= kMaxJobs) return AddResult::TableFull;
    JobRecord& job = jobs[jobCount];
    job = JobRecord(std::wstring(source), std::wstring(target), type);
    job.binding = std::move(binding);
    ++jobCount;
    CIniFile::Batch batch(*iniFile);
    iniFile->WriteInt(jobSection, L"TASK", jobCount);
    WriteJob(*iniFile, jobSection, jobCount, job);
    batch.Commit();
    return AddResult::Added;
}

void CCopperfoldDoc::SaveAllJobs() {
    CIniFile::Batch batch(*iniFile);
    iniFile->WriteString(jobSection, L"", L"");
    iniFile->WriteInt(jobSection, L"TASK", jobCount);
    for (int n = 1; n <= jobCount; ++n) WriteJob(*iniFile, jobSection, n, jobs[static_cast<size_t>(n - 1)]);
    batch.Commit();
}

std::wstring MakeJobSection(std::wstring_view computerName, std::wstring_view userName) {
    return std::wstring(computerName.substr(0, 256)) + L"-" + std::wstring(userName.substr(0, 256));
}
