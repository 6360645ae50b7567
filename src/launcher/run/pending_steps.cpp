/*
 * Placeholders for the run steps that are not built yet. They fail honestly, so that a run
 * reaches its clean-up and reports the step as failed; each is deleted when the real step
 * exists.
 */
#include "launcher/app/reporting.h"
#include "launcher/run/run_steps.h"

int extractDescriptor() {
    debugLog("extractDescriptor is not built yet");
    return 1;
}

int extractInstallerFiles() {
    debugLog("extractInstallerFiles is not built yet");
    return 1;
}

int launchInstaller() {
    debugLog("launchInstaller is not built yet");
    return 1;
}
