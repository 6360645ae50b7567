// Listing mode: reports each selected entry of the central directory to the caller.
#pragma once

#include <cstdint>

struct EngineState;

// Walks the central directory from the reader's position and reports every selected
// entry through listEntry (or listEntry32); writes the totals when the walk ends
// normally. Returns the result code.
int listEntries(EngineState* state);

// Per mille saved by compression, rounded to nearest; negative when the data grew.
int32_t compressionRatio(uint64_t uncompressed, uint64_t compressed);
