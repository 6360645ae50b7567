// Method 1, shrink: dynamic LZW with codes of 9 to 13 bits and partial clearing.
#pragma once

struct EngineState;

// Decodes the current entry from the byte reader to flushOutput (fromShrink set).
// Answers 0, RC_ERROR, RC_NOMEM3, or the non-zero result of flushOutput.
int unshrinkData(EngineState* state);
