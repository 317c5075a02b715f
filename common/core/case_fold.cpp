#include "case_fold.h"

namespace common {
namespace {

// Ranges where upper and lower case alternate: even code point upper, odd lower.
bool InAlternatingRange(char32_t c) {
    return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) ||
           (c >= 0x014A && c <= 0x0177) || (c >= 0x0182 && c <= 0x0185) ||
           (c >= 0x01DE && c <= 0x01EF) || (c >= 0x01F8 && c <= 0x021F) ||
           (c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) ||
           (c >= 0x04D0 && c <= 0x052F) || (c >= 0x1E00 && c <= 0x1E95) ||
           (c >= 0x1EA0 && c <= 0x1EFF);
}

// Ranges where the lower-case letter is odd and its upper case the even code point before it.
bool InOddLowerRange(char32_t c) {
    return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) ||
           (c >= 0x04C1 && c <= 0x04CE);
}

}  // namespace

wchar_t ToUpperSimple(wchar_t wc) {
    const auto c = static_cast<char32_t>(wc);
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<wchar_t>(c - 0x20) : wc;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<wchar_t>(c - 0x20);
    if (c == 0xFF) return static_cast<wchar_t>(0x178);
    if (InAlternatingRange(c)) return static_cast<wchar_t>(c & ~char32_t{1});
    if (InOddLowerRange(c)) return (c & 1) ? wc : static_cast<wchar_t>(c - 1);
    if (c >= 0x03B1 && c <= 0x03CB && c != 0x03C2) return static_cast<wchar_t>(c - 0x20);
    if (c == 0x03C2) return static_cast<wchar_t>(0x03A3);
    if (c >= 0x03AC && c <= 0x03AF) {
        static constexpr char32_t kTonos[] = {0x0386, 0x0388, 0x0389, 0x038A};
        return static_cast<wchar_t>(kTonos[c - 0x03AC]);
    }
    if (c == 0x03CC) return static_cast<wchar_t>(0x038C);
    if (c == 0x03CD || c == 0x03CE) return static_cast<wchar_t>(c - 0x3F);
    if (c >= 0x0430 && c <= 0x044F) return static_cast<wchar_t>(c - 0x20);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<wchar_t>(c - 0x50);
    if (c >= 0x0561 && c <= 0x0586) return static_cast<wchar_t>(c - 0x30);
    if (c >= 0x24D0 && c <= 0x24E9) return static_cast<wchar_t>(c - 0x1A);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<wchar_t>(c - 0x20);
    return wc;
}

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && ToUpperSimple(a[i]) != ToUpperSimple(b[i])) return false;
    }
    return true;
}

std::wstring UpperCased(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = ToUpperSimple(c);
    return upper;
}

}  // namespace common
