#include "menu_text.h"

namespace dockline {

void TranslateMenuItems(HMENU menu, const std::function<std::wstring(const std::wstring&)>& translate) {
    const int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t caption[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_FTYPE;
        item.dwTypeData = caption;
        item.cch = 256;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) continue;
        if (!(item.fType & MFT_SEPARATOR)) {
            std::wstring translated = translate(caption);
            MENUITEMINFOW change{};
            change.cbSize = sizeof change;
            change.fMask = MIIM_STRING;
            change.dwTypeData = translated.data();
            if (item.hSubMenu) {
                ::SetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &change);
            } else {
                ::SetMenuItemInfoW(menu, item.wID, FALSE, &change);
            }
        }
        if (item.hSubMenu) TranslateMenuItems(item.hSubMenu, translate);
    }
}

}  // namespace dockline
