#pragma once
// What names a new volume: its label, the boot sector's system name, its serial number and the
// time stamp of its label entry.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace volkern {

struct VolumeIdentity {
    std::array<char, 11> label{};  // space-padded; all blanks = no label
    std::array<char, 8> oemName{};
    std::uint32_t serial = 0;
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;

    bool HasLabel() const;
};

// The label as FAT stores it (upper case, space-padded), or nothing when it is longer than 11
// characters or holds a character that a FAT label cannot. An empty label is valid: no label.
std::optional<std::array<char, 11>> FatLabel(std::string_view text);
// The system name, space-padded; nothing when longer than 8 characters or not printable ASCII.
std::optional<std::array<char, 8>> OemName(std::string_view text);

// A date and time as FAT stores them (years 1980..2107; others are clamped).
std::uint16_t DosDate(int year, int month, int day);
std::uint16_t DosTime(int hour, int minute, int second);

}  // namespace volkern
