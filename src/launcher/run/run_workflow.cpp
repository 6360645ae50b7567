/*
 * The silent run: every step in its fixed order on the main thread, each failure reported
 * once by the step and once more by the run with its own summary, and the clean-up after
 * every outcome. (The dialog run has the same order on a worker thread.)
 */
#include "launcher/run/run_workflow.h"

#include "launcher/app/reporting.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/run/run_state.h"
#include "launcher/run/run_steps.h"

// Room asked for before anything is known about the archive.
static constexpr uint64_t kFirstPreparationBytes = 8192;

static int32_t runSilentSteps() {
    if (!prepareExtractionDirectory(kFirstPreparationBytes)) {
        reportError("Cannot setup the extract directory.");
        return -1;
    }
    int result = extractDescriptor();
    if (result != 0) {
        reportError("Cannot obtain archive information because it is corrupted (%i).", result);
        return result;
    }
    if (!prepareExtractionDirectory(totalBytes)) {
        reportError("Cannot setup the extract directory.");
        return -1;
    }
    result = extractInstallerFiles();
    if (result != 0) {
        reportError("Cannot extract the archive because it is corrupted (%i).", result);
        return result;
    }
    debugLog("Finished extracting installer files");
    return launchInstaller();
}

int32_t runSilent() {
    setProgressSink(consoleProgressSink);
    const int32_t result = runSilentSteps();
    removeExtractionDirectory();
    return result;
}
