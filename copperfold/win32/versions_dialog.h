#pragma once
// CVersionsDialog: "Versions..." of the job list. The version folders a job keeps on each side
// it writes to (see copperfold/core/versions.h), the newest first, with the time of the run that
// made each one and the files and bytes it holds, as "/versions" lists them; an empty list says
// so. Restore puts the selected version back, Restore One File a file of it that the user
// picks; either goes through the caller, which shows the preview and runs the restore once the
// user confirms it. The list is read again after each restore (which keeps the files it replaces
// as a version in turn). Every control is reached with Tab and its mnemonic; Escape and Close
// end the dialog.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/dialog.h"
#include "copperfold/core/copperfold_doc.h"
#include "copperfold/core/file_system.h"
#include "copperfold/core/versions.h"

class CVersionsDialog : public win32::Dialog {
public:
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;
    // Shows the preview of `restore` modally over `owner` and runs it when the user confirms it.
    using RestoreRunner = std::function<void(HWND owner, const JobRecord& restore)>;

    // `job` as a run takes it (its target where its drive is now); `number`: its number in the
    // job list.
    CVersionsDialog(Translator translate, copperfold::FileSystem& files, JobRecord job, int number,
                    RestoreRunner runRestore);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    struct Row {
        copperfold::JobSide side = copperfold::JobSide::Target;
        std::wstring folder;  // the version's folder
        copperfold::VersionFolder version;
    };
    std::wstring Tr(std::wstring_view english) const;
    HWND List() const;
    void SetUpList();
    // Lists the versions as the drives hold them now; selects the version named `select` on
    // `side` when it is listed, else the newest.
    void Fill(copperfold::JobSide side = copperfold::JobSide::Target, std::wstring_view select = {});
    const Row* Selected() const;
    void ShowSelected();
    void Restore(bool oneFile);
    // A file of the version that the user picks, relative to the version's folder; nothing when
    // the user cancels or picks one outside it (then told so).
    std::optional<std::wstring> ChooseFile(const Row& row);

    Translator translate;
    copperfold::FileSystem& files;
    JobRecord job;
    int number;
    RestoreRunner runRestore;
    std::vector<Row> rows;            // in the list's order
    std::vector<std::wstring> stores;  // of each side the job writes to
};
