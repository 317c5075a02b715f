#pragma once
// Texts of the language sections are written for menus and buttons, where "&" marks the
// keyboard mnemonic. A window caption shows such a text without the marks.

#include <string>
#include <string_view>

namespace copperfold {

// "&Add" gives "Add", "&&" gives "&", a trailing lone "&" goes.
std::wstring WithoutMnemonic(std::wstring_view text);

}  // namespace copperfold
