#include "run_window.h"

#include "run_log_file.h"

namespace copperfold {

std::optional<RunLogEntry> RunBatchInDialog(HWND owner, const JobBatch& batch, RunTrigger trigger,
                                            const CExecDialog::Translator& translate, CExecDialog** running) {
    RunLogSession log(trigger, batch);
    CExecDialog dialog(translate, log.Files());
    dialog.SetBatch(&batch);
    dialog.SetJournal(&log.Journal());
    // Nobody may be at the screen when the button or a drive being plugged in starts a run: a
    // failed copy or a refused job goes only to the log (through the journal) and the notice
    // instead of a box that would hold the run (and Dockline's polling) until someone clicks it,
    // and the run goes on.
    if (trigger == RunTrigger::Button || trigger == RunTrigger::Arrival) dialog.SetUnattended([](const std::wstring&) {});
    if (running) *running = &dialog;
    const INT_PTR shown = dialog.DoModal(owner);
    if (running) *running = nullptr;
    if (shown == -1) return std::nullopt;
    return log.Finish(dialog.Counters());
}

}  // namespace copperfold
