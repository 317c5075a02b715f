#include "run_window.h"

#include "win32_file_system.h"

namespace copperfold {

bool RunBatchInDialog(HWND owner, const JobBatch& batch, const CExecDialog::Translator& translate) {
    Win32FileSystem fileSystem;
    CExecDialog dialog(translate, fileSystem);
    dialog.SetBatch(&batch);
    return dialog.DoModal(owner) != -1;
}

}  // namespace copperfold
