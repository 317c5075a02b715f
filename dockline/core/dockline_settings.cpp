#include "dockline_settings.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/core/ini_file.h"
#include "common/core/translate.h"

namespace dockline {

namespace {

std::wstring NumberedKey(std::wstring_view name, int number) {
    return std::wstring(name) + std::to_wstring(number);
}

}  // namespace

std::wstring DocklineSettings::Language() const { return common::ReadLanguage(ini_); }

int DocklineSettings::SlotCount() const {
    const int count = ini_.GetInt(common::kSettingSection, L"BUTTONS", 0);
    return std::clamp(count, 0, kMaxSlots);
}

std::wstring DocklineSettings::SlotImage(int slot) const {
    return ini_.GetString(common::kSettingSection, NumberedKey(L"BUTTON", slot), L"");
}

std::wstring DocklineSettings::Tip(int slot) const {
    return ini_.GetString(common::kSettingSection, NumberedKey(L"TIP", slot), L"");
}

std::wstring DocklineSettings::Command(int slot) const { return CommandByKey(NumberedKey(L"CMD", slot)); }

std::wstring DocklineSettings::CommandByKey(std::wstring_view key) const {
    return ini_.GetString(common::kSettingSection, key, L"");
}

std::vector<std::wstring> DocklineSettings::CommandWindowTitles() const {
    std::vector<std::wstring> titles;
    const int count = SlotCount();
    for (int slot = kFirstButtonSlot; slot <= count; ++slot) {
        if (auto title = WindowTitleOfCommand(Command(slot))) titles.push_back(std::move(*title));
    }
    return titles;
}

std::optional<std::wstring> WindowTitleOfCommand(std::wstring_view command) {
    const std::size_t dot = command.rfind(L'.');
    // Without a name before the dot the title would be empty, and an empty title is the title
    // of every untitled window of every program.
    if (dot == std::wstring_view::npos || dot == 0) return std::nullopt;
    return std::wstring(command.substr(0, dot));
}

std::wstring ProgramDirectory(std::wstring_view programPath) {
    const std::size_t slash = programPath.rfind(L'\\');
    if (slash == std::wstring_view::npos) return {};
    return std::wstring(programPath.substr(0, slash + 1));
}

std::optional<std::wstring> JoinCommandPath(std::wstring_view directory, std::wstring_view value) {
    if (directory.size() + value.size() >= kPathBufferChars) return std::nullopt;
    std::wstring path(directory);
    path += value;
    return path;
}

bool HasStartHiddenSwitch(std::wstring_view commandLine) {
    return commandLine.find(L"/a") != std::wstring_view::npos;
}

std::wstring_view LaunchErrorText(std::intptr_t result) {
    static constexpr std::array<std::pair<std::intptr_t, std::wstring_view>, 13> kTexts = {{
        {0, L"The operating system is out of memory or resources."},
        {2, L"The specified file was not found."},
        {3, L"The specified path was not found."},
        {5, L"The operating system denied access to the specified file."},
        {8, L"There was not enough memory to complete the operation."},
        {11, L"The .exe file is invalid (non-Microsoft Win32 .exe or error in .exe image)."},
        {26, L"A sharing violation occurred."},
        {27, L"The file name association is incomplete or invalid."},
        {28, L"The DDE transaction could not be completed because the request timed out."},
        {29, L"The DDE transaction failed."},
        {30, L"The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE transactions "
             L"were being processed."},
        {31, L"There is no application associated with the given file name extension. This error will also be "
             L"returned if you attempt to print a file that is not printable."},
        {32, L"The specified DLL was not found."},
    }};
    for (const auto& [code, text] : kTexts) {
        if (code == result) return text;
    }
    return {};
}

}  // namespace dockline
