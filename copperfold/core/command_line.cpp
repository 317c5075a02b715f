#include "command_line.h"

#include <algorithm>

#include "../../common/core/case_fold.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kUsage =
    L"Usage: Copperfold.exe [/tray | /run [JOB,JOB,...] | /preview [JOB,JOB,...] | /versions JOB |\n"
    L"                       /restore-version JOB source|target \"VERSION\" [\"FILE\"] [/preview] |\n"
    L"                       /schedule JOB,JOB,... (daily HH:MM | weekly DAY,DAY,... HH:MM | off) | /schedules]";

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    return text;
}

CommandLine Invalid(std::wstring message, bool unattended = false) {
    CommandLine result;
    result.kind = CommandLine::Kind::Invalid;
    result.unattended = unattended;
    result.error = std::move(message) + L"\n" + std::wstring(kUsage);
    return result;
}

// Decimal digits, 1 .. `largest`, leading zeros allowed ("0001" as in the job file's keys).
bool ParseNumber(std::wstring_view text, int largest, int& number) {
    while (text.size() > 1 && text.front() == L'0') text.remove_prefix(1);
    if (text.empty() || text.size() > 3) return false;
    number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + (c - L'0');
    }
    return number >= 1 && number <= largest;
}

// "2,5" (blanks around the commas allowed) into `numbers`; the English reason when it is not one.
std::optional<std::wstring> ParseJobList(std::wstring_view list, std::vector<int>& numbers) {
    list = Trim(list);
    while (!list.empty()) {
        const size_t comma = list.find(L',');
        const std::wstring_view item = Trim(list.substr(0, comma));
        int number = 0;
        if (!ParseNumber(item, kMaxJobs, number)) {
            return L"Not a job number: \"" + std::wstring(item) + L"\" (jobs are numbered from 1 to 255).";
        }
        numbers.push_back(number);
        if (comma == std::wstring_view::npos) break;
        list = list.substr(comma + 1);
        if (Trim(list).empty()) return std::wstring(L"A job number is missing after the last comma.");
    }
    return std::nullopt;
}

// Where `word` begins in `text` as a word of its own (case ignored); npos when it does not.
size_t FindWord(std::wstring_view text, std::wstring_view word) {
    for (size_t at = 0; at + word.size() <= text.size(); ++at) {
        const bool starts = at == 0 || text[at - 1] == L' ' || text[at - 1] == L'\t';
        const bool ends = at + word.size() == text.size() || text[at + word.size()] == L' ' ||
                          text[at + word.size()] == L'\t';
        if (starts && ends && common::EqualsIgnoreCase(text.substr(at, word.size()), word)) return at;
    }
    return std::wstring_view::npos;
}

// "/run LIST [/scheduled ID]" and "/preview LIST" after their command word.
CommandLine ParseRun(CommandLine::Kind kind, std::wstring_view rest) {
    CommandLine result;
    result.kind = kind;
    result.unattended = true;
    if (kind == CommandLine::Kind::Run) {
        if (const size_t at = FindWord(rest, L"/scheduled"); at != std::wstring_view::npos) {
            const std::wstring_view number = Trim(rest.substr(at + std::wstring_view(L"/scheduled").size()));
            if (!ParseNumber(number, kMaxScheduleId, result.scheduleId)) {
                return Invalid(L"Not a schedule number: \"" + std::wstring(number) + L"\".", true);
            }
            rest = rest.substr(0, at);
        }
    }
    if (const auto problem = ParseJobList(rest, result.jobNumbers)) return Invalid(*problem, true);
    return result;
}

// "/schedule LIST (daily HH:MM | weekly DAYS HH:MM | off)" after its command word.
CommandLine ParseSchedule(std::wstring_view rest) {
    CommandLine result;
    result.kind = CommandLine::Kind::Schedule;
    result.unattended = true;
    // The list ends where the first word that is no number begins.
    size_t when = std::wstring_view::npos;
    for (const std::wstring_view word : {L"daily", L"weekly", L"off"}) when = std::min(when, FindWord(rest, word));
    if (when == std::wstring_view::npos) {
        return Invalid(L"Say when: \"daily 20:00\", \"weekly Mon,Thu 20:00\" or \"off\".", true);
    }
    if (const auto problem = ParseJobList(rest.substr(0, when), result.jobNumbers)) return Invalid(*problem, true);
    if (result.jobNumbers.empty()) return Invalid(L"Name the jobs to schedule: \"/schedule 2,5 daily 20:00\".", true);
    const std::wstring_view time = Trim(rest.substr(when));
    if (common::EqualsIgnoreCase(time, L"off")) return result;
    result.scheduleTime = ParseScheduleTime(time);
    if (!result.scheduleTime) {
        return Invalid(L"Not a time to schedule: \"" + std::wstring(time) +
                           L"\" (for example \"daily 20:00\" or \"weekly Mon,Thu 20:00\").",
                       true);
    }
    return result;
}

