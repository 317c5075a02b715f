#include "job_options_text.h"

#include "preflight.h"

namespace copperfold {

namespace {

std::wstring Translated(const TextTranslator& translate, std::wstring_view english) {
    return translate ? translate(english) : std::wstring(english);
}

}  // namespace

std::wstring JobOptionsText(const JobRecord& job, const TextTranslator& translate) {
    std::wstring text;
    if (job.SkipsSame()) text = Translated(translate, L"only new and changed files");
    if (job.options.keepDays > 0) {
        if (!text.empty()) text += L", ";
        text += job.options.keepDays == 1
                    ? Translated(translate, L"versions kept 1 day")
                    : FilledText(Translated(translate, L"versions kept %s days"), {std::to_wstring(job.options.keepDays)});
    }
    return text;
}

std::optional<std::uint32_t> ParseKeepDays(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::uint32_t days = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        days = days * 10 + static_cast<std::uint32_t>(c - L'0');
        if (days > kMaxKeepDays) return std::nullopt;  // before it could overflow
    }
    if (days == 0) return std::nullopt;
    return days;
}

JobOptions ChangedOptions(const JobRecord& job, bool skipSame, std::uint32_t keepDays) {
    JobOptions changed = job.options;
    if (job.type != JobType::Sync && (job.options.skipSame == 1) != skipSame) changed.skipSame = skipSame ? 1 : 0;
    changed.keepDays = keepDays;
    return changed;
}

}  // namespace copperfold
