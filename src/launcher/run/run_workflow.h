/*
 * The order of a run: prepare the extraction directory, extract the descriptor, check the
 * room for the archive, extract it, launch the installer, and always clean up.
 */
#pragma once

#include <cstdint>

// The run on the main thread with progress dots on the console (-silent). Returns the run's
// result: -1 when the extraction directory could not be prepared, a step's failure code,
// or the installer's exit code.
int32_t runSilent();
