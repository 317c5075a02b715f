#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace dockline {

// Replaces the caption of every item of `menu` and its submenus with translate(caption): a
// command item addressed by its identifier, a pop-up item by its position.
void TranslateMenuItems(HMENU menu, const std::function<std::wstring(const std::wstring&)>& translate);

}  // namespace dockline
