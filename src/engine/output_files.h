// Output files: from a mapped name to a finished file. flushOutput is the output stage
// of every decoder; it writes each block straight from the decoder's window.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Decides about the current entry's output name and an existing file; true when the
// entry is to be extracted.
bool prepareOutput(EngineState* state);

// Creates the output file (removing or backing up an old one). 0, or 1 after a message.
int openOutputFile(EngineState* state);
// Closes the output file and sets its attributes and times.
void closeOutputFile(EngineState* state);
// Removes an output file that holds nothing of the entry (its method cannot be decoded).
void discardOutputFile(EngineState* state);

// What flushOutput answers once the entry's data run past its declared size: only the
// declared bytes were passed on, and the decoder is to stop. extractEntry turns it into
// an error of the entry; it never leaves the engine.
constexpr int OUTPUT_OVER_SIZE = 90;

// Output stage: size limit, CRC, progress event, optional end-of-line conversion, write.
// Returns RC_OK, RC_ABORT, RC_DISKFULL or OUTPUT_OVER_SIZE; DECODE_READ_FAILED, passing
// nothing on, once the archive could not be read.
int flushOutput(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink);

// Writes bytes to the output file or the console. RC_OK or RC_DISKFULL.
int writeOutputBytes(EngineState* state, const uint8_t* bytes, size_t count);

// Reports a failed write: message, diskFull set, RC_DISKFULL.
int reportWriteError(EngineState* state);

// Sets fileAttributes (and the POSIX mode) of the current entry from its central header.
void mapAttributes(EngineState* state);