// The arguments after the command: separated by blanks, grouped by double quotes (which are not
// part of them). False when a quote is not closed.
bool SplitArguments(std::wstring_view text, std::vector<std::wstring>& arguments) {
    std::wstring current;
    bool quoted = false, any = false;
    for (const wchar_t c : text) {
        if (c == L'"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == L' ' || c == L'\t')) {
            if (any) arguments.push_back(std::move(current));
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any) arguments.push_back(std::move(current));
    return !quoted;
}

// "/versions JOB" and "/restore-version JOB SIDE VERSION [FILE] [/preview]".
CommandLine ParseVersionCommand(bool restore, std::wstring_view rest) {
    std::vector<std::wstring> arguments;
    if (!SplitArguments(rest, arguments)) return Invalid(L"A double quote is not closed.", true);
    CommandLine result;
    result.kind = restore ? CommandLine::Kind::RestoreVersion : CommandLine::Kind::Versions;
    result.unattended = true;
    if (restore && !arguments.empty() && common::EqualsIgnoreCase(arguments.back(), L"/preview")) {
        result.preview = true;
        arguments.pop_back();
    }
    const std::size_t least = restore ? 3 : 1;
    const std::size_t most = restore ? 4 : 1;
    if (arguments.size() < least || arguments.size() > most) {
        return Invalid(restore ? L"/restore-version takes a job number, source or target, a version and maybe a file."
                               : L"/versions takes one job number.",
                       true);
    }
    int number = 0;
    if (!ParseNumber(arguments[0], kMaxJobs, number)) {
        return Invalid(L"Not a job number: \"" + arguments[0] + L"\" (jobs are numbered from 1 to 255).", true);
    }
    result.jobNumbers = {number};
    if (!restore) return result;
    if (!common::EqualsIgnoreCase(arguments[1], L"source") && !common::EqualsIgnoreCase(arguments[1], L"target")) {
        return Invalid(L"The side is \"source\" or \"target\", not \"" + arguments[1] + L"\".", true);
    }
    result.targetSide = common::EqualsIgnoreCase(arguments[1], L"target");
    result.version = arguments[2];
    if (arguments.size() == 4) result.file = arguments[3];
    return result;
}

}  // namespace

CommandLine ParseCommandLine(std::wstring_view arguments) {
    arguments = Trim(arguments);
    if (arguments.empty()) return {};
    const size_t end = arguments.find_first_of(L" \t");
    const std::wstring_view command = arguments.substr(0, end);
    const std::wstring_view rest = end == std::wstring_view::npos ? std::wstring_view() : Trim(arguments.substr(end));
    const auto is = [&](std::wstring_view name) { return common::EqualsIgnoreCase(command, name); };
    if (is(L"/versions")) return ParseVersionCommand(false, rest);
    if (is(L"/restore-version")) return ParseVersionCommand(true, rest);
    if (is(L"/run")) return ParseRun(CommandLine::Kind::Run, rest);
    if (is(L"/preview")) return ParseRun(CommandLine::Kind::Preview, rest);
    if (is(L"/schedule")) return ParseSchedule(rest);
    if (is(L"/schedules") || is(L"/tray")) {
        if (!rest.empty()) return Invalid(L"Unexpected after " + std::wstring(command) + L": " + std::wstring(rest), true);
        CommandLine result;
        result.kind = is(L"/tray") ? CommandLine::Kind::Interactive : CommandLine::Kind::ListSchedules;
        result.startInTray = is(L"/tray");
        result.unattended = !result.startInTray;
        return result;
    }
    return Invalid(L"Unknown command-line argument: " + std::wstring(command));
}

bool SelectJobs(const CCopperfoldDoc& doc, const std::vector<int>& jobNumbers, JobBatch& batch, std::wstring& error) {
    batch.count = 0;
    if (jobNumbers.empty()) {
        for (int n = 0; n < doc.jobCount; ++n) batch.entries[batch.count++] = doc.jobs[static_cast<size_t>(n)];
        return true;
    }
    if (jobNumbers.size() > batch.entries.size() - 1) {
        error = L"Too many job numbers.";
        return false;
    }
    for (int number : jobNumbers) {
        if (number > doc.jobCount) {
            error = L"There is no job " + std::to_wstring(number) + L": the job file holds " +
                    std::to_wstring(doc.jobCount) + L" job(s) for this user.";
            batch.count = 0;
            return false;
        }
        batch.entries[batch.count++] = doc.jobs[static_cast<size_t>(number - 1)];
    }
    return true;
}

}  // namespace copperfold
