#include "menu_translation.h"

namespace copperfold {

void TranslateMenu(HMENU menu, const std::function<std::wstring(const std::wstring&)>& translate) {
    const int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_SUBMENU | MIIM_STRING;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) continue;
        if (!(item.fType & MFT_SEPARATOR) && item.cch > 0) {
            std::wstring text(item.cch + 1, L'\0');
            item.dwTypeData = text.data();
            item.cch = static_cast<UINT>(text.size());
            if (::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &item)) {
                text.resize(item.cch);
                std::wstring translated = translate(text);
                MENUITEMINFOW change{};
                change.cbSize = sizeof change;
                change.fMask = MIIM_STRING;
                change.dwTypeData = translated.data();
                ::SetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &change);
            }
        }
        if (item.hSubMenu) TranslateMenu(item.hSubMenu, translate);
    }
}

}  // namespace copperfold
