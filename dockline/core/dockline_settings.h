#pragma once
// What Dockline's settings file (Dockline.ini, beside the program, never written) means: the
// number of bar slots, each slot's image, tooltip and command, and the language. Also the
// small rules around commands: the window title a command's program is found by, the path the
// shell is asked to open, the start-hidden switch and the texts of failed launches.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CIniFile;

namespace dockline {

inline constexpr int kMaxSlots = 7;              // the picture slot and six buttons
inline constexpr int kFirstButtonSlot = 2;
inline constexpr std::size_t kPathBufferChars = 260;  // the platform's path limit, NUL included
inline constexpr wchar_t kSettingsFileName[] = L"Dockline.ini";
inline constexpr wchar_t kButtonCommandKey[] = L"CMD2";  // also what the enclosure's button starts

class DocklineSettings {
public:
    explicit DocklineSettings(const CIniFile& ini) : ini_(ini) {}

    std::wstring Language() const;
    // "BUTTONS" as the profile reads integers ("0x" and hexadecimal digits); a value above the
    // bar's seven slots counts as seven, a negative one as none.
    int SlotCount() const;
    std::wstring SlotImage(int slot) const;   // "BUTTON%d"
    std::wstring Tip(int slot) const;         // "TIP%d"
    std::wstring Command(int slot) const;     // "CMD%d"
    std::wstring CommandByKey(std::wstring_view key) const;
    // The titles of the programs of the commands of slots 2 up to the slot count, in slot order
    // (commands without a window title are left out).
    std::vector<std::wstring> CommandWindowTitles() const;

private:
    const CIniFile& ini_;
};

// The command's file name without extension (everything before the last "."), the exact title
// of the main window of the program it starts; none when the value has no "." or nothing
// before it (an empty title would match every untitled window).
std::optional<std::wstring> WindowTitleOfCommand(std::wstring_view command);

// The program's folder with its final backslash: the path cut after its last backslash.
std::wstring ProgramDirectory(std::wstring_view programPath);

// The folder plus a settings value, as the shell is asked to open it; none when the result
// would not fit the platform's path buffer (it is never cut).
std::optional<std::wstring> JoinCommandPath(std::wstring_view directory, std::wstring_view value);

// True when the command line holds "/a" anywhere (exactly, lower case).
bool HasStartHiddenSwitch(std::wstring_view commandLine);

// The text shown for a failed launch, by the shell's result (at most 32); empty for a result
// the table does not know.
std::wstring_view LaunchErrorText(std::intptr_t result);

}  // namespace dockline
