#pragma once
// Texts of the drive trees: an entry's size and date columns and an item's full path.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace copperfold {

// A byte count as the size column shows it: the plain number below 1000, otherwise one
// decimal in K, M, G or T (steps of 1024, switching at 1000: 1000 bytes is " 1.0K").
std::wstring FormatFileSize(std::uint64_t bytes);

struct CalendarTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// "yyyy/mm/dd hh:mm:ss" with every field padded by blanks, not zeros ("2024/ 3/ 7  9: 5: 0").
std::wstring FormatFileDate(const CalendarTime& local);

// The path of an item from its own column-0 text and its ancestors' (root first): parts are
// joined with a backslash unless the part before already ends with one (as a drive root does).
std::wstring JoinItemPath(const std::vector<std::wstring>& textsFromRoot);

// The root item text of a drive letter ('A' + index): "C:\".
std::wstring DriveRoot(int letterIndex);

}  // namespace copperfold
