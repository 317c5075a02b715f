#pragma once
// CAddJobDialog: asks for the type of a new job. It shows the source and target folders the
// user picked, three exclusive type buttons and the job's two options (job_options_controls.h);
// OK stays disabled until a type is chosen. OK writes the chosen type into the caller's
// variable; Cancel (and Escape, and closing the window) leaves it untouched. The paths are
// checked by the caller before the dialog opens.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/win32/dialog.h"
#include "copperfold/core/copperfold_doc.h"
#include "job_options_controls.h"

class CAddJobDialog : public win32::Dialog {
public:
    // The user-visible text for an English key, or `fallback` when the language has none.
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;

    // `jobType`: the caller's variable, written with the chosen type (Backup 0, Sync 1,
    // Restore 2) when the dialog ends with OK.
    CAddJobDialog(Translator translator, std::wstring sourcePath, std::wstring targetPath, std::int32_t* jobType);

    // The type chosen so far: the last type button clicked.
    std::optional<JobType> ChosenType() const { return chosen; }
    // The options chosen, once the dialog has ended with OK (a Sync's quick mode is off: it
    // always compares).
    const JobOptions& ChosenOptions() const { return chosenOptions; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;

private:
    std::wstring Translate(std::wstring_view english) const;
    void Choose(JobType type);
    void KeepTypesReachable();

    Translator translate;
    std::wstring sourcePath;
    std::wstring targetPath;
    std::int32_t* jobType;
    std::optional<JobType> chosen;
    JobOptionsControls options;
    JobOptions chosenOptions;
};
