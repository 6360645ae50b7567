// Placeholder until the decoder lands: every stream is refused as invalid data.
#include "engine/inflate.h"

#include "quenlow/unzip.h"

int inflateData(EngineState*, bool) { return DECODE_INVALID; }

int extractFieldBlock(EngineState*, uint8_t*, size_t, const uint8_t*, size_t) { return RC_ERROR; }

int memoryOutput(EngineState*, const uint8_t*, size_t) { return RC_DISKFULL; }

void releaseFixedTables(EngineState*) {}
