// Method 1, shrink: dynamic LZW with codes of 9 to 13 bits and partial clearing.
#pragma once

#include "engine/decode_result.h"

struct EngineState;

// Decodes the current entry from the byte reader to flushOutput (fromShrink set).
// Answers DECODE_OK, DECODE_INVALID or the output stage's result.
int unshrinkData(EngineState* state);
