#pragma once
// What a run could not do besides a failed copy or a refused job, and what it left alone on
// purpose: English texts with "%s" for their arguments (FilledText), translated where shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace copperfold {

struct RunProblem {
    std::wstring_view text;
    std::vector<std::wstring> arguments;
    std::uint32_t error = 0;  // the system error behind it, shown after the text; 0 for none
    bool failure = true;      // counts as a failure of the run; false: a note for the run log
};

// Failures: what a walk could not read or copy.
inline constexpr std::wstring_view kFolderUnreadableText = L"The folder %s could not be opened, so nothing was copied into it or out of it.";
inline constexpr std::wstring_view kFileUnreadableText = L"The file %s could not be read, so it was not copied.";
inline constexpr std::wstring_view kNameRefusedText =
    L"%s was not copied: its name has a character that Windows does not allow in names, such as ? * or |.";
inline constexpr std::wstring_view kNamesDifferInCaseText =
    L"The names %s in the folder %s differ only in case, and Windows takes them for one name: none of them was "
    L"copied.";
inline constexpr std::wstring_view kDriveWentAwayText =
    L"Drive %s went away during this job, so the job was stopped: %s of the %s files it was to copy were not copied.";
inline constexpr std::wstring_view kChangedWhileCopiedText =
    L"%s changed while it was being copied (another program was writing it), so its copy was not kept and %s was "
    L"left as it was. The next run copies it again.";
inline constexpr std::wstring_view kNoPlaceToKeepText =
    L"%s was not replaced: this job keeps the files it replaces in %s, and that folder could not be made there (a "
    L"file or a link may bear its name).";
// A job refusal: a drive of the job is not there when the job is to start.
inline constexpr std::wstring_view kDriveNotThereText =
    L"The folder %s cannot be reached: the drive %s is not there. The job was not run.";

// Notes: pairs a Sync leaves as they are.
inline constexpr std::wstring_view kFutureTimeText =
    L"%s is dated in the future, so it and %s were left as they are: neither can be taken for the newer file.";
// Notes: a folder a walk does not go into.
inline constexpr std::wstring_view kLeadsBackText =
    L"The folder %s was not copied: it leads back to %s, which holds it, so its copy would never end.";
// Notes: the kept versions a job's run removed at its start, or could not remove.
inline constexpr std::wstring_view kVersionsRemovedText =
    L"The kept versions in %s were older than %s days and were removed.";
inline constexpr std::wstring_view kVersionsNotRemovedText =
    L"The kept versions in %s are older than %s days, but not all of them could be removed.";
inline constexpr std::wstring_view kHiddenNamesakeText =
    L"%s was left as it is: %s has its name but is hidden, and a Sync never copies or compares hidden files.";

}  // namespace copperfold
