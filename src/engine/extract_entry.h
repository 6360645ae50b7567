// One selected entry through its decoder: the choice of decoder by method, the
// decoder's result turned into a message and a result code, and the CRC check.
#pragma once

struct EngineState;

// Extracts (or tests, or writes to the console) the current entry.
int extractEntry(EngineState* state);

// Limits the byte reader to the current entry's compressed bytes, and gives back
// the bytes set aside afterwards. readByte calls the first after each refill.
void limitInputToEntry(EngineState* state);
void restoreInput(EngineState* state);
