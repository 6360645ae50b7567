/*
 * Placeholder for the run with the progress dialog until the dialog exists: the run is
 * carried out as a silent one (on Windows its errors still show message boxes, since
 * silentMode is off). Deleted when the dialog provides runWithProgressDialog.
 */
#include "launcher/app/dialog_run.h"
#include "launcher/app/reporting.h"
#include "launcher/run/run_workflow.h"

int32_t runWithProgressDialog() {
    debugLog("The progress dialog is not built yet; running without it");
    return runSilent();
}
