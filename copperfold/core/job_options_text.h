#pragma once
// A job's options as the window shows and takes them: the job list's text for them, the number
// of days a user types, and the options a dialog's two settings give a job.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "copperfold_doc.h"
#include "settings_store.h"

namespace copperfold {

inline constexpr std::uint32_t kDefaultKeepDays = 30;  // offered when the user first ticks "keep"
inline constexpr std::uint32_t kMaxKeepDays = 9999;    // what the days field takes (27 years)

// "only new and changed files, versions kept 30 days": what a job does beyond its type, for the
// job list, each part translated (keys of the language sections); empty when it does neither. A
// value a newer version wrote, or the quick mode of a Sync (which always compares), shows nothing.
std::wstring JobOptionsText(const JobRecord& job, const TextTranslator& translate = nullptr);

// The number of days in the days field: 1 to kMaxKeepDays, digits only (blanks around them
// allowed); nothing for anything else.
std::optional<std::uint32_t> ParseKeepDays(std::wstring_view text);

// The options of `job` after a dialog that shows "copy only new and changed files" as
// `skipSame` and keeps replaced files for `keepDays` (0: not kept). A Sync keeps its own quick
// mode (it always compares), and a value of a newer version stays as it is while the box says
// what that value means here (off).
JobOptions ChangedOptions(const JobRecord& job, bool skipSame, std::uint32_t keepDays);

}  // namespace copperfold
