// Method 6, implode: a 4 or 8 KiB sliding dictionary with Shannon-Fano coded literals,
// lengths and distances.
#pragma once

struct EngineState;

// Decodes the current entry from the byte reader through the inflate window to
// flushOutput. Answers 0; 1, 2 or 4 for invalid data; 3 for lack of memory; 5 when the
// decoder did not end exactly at the end of the entry's data (the bytes it consumed
// are then in the state's usedCompressed); or the non-zero result of flushOutput.
int explodeData(EngineState* state);

// Result 5 of explodeData: compressed size not matched.
constexpr int EXPLODE_SIZE_MISMATCH = 5;
