#pragma once
// A run of a batch of jobs in the progress dialog, modal over `owner`, for runs the user did
// not start from the command line (the enclosure's button).

#include <windows.h>

#include "copperfold/core/copy_engine.h"
#include "exec_dialog.h"

namespace copperfold {

// The run's counters after the dialog has closed; false when the dialog could not be opened.
bool RunBatchInDialog(HWND owner, const JobBatch& batch, const CExecDialog::Translator& translate);

}  // namespace copperfold
