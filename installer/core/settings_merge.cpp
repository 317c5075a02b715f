#include "settings_merge.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "common/core/case_fold.h"

namespace installer {
namespace {

// A default no settings value can hold (values never contain line breaks).
constexpr std::wstring_view kAbsent = L"\n<absent>";

bool ContainsIgnoringCase(const std::vector<std::wstring>& names, std::wstring_view name) {
    return std::any_of(names.begin(), names.end(),
                       [name](const std::wstring& each) { return common::EqualsIgnoreCase(each, name); });
}

// A non-owning handle on the caller's access object, for the CIniFile that works through it.
std::shared_ptr<common::IniFileAccess> Borrow(common::IniFileAccess& access) {
    return std::shared_ptr<common::IniFileAccess>(&access, [](common::IniFileAccess*) {});
}

}  // namespace

MergeOutcome MergeShippedSettings(const common::IniDocument& shipped, CIniFile& installed) {
    MergeOutcome outcome;
    if (!installed.Readable()) {
        outcome.error = L"The settings file " + installed.Path() +
                        L" exists but could not be read; it was left as it was.";
        return outcome;
    }
    try {
        CIniFile::Batch batch(installed, CIniFile::Purpose::ForUpdate);
        for (const std::wstring& section : shipped.SectionNames()) {
            const bool keepUserValues = common::EqualsIgnoreCase(section, kSettingSection);
            std::vector<std::wstring> presentKeys;
            if (keepUserValues) installed.GetKeys(section, presentKeys);
            for (const std::wstring& key : shipped.KeyNames(section)) {
                if (keepUserValues && ContainsIgnoringCase(presentKeys, key)) continue;
                const std::wstring value(shipped.FindValue(section, key).value_or(L""));
                const std::wstring before = installed.GetString(section, key, kAbsent);
                installed.WriteString(section, key, value);
                if (before != installed.GetString(section, key, kAbsent)) ++outcome.entriesWritten;
            }
        }
        batch.Commit();
    } catch (const CIniFileException& error) {
        outcome.error = L"The settings file " + installed.Path() + L" could not be written (" + error.Reason() +
                        L"); it was left as it was.";
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

MergeOutcome InstallSettingsFile(common::IniFileAccess& access, const std::wstring& shippedPath,
                                 const std::wstring& installedPath) {
    MergeOutcome outcome;
    const common::FileBytes shippedBytes = access.Read(shippedPath);
    if (shippedBytes.status != common::FileBytes::Status::Ok) {
        outcome.error = L"The shipped settings file " + shippedPath + L" could not be read.";
        return outcome;
    }
    const common::FileBytes present = access.Read(installedPath);
    if (present.status == common::FileBytes::Status::Missing) {
        std::wstring failure;
        if (!access.ReplaceAtomically(installedPath, shippedBytes.bytes, failure)) {
            outcome.error = L"The settings file " + installedPath + L" could not be written: " + failure + L".";
            return outcome;
        }
        outcome.ok = true;
        return outcome;
    }
    const common::IniDocument shipped =
        common::IniDocument::Parse(common::DecodeText(shippedBytes.bytes, access.SystemCodePage()).text);
    CIniFile installed(installedPath, Borrow(access));
    return MergeShippedSettings(shipped, installed);
}

}  // namespace installer
