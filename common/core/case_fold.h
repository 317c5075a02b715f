#pragma once
// Case-insensitive comparison of names as the platform's profile functions do it: simple
// one-to-one upper-case mapping of Latin, Greek, Cyrillic and full-width letters.

#include <string>
#include <string_view>

namespace common {

wchar_t ToUpperSimple(wchar_t c);
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);
// `text` with every character mapped by ToUpperSimple: a key that matches as EqualsIgnoreCase does.
std::wstring UpperCased(std::wstring_view text);

}  // namespace common
