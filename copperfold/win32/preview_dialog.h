#pragma once
// CPreviewDialog: what a run of the ticked jobs would do (see copperfold/core/preview.h), before
// the user presses Execute. Read-only text with the totals; Close, Escape or Enter end it. Given
// the text of a confirming button, it asks instead whether to go on: that button (Enter) ends it
// with IDOK, Cancel (Escape) with IDCANCEL.

#include <functional>
#include <string>
#include <string_view>

#include "common/win32/dialog.h"

class CPreviewDialog : public win32::Dialog {
public:
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;
    // `text`: the preview's lines, ended with "\n"; `confirm`: the confirming button's text.
    CPreviewDialog(Translator translate, std::wstring text, std::wstring confirm = {});

protected:
    bool OnInitDialog() override;

private:
    Translator translate;
    std::wstring text;
    std::wstring confirm;
};
