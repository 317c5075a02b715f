#include "drive_tree_text.h"

#include <array>
#include <cstdio>

namespace copperfold {

std::wstring FormatFileSize(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_wstring(bytes);
    static constexpr std::array<wchar_t, 4> units = {L'K', L'M', L'G', L'T'};
    float amount = static_cast<float>(bytes) / 1024.0f;
    std::size_t unit = 0;
    while (amount >= 1000.0f && unit + 1 < units.size()) {
        amount /= 1024.0f;
        ++unit;
    }
    wchar_t text[64];
    std::swprintf(text, std::size(text), L"%4.1f%lc", static_cast<double>(amount), static_cast<wint_t>(units[unit]));
    return text;
}

std::wstring FormatFileDate(const CalendarTime& local) {
    wchar_t text[64];
    std::swprintf(text, std::size(text), L"%4d/%2d/%2d %2d:%2d:%2d", local.year, local.month, local.day, local.hour,
                  local.minute, local.second);
    return text;
}

std::vector<std::wstring> WidestSizeTexts(wchar_t digit) {
    std::vector<std::wstring> texts;
    for (const wchar_t unit : {L'K', L'M', L'G', L'T'}) texts.push_back(std::wstring(4, digit) + L'.' + digit + unit);
    return texts;
}

std::wstring WidestDateText(wchar_t digit) {
    const auto places = [digit](std::size_t count) { return std::wstring(count, digit); };
    return places(4) + L'/' + places(2) + L'/' + places(2) + L' ' + places(2) + L':' + places(2) + L':' + places(2);
}

std::wstring JoinItemPath(const std::vector<std::wstring>& textsFromRoot) {
    std::wstring path;
    for (std::size_t i = 0; i < textsFromRoot.size(); ++i) {
        if (i > 0 && (path.empty() || path.back() != L'\\')) path += L'\\';
        path += textsFromRoot[i];
    }
    return path;
}

std::wstring DriveRoot(int letterIndex) {
    return std::wstring{static_cast<wchar_t>(L'A' + letterIndex), L':', L'\\'};
}

}  // namespace copperfold
