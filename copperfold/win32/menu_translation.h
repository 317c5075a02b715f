#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace copperfold {

// Replaces the text of every item of every level of `menu`, in position order, with
// translate(text); ids, kinds and sub-menus stay as they are. Separators are left alone.
void TranslateMenu(HMENU menu, const std::function<std::wstring(const std::wstring&)>& translate);

}  // namespace copperfold
