// Output files: from a mapped name to a finished file (or test, or console output).
// flushOutput is the output stage of every decoder.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;
struct DirectoryRecord;

// Decides about the current entry's output name and an existing file; true when the
// entry is to be extracted.
bool prepareOutput(EngineState* state);

// Extracts (or tests, or writes to the console) the current entry.
int extractEntry(EngineState* state);

// Output stage: CRC, progress event, optional end-of-line conversion, write.
// Returns RC_OK, RC_ABORT or RC_DISKFULL; DECODE_READ_FAILED, writing nothing, once the
// archive could not be read.
int flushOutput(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink);

// Reports a failed write: message, diskFull set, RC_DISKFULL.
int reportWriteError(EngineState* state);

// Sets fileAttributes (and the POSIX mode) of the current entry from its central header.
void mapAttributes(EngineState* state);

// Limits the byte reader to the current entry's compressed bytes, and gives back
// the bytes set aside afterwards. readByte calls the first after each refill.
void limitInputToEntry(EngineState* state);
void restoreInput(EngineState* state);

// Records the directory just created from a directory entry (with its attributes and
// times) for applyDirectoryAttributes at the end of the run. RC_OK or RC_NOMEM.
int makeDirectoryRecord(EngineState* state, DirectoryRecord** record);

// Applies the attributes and times of a directory created from a directory entry.
int applyDirectoryAttributes(EngineState* state, DirectoryRecord* record);

// True when the extra field describes VMS variable-length records.
bool vmsRecordsVariable(EngineState* state, const uint8_t* extra, size_t length);

// Unpacks the data of a VMS attribute block (packing 0 stored, 1 flag bits, 2 a
// compressed field block); a new buffer, or nullptr.
uint8_t* unpackVmsBlock(EngineState* state, const uint8_t* data, size_t length,
                        size_t* unpackedLength);

// Produces n bytes from a bit stream: 0 gives a zero byte, 1 and 8 bits give a byte.
void expandFlagBits(const uint8_t* source, size_t sourceLength, uint8_t* target, size_t n);
