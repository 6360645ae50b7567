// The launcher's process-wide records.
#include "launcher/state/run_records.h"

CommandLineRecord commandLine;
RunPathsRecord runPaths;
RunStateRecord runState;

void resetRunRecords() {
    runPaths = RunPathsRecord{};
    runState.totalBytes = runState.extractedBytes = runState.javaJarBytes = 0;
    runState.cancelRequested.store(false);
    runState.launchFailed = runState.commandOverflow = runState.consoleAllocated = false;
    runState.progressSink = nullptr;
    runState.lastPercent = 0;
}
