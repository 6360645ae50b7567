// Output files (being written).
#include "engine/output_files.h"

#include "quenlow/unzip.h"

bool prepareOutput(EngineState*) { return false; }

int extractEntry(EngineState*) { return RC_FATAL; }

int flushOutput(EngineState*, const uint8_t*, size_t, bool) { return RC_DISKFULL; }

void mapAttributes(EngineState*) {}

void limitInputToEntry(EngineState*) {}

void restoreInput(EngineState*) {}

int applyDirectoryAttributes(EngineState*, DirectoryRecord*) { return RC_FATAL; }

bool vmsRecordsVariable(EngineState*, const uint8_t*, size_t) { return false; }

void expandFlagBits(const uint8_t*, size_t, uint8_t*, size_t) {}
