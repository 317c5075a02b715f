#include "command_line.h"

#include "../../common/core/case_fold.h"

namespace copperfold {
namespace {

constexpr std::wstring_view kUsage =
    L"Usage: Copperfold.exe [/run [JOB,JOB,...] | /preview [JOB,JOB,...] | /versions JOB |\n"
    L"                       /restore-version JOB source|target \"VERSION\" [\"FILE\"] [/preview]]";

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    return text;
}

CommandLine Invalid(std::wstring message, bool run = false) {
    CommandLine result;
    result.kind = CommandLine::Kind::Invalid;
    result.unattended = run;
    result.error = std::move(message) + L"\n" + std::wstring(kUsage);
    return result;
}

// A job number: decimal digits, 1 .. 255, leading zeros allowed ("0001" as in the job file's keys).
bool ParseJobNumber(std::wstring_view text, int& number) {
    while (text.size() > 1 && text.front() == L'0') text.remove_prefix(1);
    if (text.empty() || text.size() > 3) return false;
    number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        number = number * 10 + (c - L'0');
    }
    return number >= 1 && number <= kMaxJobs;
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
    if (!ParseJobNumber(arguments[0], number)) {
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
    const std::wstring_view rest = end == std::wstring_view::npos ? std::wstring_view() : arguments.substr(end);
    if (common::EqualsIgnoreCase(command, L"/versions")) return ParseVersionCommand(false, rest);
    if (common::EqualsIgnoreCase(command, L"/restore-version")) return ParseVersionCommand(true, rest);
    const bool preview = common::EqualsIgnoreCase(command, L"/preview");
    if (!preview && !common::EqualsIgnoreCase(command, L"/run")) {
        return Invalid(L"Unknown command-line argument: " + std::wstring(command));
    }
    CommandLine result;
    result.kind = preview ? CommandLine::Kind::Preview : CommandLine::Kind::Run;
    result.unattended = true;
    std::wstring_view list = end == std::wstring_view::npos ? std::wstring_view() : Trim(arguments.substr(end));
    while (!list.empty()) {
        const size_t comma = list.find(L',');
        const std::wstring_view item = Trim(list.substr(0, comma));
        int number = 0;
        if (!ParseJobNumber(item, number)) {
            return Invalid(L"Not a job number: \"" + std::wstring(item) + L"\" (jobs are numbered from 1 to 255).", true);
        }
        result.jobNumbers.push_back(number);
        if (comma == std::wstring_view::npos) break;
        list = list.substr(comma + 1);
        if (Trim(list).empty()) return Invalid(L"A job number is missing after the last comma.", true);
    }
    return result;
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
