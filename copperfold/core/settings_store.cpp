#include "settings_store.h"

#include "../../common/core/translate.h"
#include "preflight.h"

namespace copperfold {
namespace {

// A default no settings value can hold (values never contain line breaks).
constexpr std::wstring_view kAbsent = L"\n<absent>";

}  // namespace

SettingsStore::SettingsStore(std::unique_ptr<CIniFile> sharedFile) : user_(std::move(sharedFile)) {}

SettingsStore::SettingsStore(std::unique_ptr<CIniFile> userFile, std::unique_ptr<CIniFile> programFile)
    : user_(std::move(userFile)), program_(std::move(programFile)) {}

std::wstring SettingsStore::Setting(std::wstring_view key, std::wstring_view fallback) const {
    std::wstring value = user_->GetString(common::kSettingSection, key, kAbsent);
    if (value != kAbsent) return value;
    if (program_) return program_->GetString(common::kSettingSection, key, fallback);
    return user_->GetString(common::kSettingSection, key, fallback);
}

int SettingsStore::SettingInt(std::wstring_view key, int fallback) const {
    const std::wstring text = Setting(key, L"");
    return text.empty() ? fallback : ParseProfileInt(text);
}

void SettingsStore::WriteSetting(std::wstring_view key, std::wstring_view value) {
    user_->WriteString(common::kSettingSection, key, value);
}

void SettingsStore::WriteSettingInt(std::wstring_view key, int value) {
    user_->WriteInt(common::kSettingSection, key, value);
}

std::wstring SettingsStore::Language() const { return Setting(common::kLanguageKey, common::kDefaultLanguage); }

SettingsStore::TakeOver SettingsStore::TakeOverJobSection(std::wstring_view jobSection,
                                                          bool programFileWritableByOrdinaryUsers) {
    if (!program_) return TakeOver::NotApplicable;
    if (user_->SectionExists(jobSection)) return TakeOver::AlreadyOwn;
    if (!program_->SectionExists(jobSection)) return TakeOver::NotApplicable;
    if (programFileWritableByOrdinaryUsers) return TakeOver::OldFileUntrusted;
    // False when another start of this user copied it in the meantime.
    return user_->CopySectionFrom(*program_, jobSection) ? TakeOver::Taken : TakeOver::AlreadyOwn;
}

std::wstring WriteFailureText(const CIniFileException& error, std::wstring_view text, const TextTranslator& translate) {
    const auto shown = [&](std::wstring_view english) {
        return translate ? translate(english) : std::wstring(english);
    };
    return FilledText(shown(text), {error.Path(), shown(error.Reason())});
}

}  // namespace copperfold
