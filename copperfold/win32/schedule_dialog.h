#pragma once
// CScheduleDialog: "Schedule..." of the job list. A new schedule for the ticked jobs, every day
// or on the chosen weekdays at a time of day, and the schedules the user's jobs have, each of
// which can be removed (see schedule_tasks.h). Every control is reached with Tab; Escape and
// Close end it.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/win32/dialog.h"
#include "copperfold/core/copperfold_doc.h"
#include "schedule_tasks.h"

class CIniFileException;

class CScheduleDialog : public win32::Dialog {
public:
    using Translator = std::function<std::wstring(std::wstring_view english, std::wstring_view fallback)>;

    // `ticked`: the ticked jobs (source and target), none when no job is ticked.
    CScheduleDialog(Translator translate, CCopperfoldDoc& document, copperfold::ScheduleTasks& tasks,
                    JobKeys ticked);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;

private:
    std::wstring Tr(std::wstring_view english) const;
    void ShowMessage(std::wstring_view text, UINT icon) const;
    // The reason the scheduler gave, in the text of `english` ("%s").
    void ShowTaskError(std::wstring_view english, HRESULT error) const;
    void ShowWriteFailure(const CIniFileException& error) const;
    void FillSchedules(int select = 0);
    void EnableWeekdays();
    void AddSchedule();
    void RemoveSchedule();

    Translator translate;
    CCopperfoldDoc& document;
    copperfold::ScheduleTasks& tasks;
    JobKeys ticked;
};
