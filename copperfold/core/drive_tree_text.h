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

// The widest texts the size and date columns can show, with every digit place holding
// `digit` (the widest digit of the font the columns are drawn in): "dddd.dK" to "dddd.dT"
// ("1000.0K" is the longest size below a thousand terabytes), and "dddd/dd/dd dd:dd:dd".
std::vector<std::wstring> WidestSizeTexts(wchar_t digit);
std::wstring WidestDateText(wchar_t digit);
// The digit whose width `measure` finds largest ('0' when all are alike).
template <typename Measure>
wchar_t WidestDigit(Measure measure) {
    wchar_t widest = L'0';
    int widestWidth = measure(std::wstring_view(&widest, 1));
    for (wchar_t digit = L'1'; digit <= L'9'; ++digit) {
        const int width = measure(std::wstring_view(&digit, 1));
        if (width > widestWidth) {
            widest = digit;
            widestWidth = width;
        }
    }
    return widest;
}

// The path of an item from its own column-0 text and its ancestors' (root first): parts are
// joined with a backslash unless the part before already ends with one (as a drive root does).
std::wstring JoinItemPath(const std::vector<std::wstring>& textsFromRoot);

// The root item text of a drive letter ('A' + index): "C:\".
std::wstring DriveRoot(int letterIndex);

}  // namespace copperfold
