// Directories created from directory entries: their attributes, times and security
// block are recorded when they are made and applied at the end of the run, when no
// file is still to be written into them.
#pragma once

struct EngineState;
struct DirectoryRecord;

// Records the directory just created from a directory entry (with its attributes and
// times) for applyDirectoryAttributes at the end of the run. RC_OK or RC_NOMEM.
int makeDirectoryRecord(EngineState* state, DirectoryRecord** record);

// Applies the attributes and times of a directory created from a directory entry.
int applyDirectoryAttributes(EngineState* state, DirectoryRecord* record);
