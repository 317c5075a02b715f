#include "run_log.h"

#include <algorithm>
#include <cstdio>

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

std::wstring GroupedNumber(std::uint64_t value) {
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), 1, L',');
    return digits;
}

std::wstring AppendRunRecord(std::wstring_view existing, std::wstring_view record, std::size_t keep) {
    // Where each record of the existing log starts: at the start of the text or of a line.
    std::vector<size_t> starts;
    for (size_t at = 0; at < existing.size();) {
        if (existing.substr(at, kRecordStart.size()) == kRecordStart) starts.push_back(at);
        const size_t end = existing.find(L'\n', at);
        if (end == std::wstring_view::npos) break;
        at = end + 1;
    }
    std::wstring log;
    if (keep > 0) {
        const size_t kept = std::min(starts.size(), keep - 1);
        if (kept > 0) log.assign(existing.substr(starts[starts.size() - kept]));
        if (!log.empty() && log.back() != L'\n') log += L"\r\n";
        log += record;
    }
    return log;
}

}  // namespace copperfold
