#include "run_log_file.h"

#include <cwchar>
#include <filesystem>
#include <utility>

#include "common/core/text_codec.h"
#include "common/win32/unique_handle.h"

namespace copperfold {
namespace {

constexpr wchar_t kRunLogMutexName[] = L"TOVI Copperfold Run Log";

std::wstring LocalTimeText() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                  now.wSecond);
    return text;
}

std::wstring SystemText(DWORD error) {
    wchar_t text[512] = {};
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = ::FormatMessageW(flags, nullptr, error, 0, text, 512, nullptr);
    while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ')) --length;
    std::wstring result(text, length);
    return result.empty() ? L"error " + std::to_wstring(error) : result;
}

std::string ReadAll(const std::wstring& path) {
    win32::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + L".new";
    {
        win32::UniqueFile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size()) {
            return false;
        }
    }
    return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

constexpr char kBom[] = "\xEF\xBB\xBF";

// Rewrites the log with its newest records (the rare case: the file has grown too large).
void TrimLog(const std::wstring& path) {
    std::string bytes = ReadAll(path);
    if (bytes.starts_with(kBom)) bytes.erase(0, 3);
    const auto text = common::WideToUtf8(TrimRunLog(common::Utf8ToWide(bytes), kRunLogKeptRuns, kRunLogKeptBytes));
    if (!text || !WriteAll(path, kBom + *text)) {
        ::OutputDebugStringW((L"Copperfold: the run log " + path + L" could not be trimmed\n").c_str());
    }
}

void AppendToLog(const std::wstring& record) {
    const std::wstring path = RunLogPath();
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    // Runs of two Copperfold processes (a window and /run) append one after the other.
    win32::UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, kRunLogMutexName));
    const DWORD waited = mutex ? ::WaitForSingleObject(mutex.get(), 10000) : WAIT_FAILED;
    const bool owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    LARGE_INTEGER size{};
    bool appended = false;
    if (const auto text = common::WideToUtf8(record)) {
        win32::UniqueFile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file && ::GetFileSizeEx(file.get(), &size)) {
            const std::string bytes = (size.QuadPart == 0 ? std::string(kBom) : std::string()) + *text;
            DWORD written = 0;
            appended = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
            size.QuadPart += written;
        }
    }
    if (!appended) ::OutputDebugStringW((L"Copperfold: the run log " + path + L" could not be written\n").c_str());
    if (appended && static_cast<std::uint64_t>(size.QuadPart) > kRunLogTrimBytes) TrimLog(path);
    if (owned) ::ReleaseMutex(mutex.get());
}

}  // namespace

void AppendRunLogText(const std::wstring& text) { AppendToLog(text); }

std::wstring RunLogPath() {
    wchar_t base[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(base) + L"\\Copperfold\\RunLog.txt";
}

RunLogSession::RunLogSession(RunTrigger trigger, const JobBatch& batch)
    : journal(batch.count, [] { return static_cast<std::uint64_t>(::GetTickCount64()); }) {
    entry.startTime = LocalTimeText();
    entry.trigger = trigger;
    entry.jobs.assign(batch.entries.begin(), batch.entries.begin() + batch.count);
    started = ::GetTickCount64();
}

RunLogEntry RunLogSession::Finish(const RunCounters& counters) {
    entry.milliseconds = ::GetTickCount64() - started;
    entry.filesCopied = journal.FilesCopied();
    entry.bytesCopied = journal.BytesCopied();
    switch (RunOutcomeCode(counters)) {
    case 0:
        entry.result = RunResult::Done;
        break;
    case 2:
        entry.result = RunResult::Cancelled;
        break;
    default:
        entry.result = RunResult::Failed;
        break;
    }
    entry.accounts = journal.Accounts(entry.result == RunResult::Cancelled);
    const auto& failure = recording.FirstFailure();
    if (const std::vector<std::wstring>& problems = journal.Problems(); !problems.empty()) {
        entry.error = SummarizeProblems(problems);
    } else if (failure.error != 0) {
        entry.error = SystemText(failure.error) + L" (" + failure.from + L" -> " + failure.to + L")";
    } else if (const int refused = counters.jobsRefused.load(); refused > 0) {
        entry.error = std::to_wstring(refused) + (refused == 1 ? L" job was refused" : L" jobs were refused");
    }
    entry.notes = journal.Notes();
    for (std::wstring& note : platform.VolumeNotes()) entry.notes.push_back(std::move(note));
    AppendToLog(FormatRunRecord(entry));
    return entry;
}

RunLogEntry RunLogSession::Refuse(const std::wstring& reason) {
    entry.milliseconds = ::GetTickCount64() - started;
    entry.result = RunResult::Failed;
    entry.error = reason;
    AppendToLog(FormatRunRecord(entry));
    return entry;
}

void RunLogSession::Skip(const std::wstring& reason) {
    AppendToLog(FormatSkippedRun(entry.startTime, entry.trigger, reason));
}

}  // namespace copperfold
