// The extraction driver: walks the central directory in blocks of accepted entries,
// finds and checks each local header, and has the output stage extract or test it.
#pragma once

struct EngineState;

// Extracts, tests or writes to the console the selected entries of the archive whose
// reader is positioned at the start of its central directory. Returns the result
// code of the archive.
int extractEntries(EngineState* state);

// Takes the current entry from the central header into the current slot. Answers 1
// when the engine can handle it, 0 (after a message) when it is skipped.
int storeEntryInfo(EngineState* state);

// Frees everything the driver, output names and output files hold in the state
// (entry names kept for comparison, path buffers, directory records, an output file
// still open after a run that ended early). Safe to call on a zeroed or partly used state.
void releaseDriverState(EngineState* state);
