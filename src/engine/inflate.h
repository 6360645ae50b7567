// The deflate decoder (method 8) and PKWARE's enhanced deflate (method 9).
#pragma once

#include "engine/decode_result.h"

struct EngineState;

// Decodes one complete deflate stream from the byte reader (readByte) into the output
// stage (flushOutput, or memoryOutput in memory mode, see field_block.h), through the
// 64 KiB window that carries over from one entry to the next. `enhanced` selects
// method 9. Answers a DecodeResult (DECODE_INCOMPLETE_LITERALS and DECODE_NO_DISTANCES
// for the two incomplete code sets that are refused) or the output stage's result.
int inflateData(EngineState* state, bool enhanced);

// Releases the cached fixed-code tables. They live inside the state, so this only
// forgets them; kept so that the state's release has one call for the decoders.
void releaseFixedTables(EngineState* state);
