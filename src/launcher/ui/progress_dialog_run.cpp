// The run with the progress dialog: the dialog is shown modally on this thread and its
// worker thread carries out the run sequence, shown on the dialog: the run's own messages
// are boxes owned by the dialog, the dialog is hidden while the installer runs, and at the
// end the bar and the Cancel button go away while the extraction directory is removed.
// The result is stored before the dialog is ended, so that start-up reads it only after
// the modal loop has returned; the run's result, not the dialog's end code, is what
// start-up gets back.
#include "launcher/ui/progress_dialog_run.h"

#include "launcher/app/reporting.h"
#include "launcher/run/run_sequence.h"
#include "launcher/ui/quenlow_sfx_dlg.h"
#include "platform/windowing.h"

namespace {

void showErrorBox(void* context, const char* text) {
    auto& dialog = *static_cast<CQuenlowSFXDlg*>(context);
    reportDialogError(dialog.GetSafeHwnd(), "%s", text);
}

// The installer has the screen to itself while it runs.
void showInstallerRunning(void* context, bool running) {
    auto& dialog = *static_cast<CQuenlowSFXDlg*>(context);
    dialog.Show(running ? ShowCommand::Hide : ShowCommand::Normal);
}

void showCleaningUp(void* context) {
    auto& dialog = *static_cast<CQuenlowSFXDlg*>(context);
    dialog.m_ctlProgress.Show(ShowCommand::Hide);
    dialog.GetDlgItem(IdCancel).Show(ShowCommand::Hide);
    dialog.m_ctlStatus.SetText("Cleaning up . . .");
}

} // namespace

unsigned runDialogWorker(void* argument) {
    auto& dialog = *static_cast<CQuenlowSFXDlg*>(argument);
    dialog.m_ctlStatus.SetText("Preparing the installer . . .");
    dialogState.progressBar = &dialog.m_ctlProgress;
    RunDisplay display;
    display.context = &dialog;
    display.progress = dialogProgressSink;
    display.error = showErrorBox;
    display.installerRunning = showInstallerRunning;
    display.cleaningUp = showCleaningUp;
    dialog.m_nRunResult = runInstallation(display);
    dialog.EndDialog(isCancelRequested() ? IdCancel : IdOk);
    return 1; // the dialog may be gone from here on: touch nothing more
}

int32_t runWithProgressDialog() {
    beginRun();
    CQuenlowSFXDlg dialog;
    dialog.DoModal(); // a dialog that cannot be created leaves the result at 0
    platform::setMainWindow(nullptr);
    endRun();
    return dialog.m_nRunResult;
}
