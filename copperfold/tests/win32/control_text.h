#pragma once
// Texts the tests read back from common controls.

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace testing_support {

// The text of item `index` of a header control.
inline std::wstring HeaderText(HWND header, int index) {
    wchar_t text[128] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 128;
    Header_GetItem(header, index, &item);
    return text;
}

}  // namespace testing_support
