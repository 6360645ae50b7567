/*
 * The run sequence: every step in its fixed order, each failure reported once by the step
 * and once more by the run with its own summary, and the clean-up after every outcome.
 * A cancelled extraction gets no summary: the extraction's own "Unzip failed" says all.
 */
#include "launcher/run/run_sequence.h"

#include <cstdarg>
#include <cstdio>

#include "launcher/app/reporting.h"
#include "launcher/launch/launch_installer.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/run/run_steps.h"
#include "platform/interruption.h"

// Room asked for before anything is known about the archive.
static constexpr uint64_t kFirstPreparationBytes = 8192;

QUENLOW_PRINTF(2, 3)
static void showError(const RunDisplay& display, const char* format, ...) {
    char text[kReportTextSize];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    display.error(display.context, text);
}

static int32_t runSteps(const RunDisplay& display) {
    if (!prepareExtractionDirectory(kFirstPreparationBytes)) {
        showError(display, "Cannot setup the extract directory.");
        return -1;
    }
    int result = extractDescriptor();
    if (result != 0) {
        showError(display, "Cannot obtain archive information because it is corrupted (%i).",
                  result);
        return result;
    }
    if (!prepareExtractionDirectory(runState.totalBytes)) {
        showError(display, "Cannot setup the extract directory.");
        return -1;
    }
    result = extractInstallerFiles();
    if (result != 0) {
        if (!isCancelRequested())
            showError(display, "Cannot extract the archive because it is corrupted (%i).", result);
        return result;
    }
    debugLog("Finished extracting installer files");
    if (display.installerRunning != nullptr)
        display.installerRunning(display.context, true);
    result = launchInstaller();
    if (display.installerRunning != nullptr)
        display.installerRunning(display.context, false);
    return result;
}

void beginRun() {
    platform::watchInterruptions(requestCancel);
}

int32_t runInstallation(const RunDisplay& display) {
    setProgressSink(display.progress);
    const int32_t result = runSteps(display);
    platform::setRunStage(platform::RunStage::cleaningUp);
    if (display.cleaningUp != nullptr)
        display.cleaningUp(display.context);
    removeExtractionDirectory();
    return result;
}

void endRun() {
    platform::finishInterruptions();
}

static void reportOnConsole(void*, const char* text) {
    reportError("%s", text);
}

int32_t runSilent() {
    RunDisplay console;
    console.progress = consoleProgressSink;
    console.error = reportOnConsole;
    beginRun();
    const int32_t result = runInstallation(console);
    endRun();
    return result;
}
