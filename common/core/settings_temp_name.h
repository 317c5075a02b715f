#pragma once
// Names of the temporary files a settings-file write goes through: the settings file's name,
// ".~", the writing process's id, ".", a counter of that process, ".tmp" (for example
// "Copperfold.ini.~4242.0.tmp"), in the settings file's folder. A write that crashes leaves one
// behind; the next write recognises it by its name and removes it once its owner has ended.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

std::wstring SettingsTempPath(std::wstring_view settingsPath, std::uint32_t processId, std::uint32_t counter);

// The id of the process that wrote `name`, when `name` is such a temporary file of the settings
// file called `settingsName` (compared without regard to case); nothing for any other name.
std::optional<std::uint32_t> SettingsTempOwner(std::wstring_view name, std::wstring_view settingsName);

// The settings file's name: `path` after its last '\' or '/'.
std::wstring_view FileNameOf(std::wstring_view path);

}  // namespace common
