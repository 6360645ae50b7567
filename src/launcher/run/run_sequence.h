/*
 * The one sequence of a run, for the silent run on the main thread and for the progress
 * dialog's worker alike: prepare the extraction directory, extract the descriptor, check
 * the room for the archive, extract it, launch the installer, and always clean up. What
 * differs between the two is how the run is shown, given as a RunDisplay.
 *
 * Interruptions (signals, console events) are taken over for the whole run: beginRun
 * before anything is shown, endRun once nothing is shown any more; a run cancelled by one
 * ends the process there, after the clean-up.
 */
#pragma once

#include <cstdint>

#include "launcher/state/run_state.h"

struct RunDisplay {
    void* context = nullptr;
    ProgressSink progress = nullptr;                                 // entry done, percentage
    void (*error)(void* context, const char* text) = nullptr;        // the run's own summaries
    void (*installerRunning)(void* context, bool running) = nullptr; // optional
    void (*cleaningUp)(void* context) = nullptr;                     // optional
};

void beginRun();

// The sequence and its clean-up. Returns the run's result: -1 when the extraction
// directory could not be prepared, a step's failure code, or the installer's exit code.
int32_t runInstallation(const RunDisplay& display);

// Ends the process when an interruption cancelled the run; otherwise returns.
void endRun();

// The whole run with progress dots on the console (-silent).
int32_t runSilent();
