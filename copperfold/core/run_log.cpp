#include "run_log.h"

#include <algorithm>
#include <cstdio>

#include "job_binding.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kRecordStart = L"Run ";

std::wstring Seconds(std::uint64_t milliseconds) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%llu.%llu s", static_cast<unsigned long long>(milliseconds / 1000),
                  static_cast<unsigned long long>(milliseconds % 1000 / 100));
    return text;
}

std::wstring_view TriggerText(RunTrigger trigger) {
    switch (trigger) {
    case RunTrigger::Button:
        return L"the enclosure's button";
    case RunTrigger::Execute:
        return L"the Execute command";
    case RunTrigger::CommandLine:
        return L"the command line";
    case RunTrigger::Arrival:
        return L"plugging in its drive";
    case RunTrigger::Schedule:
        return L"a schedule";
    case RunTrigger::VersionsWindow:
        return L"the Kept Versions window";
    }
    return L"?";
}

std::wstring_view ResultText(RunResult result) {
    switch (result) {
    case RunResult::Done:
        return L"done";
    case RunResult::Failed:
        return L"failed";
    case RunResult::Cancelled:
        return L"cancelled";
    }
    return L"?";
}

std::wstring_view OutcomeText(JobOutcome outcome) {
    switch (outcome) {
    case JobOutcome::Done:
        return L"done";
    case JobOutcome::Failed:
        return L"failed";
    case JobOutcome::Refused:
        return L"not run: refused";
    case JobOutcome::Cancelled:
        return L"cancelled";
    case JobOutcome::NotRun:
        return L"not run";
    }
    return L"?";
}

std::wstring Counts(std::uint64_t files, std::uint64_t bytes, std::uint64_t milliseconds) {
    return GroupedNumber(files) + L" files copied, " + GroupedNumber(bytes) + L" bytes, " + Seconds(milliseconds);
}

// Keeps a logged text on its line: line breaks inside it become spaces.
std::wstring OneLine(std::wstring_view text) {
    std::wstring line(text);
    for (wchar_t& c : line) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    while (!line.empty() && line.back() == L' ') line.pop_back();
    return line;
}

}  // namespace

std::wstring FormatRunRecord(const RunLogEntry& entry) {
    std::wstring text = std::wstring(kRecordStart) + entry.startTime + L", started by " +
                        std::wstring(TriggerText(entry.trigger)) + L"\r\n";
    for (size_t i = 0; i < entry.jobs.size(); ++i) {
        const JobRecord& job = entry.jobs[i];
        std::wstring type(job.TypeName());
        type.resize(std::max<size_t>(type.size(), 7), L' ');
        text += L"  " + type + L" " + OneLine(job.source) + L" -> " + OneLine(job.target) + L"\r\n";
        if (!job.movedFrom.empty()) text += std::wstring(type.size() + 3, L' ') + OneLine(MovedTargetText(job)) + L"\r\n";
        if (i < entry.accounts.size()) {
            const JobAccount& account = entry.accounts[i];
            text += std::wstring(type.size() + 3, L' ') + std::wstring(OutcomeText(account.outcome));
            if (account.outcome != JobOutcome::NotRun && account.outcome != JobOutcome::Refused) {
                text += L"; " + Counts(account.files, account.bytes, account.milliseconds);
            }
            text += L"\r\n";
        }
    }
    text += L"  Result: " + std::wstring(ResultText(entry.result)) + L"; " +
            Counts(entry.filesCopied, entry.bytesCopied, entry.milliseconds) + L"\r\n";
    if (!entry.error.empty()) text += L"  Error: " + OneLine(entry.error) + L"\r\n";
    for (const std::wstring& note : entry.notes) text += L"  Note: " + OneLine(note) + L"\r\n";
    return text;
}

std::wstring FormatSkippedRun(std::wstring_view startTime, RunTrigger trigger, std::wstring_view reason) {
    return std::wstring(kRecordStart) + std::wstring(startTime) + L", started by " + std::wstring(TriggerText(trigger)) +
           L": not run, " + OneLine(reason) + L"\r\n";
}

std::wstring GroupedNumber(std::uint64_t value) {
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), 1, L',');
    return digits;
}

std::wstring TrimRunLog(std::wstring_view log, std::size_t keepRecords, std::size_t maxChars) {
    // Where each record starts: at the start of the text or of a line.
    std::vector<size_t> starts;
    for (size_t at = 0; at < log.size();) {
        if (log.substr(at, kRecordStart.size()) == kRecordStart) starts.push_back(at);
        const size_t end = log.find(L'\n', at);
        if (end == std::wstring_view::npos) break;
        at = end + 1;
    }
    size_t kept = 0;
    while (kept < starts.size() && kept < keepRecords) {
        const size_t from = starts[starts.size() - 1 - kept];
        if (kept > 0 && log.size() - from > maxChars) break;
        ++kept;
    }
    if (kept == 0) return {};
    std::wstring trimmed(log.substr(starts[starts.size() - kept]));
    if (trimmed.back() != L'\n') trimmed += L"\r\n";
    return trimmed;
}

std::wstring AppendRunRecord(std::wstring_view existing, std::wstring_view record, std::size_t keep) {
    if (keep == 0) return {};
    return TrimRunLog(existing, keep - 1, std::wstring_view::npos) + std::wstring(record);
}

std::wstring SummarizeProblems(const std::vector<std::wstring>& problems, std::size_t keepInFull) {
    std::wstring summary;
    const size_t shown = std::min(problems.size(), keepInFull);
    for (size_t i = 0; i < shown; ++i) summary += (i == 0 ? L"" : L" | ") + problems[i];
    if (problems.size() > shown) {
        summary += (shown == 0 ? L"" : L" | ") + (L"and " + GroupedNumber(problems.size() - shown) + L" more");
    }
    return summary;
}

}  // namespace copperfold
