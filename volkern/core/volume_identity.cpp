#include "volume_identity.h"

#include <algorithm>
#include <string_view>

namespace volkern {
namespace {

bool LabelCharacter(char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view(" !#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

}  // namespace

bool VolumeIdentity::HasLabel() const {
    return std::any_of(label.begin(), label.end(), [](char c) { return c != ' '; });
}

std::optional<std::array<char, 11>> FatLabel(std::string_view text) {
    std::array<char, 11> label;
    label.fill(' ');
    if (text.size() > label.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!LabelCharacter(c)) return std::nullopt;
        label[i] = c;
    }
    // A name may not start with a blank.
    if (!text.empty() && text.front() == ' ') return std::nullopt;
    return label;
}

std::optional<std::array<char, 8>> OemName(std::string_view text) {
    std::array<char, 8> name;
    name.fill(' ');
    if (text.size() > name.size()) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E) return std::nullopt;
        name[i] = text[i];
    }
    return name;
}

std::uint16_t DosDate(int year, int month, int day) {
    year = std::clamp(year, 1980, 2107);
    month = std::clamp(month, 1, 12);
    day = std::clamp(day, 1, 31);
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

std::uint16_t DosTime(int hour, int minute, int second) {
    hour = std::clamp(hour, 0, 23);
    minute = std::clamp(minute, 0, 59);
    second = std::clamp(second, 0, 59);
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

}  // namespace volkern
