#include "translate.h"

#include "ini_file.h"

namespace common {

std::wstring ReadLanguage(const CIniFile& ini) {
    return ini.GetString(kSettingSection, kLanguageKey, kDefaultLanguage);
}

std::wstring Translate(const CIniFile& ini, std::wstring_view language, std::wstring_view english,
                       std::wstring_view fallback) {
    return ini.GetString(language, english, fallback);
}

}  // namespace common
