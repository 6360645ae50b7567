// The run with the progress dialog: the dialog is shown modally on this thread and its
// worker thread carries out the run; the run's result, not the dialog's end code, is what
// start-up gets back.
#include "launcher/app/dialog_run.h"
#include "launcher/ui/quenlow_sfx_dlg.h"
#include "platform/windowing.h"

int32_t runWithProgressDialog() {
    CQuenlowSFXDlg dialog;
    dialog.DoModal(); // a dialog that cannot be created leaves the result at 0
    platform::setMainWindow(nullptr);
    return dialog.m_nRunResult;
}
