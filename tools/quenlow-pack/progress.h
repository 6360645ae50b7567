/*
 * Progress of a pack on a terminal: files and bytes done of the total, and a bar, on one
 * line of standard error redrawn at most ten times a second. Nothing is drawn when
 * standard error is not a terminal (a build log gets the summary alone).
 */
#ifndef QUENLOW_PACK_PROGRESS_H
#define QUENLOW_PACK_PROGRESS_H

#include <cstdint>

struct PackProgress {
    bool shown = false;
    uint64_t totalFiles = 0;
    uint64_t totalBytes = 0;
    uint64_t doneFiles = 0;
    uint64_t doneBytes = 0;
    int64_t lastDrawn = 0; // milliseconds of a monotonic clock
};

// Starts the display (when standard error is a terminal) for the given totals.
void startProgress(PackProgress* progress, uint64_t files, uint64_t bytes);
// One more file of `bytes` bytes is done.
void advanceProgress(PackProgress* progress, uint64_t bytes);
// Clears the progress line.
void endProgress(PackProgress* progress);

#endif
