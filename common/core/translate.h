#pragma once
// Every user-visible English text is a key into the language section of the settings file
// named by "LANG" in section "Setting"; the value found there is what is shown.

#include <string>
#include <string_view>

class CIniFile;

namespace common {

inline constexpr std::wstring_view kSettingSection = L"Setting";
inline constexpr std::wstring_view kLanguageKey = L"LANG";
inline constexpr std::wstring_view kDefaultLanguage = L"ENG";

// The value of "LANG" in section "Setting", "ENG" when missing.
std::wstring ReadLanguage(const CIniFile& ini);

// The text stored under key `english` in section `language`, or `fallback` when missing.
std::wstring Translate(const CIniFile& ini, std::wstring_view language, std::wstring_view english,
                       std::wstring_view fallback);

}  // namespace common
