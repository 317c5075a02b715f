#include "settings_temp_name.h"

#include "case_fold.h"

namespace common {
namespace {

// Decimal digits without a sign or leading zeros, up to 2^32 - 1.
std::optional<std::uint32_t> ParseDecimal(std::wstring_view digits) {
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits.front() == L'0')) return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::wstring_view FileNameOf(std::wstring_view path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring_view::npos ? path : path.substr(separator + 1);
}

std::wstring SettingsTempPath(std::wstring_view settingsPath, std::uint32_t processId, std::uint32_t counter) {
    return std::wstring(settingsPath) + L".~" + std::to_wstring(processId) + L"." + std::to_wstring(counter) + L".tmp";
}

std::optional<std::uint32_t> SettingsTempOwner(std::wstring_view name, std::wstring_view settingsName) {
    constexpr std::wstring_view kMarker = L".~";
    constexpr std::wstring_view kSuffix = L".tmp";
    if (settingsName.empty() || name.size() <= settingsName.size() + kMarker.size() + kSuffix.size()) {
        return std::nullopt;
    }
    if (!EqualsIgnoreCase(name.substr(0, settingsName.size()), settingsName)) return std::nullopt;
    name.remove_prefix(settingsName.size());
    if (name.substr(0, kMarker.size()) != kMarker) return std::nullopt;
    name.remove_prefix(kMarker.size());
    if (!EqualsIgnoreCase(name.substr(name.size() - kSuffix.size()), kSuffix)) return std::nullopt;
    name.remove_suffix(kSuffix.size());
    const std::size_t dot = name.find(L'.');
    if (dot == std::wstring_view::npos || !ParseDecimal(name.substr(dot + 1))) return std::nullopt;
    return ParseDecimal(name.substr(0, dot));
}

}  // namespace common
