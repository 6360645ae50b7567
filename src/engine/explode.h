// Method 6, implode: a 4 or 8 KiB sliding dictionary with Shannon-Fano coded literals,
// lengths and distances.
#pragma once

#include "engine/decode_result.h"

struct EngineState;

// Decodes the current entry from the byte reader through the inflate window to
// flushOutput. Answers a DecodeResult (DECODE_SIZE_MISMATCH when the decoder did not
// end exactly at the end of the entry's data, the bytes it consumed then in the
// state's usedCompressed) or the output stage's result.
int explodeData(EngineState* state);
