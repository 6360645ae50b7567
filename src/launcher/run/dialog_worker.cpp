// The dialog run: the same steps in the same order as the silent run, on the dialog's
// worker thread. The run's own messages are boxes owned by the dialog; the dialog is
// hidden while the installer runs; at the end the bar and the Cancel button go away, the
// extraction directory is removed, and the result is stored before the dialog is ended,
// so that start-up reads it only after the modal loop has returned.
#include "launcher/run/dialog_worker.h"

#include "launcher/app/reporting.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/run/run_state.h"
#include "launcher/run/run_steps.h"
#include "launcher/ui/quenlow_sfx_dlg.h"

// Room asked for before anything is known about the archive.
static constexpr uint64_t kFirstPreparationBytes = 8192;

static int32_t runDialogSteps(CQuenlowSFXDlg& dialog) {
    platform::WindowHandle owner = dialog.GetSafeHwnd();
    if (!prepareExtractionDirectory(kFirstPreparationBytes)) {
        reportDialogError(owner, "Cannot setup the extract directory.");
        return -1;
    }
    int result = extractDescriptor();
    if (result != 0) {
        reportDialogError(owner, "Cannot obtain archive information because it is corrupted (%i).",
                          result);
        return result;
    }
    if (!prepareExtractionDirectory(totalBytes)) {
        reportDialogError(owner, "Cannot setup the extract directory.");
        return -1;
    }
    result = extractInstallerFiles();
    if (result != 0) {
        // After a cancel the extraction's own "Unzip failed" is all the user needs.
        if (!isCancelRequested())
            reportDialogError(owner, "Cannot extract the archive because it is corrupted (%i).",
                              result);
        return result;
    }
    // The installer has the screen to itself while it runs.
    dialog.Show(ShowCommand::Hide);
    result = launchInstaller();
    dialog.Show(ShowCommand::Normal);
    return result;
}

unsigned runDialogWorker(void* argument) {
    auto& dialog = *static_cast<CQuenlowSFXDlg*>(argument);
    dialog.m_ctlStatus.SetText("Preparing the installer . . .");
    progressBar = &dialog.m_ctlProgress;
    setProgressSink(dialogProgressSink);

    const int32_t result = runDialogSteps(dialog);

    dialog.m_ctlProgress.Show(ShowCommand::Hide);
    dialog.GetDlgItem(IdCancel).Show(ShowCommand::Hide);
    dialog.m_ctlStatus.SetText("Cleaning up . . .");
    removeExtractionDirectory();

    dialog.m_nRunResult = result;
    dialog.EndDialog(isCancelRequested() ? IdCancel : IdOk);
    return 1; // the dialog may be gone from here on: touch nothing more
}
