// Times the job store on the platform's file system: saving and loading a full table of 255
// jobs in a job file that also holds two language sections. Prints figures; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/core/ini_file.h"
#include "copperfold/core/copperfold_doc.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* what, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    std::printf("%-44s min %7.2f ms   median %7.2f ms   max %7.2f ms   (%zu runs)\n", what, samples.front(),
                samples[samples.size() / 2], samples.back(), samples.size());
}

template <typename Work>
std::vector<double> Time(int runs, Work work) {
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        samples.push_back(Milliseconds(Clock::now() - start));
    }
    return samples;
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"copperfold-bench-" + std::to_wstring(::GetCurrentProcessId()) + L".ini";
    ::DeleteFileW(path.c_str());

    CIniFile ini(path);
    {
        CIniFile::Batch batch(ini);
        ini.WriteString(L"Setting", L"LANG", L"ENG");
        for (const wchar_t* language : {L"ENG", L"DEU"}) {
            for (int i = 0; i < 60; ++i) {
                ini.WriteString(language, L"User interface text number " + std::to_wstring(i),
                                L"Translated user interface text number " + std::to_wstring(i));
            }
        }
        batch.Commit();
    }

    CCopperfoldDoc doc(&ini, L"BENCH-PC-someone");
    for (int n = 0; n < kMaxJobs; ++n) {
        doc.jobs[static_cast<size_t>(n)] = JobRecord{
            L"C:\\Users\\someone\\Documents\\Projects\\Folder number " + std::to_wstring(n) + L"\\Sources",
            L"E:\\Backups\\Documents\\Projects\\Folder number " + std::to_wstring(n), static_cast<JobType>(n % 3), {}};
    }
    doc.jobCount = kMaxJobs;

    const int runs = 25;
    Report("SaveAllJobs, 255 jobs", Time(runs, [&] { doc.SaveAllJobs(); }));
    Report("LoadJobs, 255 jobs", Time(runs, [&] { doc.LoadJobs(); }));
    Report("AddJob onto 254 jobs", Time(runs, [&] {
        doc.jobCount = kMaxJobs - 1;
        doc.AddJob(L"C:\\New", L"E:\\New", JobType::Backup);
    }));

    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    std::printf("job file size: %lu bytes\n", data.nFileSizeLow);
    ::DeleteFileW(path.c_str());
    return 0;
}
