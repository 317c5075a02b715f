#pragma once
// A run of a batch of jobs in the progress dialog, modal over `owner`, for runs the user did
// not start from the command line, with its record in the run log. A run of the enclosure's
// button or of a drive being plugged in is unattended: problems go to the log, never to a box
// that waits for a click.

#include <windows.h>

#include <optional>

#include "copperfold/core/copy_engine.h"
#include "copperfold/core/run_log.h"
#include "exec_dialog.h"

namespace copperfold {

// The run's log record once the dialog has closed; none when the dialog could not be opened.
// `running`, when given, points at the open dialog for as long as the run lasts (so that the
// busy query can ask it to stop), and is null again when this returns.
std::optional<RunLogEntry> RunBatchInDialog(HWND owner, const JobBatch& batch, RunTrigger trigger,
                                            const CExecDialog::Translator& translate,
                                            CExecDialog** running = nullptr);

}  // namespace copperfold
