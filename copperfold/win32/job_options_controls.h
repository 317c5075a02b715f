#pragma once
// A job's two options in a dialog (the add-job dialog, the options dialog): the box "Copy only
// new and changed files" and the box "Keep replaced files for" with its number of days, under the
// ids of job_options_resource.h. The days field is enabled while its box is ticked. A Sync
// always compares: for one the first box shows ticked and disabled, and comes back as the user
// left it when the type changes again.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "copperfold/core/settings_store.h"

class JobOptionsControls {
public:
    // The common controls the template uses (the days field's arrows): before the dialog opens.
    static void RegisterClasses();

    // Sets the texts and shows these options (`keepDays` 0: not kept). After the dialog's own
    // texts are set: the days field goes right after its box's text.
    void Init(HWND dialog, const copperfold::TextTranslator& translate, bool skipSame, std::uint32_t keepDays);
    // Whether "copy only new and changed files" means anything for the job (not for a Sync).
    void SetQuickModeApplies(bool applies);
    // A command of one of these controls; true when it was one.
    bool OnCommand(int id, int notifyCode);

    // The first box as the user left it.
    bool SkipSame() const { return userSkipSame; }
    // The days to keep (0: not kept); nothing, with the user told and the field focused, when the
    // field holds no number it takes.
    std::optional<std::uint32_t> ValidKeepDays() const;

private:
    HWND Item(int id) const { return ::GetDlgItem(dialog, id); }
    std::wstring Tr(std::wstring_view english) const;
    RECT PlaceOf(int id) const;  // in the dialog's client area
    void EnableDays();
    void PlaceDaysAfterItsBox();

    HWND dialog = nullptr;
    copperfold::TextTranslator translate;
    bool userSkipSame = false;
};
