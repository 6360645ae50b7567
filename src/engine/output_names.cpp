// Output names (being written).
#include "engine/output_names.h"

void prepareEntryName(EngineState*, bool) {}

int mapOutputName(EngineState*, bool) { return MAP_FAILED; }

int buildPath(EngineState*, char*, int) { return MAP_FAILED; }

void maskDeviceName(EngineState*, char*) {}

char* toShortName(const char*, char* destination) { return destination; }

const char* lastCharacter(const char* text, size_t) { return text; }
