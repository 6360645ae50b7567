/*
 * The private extraction directory of a run: a uniquely named directory under the
 * temporary directory that only the current user may open, which is the working directory
 * from its creation until the final clean-up deletes it with everything in it.
 */
#pragma once

#include <cstdint>

#include "launcher/state/run_records.h"

// Makes sure extractPath exists, is the working directory and that the base directory has
// more than requiredBytes free. Reports its own failures; the caller adds its summary.
bool prepareExtractionDirectory(uint64_t requiredBytes);

// Returns to launcherHome and deletes the extraction directory (kept with -debug; until
// sfx.ini was extracted into it, only an empty one is removed). Safe in every state.
void removeExtractionDirectory();

// A directory, or a link to one.
bool directoryExists(const char* path);

// Deletes path and everything below it. Read-only entries are made writable first; links
// and junctions are deleted themselves and never followed.
bool removeTree(const char* path);

enum class RemoveKind { file, directory };

// Deletes one file (up to 150 attempts, 2 s apart after sharing violations) or one empty
// directory (up to 3 attempts, 1 s apart after sharing violations).
bool removeWithRetry(const char* path, RemoveKind kind);
