#pragma once
// Where Copperfold keeps what it reads and writes. An installed Copperfold never writes its
// program folder: each user's jobs and own settings ("LANG", "EjectAfterButtonRun" and every
// later one) live in that user's file in the profile ("%APPDATA%\Copperfold\Copperfold.ini"),
// in the layout of the program folder's "Copperfold.ini", which keeps the shipped texts and the
// machine-wide defaults (setup merges it). A copy that is not installed (a folder its user owns)
// keeps one file beside the program for both (see copperfold/win32/settings_location.h).
//
// A setting is read from the user's file first, then from the program folder's; it is written
// to the user's file only. Jobs live in the user's file only: CCopperfoldDoc reads and writes
// their keys over UserFile(). Every per-user key goes through one of the two.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "../../common/core/ini_file.h"

namespace copperfold {

class SettingsStore {
public:
    // Both files on one path: a copy that is not installed.
    explicit SettingsStore(std::unique_ptr<CIniFile> sharedFile);
    SettingsStore(std::unique_ptr<CIniFile> userFile, std::unique_ptr<CIniFile> programFile);

    // The file this user's jobs and settings are written to.
    CIniFile& UserFile() { return *user_; }
    const CIniFile& UserFile() const { return *user_; }
    // The program folder's file: the texts of every language and the machine-wide defaults.
    const CIniFile& ProgramFile() const { return program_ ? *program_ : *user_; }
    CIniFile& ProgramFile() { return program_ ? *program_ : *user_; }  // for a reading snapshot
    bool SeparateFiles() const { return program_ != nullptr; }

    // Section "Setting": the user's value, else the machine-wide one, else `fallback`.
    std::wstring Setting(std::wstring_view key, std::wstring_view fallback) const;
    int SettingInt(std::wstring_view key, int fallback) const;
    // Into the user's file; throws CIniFileException.
    void WriteSetting(std::wstring_view key, std::wstring_view value);
    void WriteSettingInt(std::wstring_view key, int value);
    // "LANG", "ENG" when neither file names one.
    std::wstring Language() const;

    // At the first start of a version that keeps jobs in the profile, the user's own section of
    // the program folder's file (where every user's jobs used to be) is copied into the user's
    // file in one replacement, every line of it as it stands; the old file is never changed, so
    // that an older version still reads it. Only a file ordinary users cannot write is trusted:
    // any user could have planted a section there under another user's name.
    enum class TakeOver {
        NotApplicable,     // one file for both, or the old file has no section of this user
        AlreadyOwn,        // the user's file has the section already
        Taken,             // copied now
        OldFileUntrusted,  // the old file has the section, but ordinary users may write that file
    };
    // Throws CIniFileException when the user's file cannot be written.
    TakeOver TakeOverJobSection(std::wstring_view jobSection, bool programFileWritableByOrdinaryUsers);

private:
    std::unique_ptr<CIniFile> user_;
    std::unique_ptr<CIniFile> program_;  // null when it is the user's file
};

// What the user is told when a change of theirs was not written (keys of the language sections;
// the first "%s" is the file, the second the reason).
inline constexpr std::wstring_view kNotSavedText = L"Your change was not saved: the file %s could not be written (%s).";
// `text` (with the two "%s" of kNotSavedText) translated by `translate` and filled with the
// file and the reason, the reason translated too when it is one of the program's own; English
// without `translate`.
using TextTranslator = std::function<std::wstring(std::wstring_view english)>;
std::wstring WriteFailureText(const CIniFileException& error, std::wstring_view text,
                              const TextTranslator& translate = nullptr);

// What the user is told when TakeOverJobSection found the old file untrusted (a key of the
// language sections; "%s" is the old file's path).
inline constexpr std::wstring_view kUntrustedOldJobsText =
    L"Your jobs in %s were not taken over: every user of this computer may change that file, so its jobs cannot be "
    L"trusted. Add your jobs again, or ask an administrator to let only administrators change the file and start "
    L"Copperfold again.";

}  // namespace copperfold
