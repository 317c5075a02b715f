#pragma once
// CJobOptionsDialog: "Options..." of the job list. The two options of some jobs (see
// job_options_controls.h), shown as the first of them has them; OK hands back what the user
// chose, which the caller saves for each job (copperfold::ChangedOptions). Every control is
// reached with Tab and its mnemonic; Escape and Cancel change nothing.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/dialog.h"
#include "copperfold/core/copperfold_doc.h"
#include "job_options_controls.h"

class CJobOptionsDialog : public win32::Dialog {
public:
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;

    // `jobNumbers`: the jobs' numbers in the job list; `shown`: the first of them;
    // `quickModeApplies`: whether one of them is a Backup or a Restore (a Sync always compares).
    CJobOptionsDialog(Translator translate, std::vector<int> jobNumbers, const JobRecord& shown, bool quickModeApplies);

    // What the user chose, once the dialog has ended with OK.
    bool SkipSame() const { return skipSame; }
    std::uint32_t KeepDays() const { return keepDays; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;

private:
    std::wstring Tr(std::wstring_view english) const;

    Translator translate;
    std::vector<int> jobNumbers;
    JobOptions shownOptions;
    bool shownSkipSame;
    bool quickModeApplies;
    JobOptionsControls options;
    bool skipSame = false;
    std::uint32_t keepDays = 0;
};
