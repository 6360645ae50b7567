// The buffered archive reader: positioning by archive offset (with the correction
// `extraBytes` for bytes in front of the archive), runs of bytes, and the byte reader
// the decoders pull from.
//
// The archive is read only in whole 8192-byte blocks at multiples of 8192 from the file
// start (plus the correction). `bufferStart` is the file offset of the first block held
// in `inputBuffer`, `bufferBlocks` how many the load asked for; `inputPos`/`inputCount`
// are the next unread byte and how many remain. The byte reader's common path is
// inline: one test and one fetch. Only when the block is used up does `refillByte`
// run, and it answers END_OF_DATA once the current entry's compressed bytes
// (`compressedLeft`) are exhausted, so a decoder never reads into the next header.
// It loads as many of the blocks the entry's data still covers as it can at once, up
// to READ_AHEAD_BLOCKS: a system call per block costs more than decoding a block's
// worth of a fast stream takes in some places.
#pragma once

#include <cstdint>

#include "engine/state.h"

constexpr int READ_BLOCK = 8192;
constexpr int READ_AHEAD_BLOCKS = 8;
constexpr int INPUT_SPARE = 4;  // room after the first block for the backward signature scan
constexpr int INPUT_BUFFER_SIZE = READ_AHEAD_BLOCKS * READ_BLOCK + INPUT_SPARE;
constexpr int TEXT_CHUNK = 131072;  // archive comments are shown in chunks of this size
constexpr int OUTPUT_BUFFER_SIZE = TEXT_CHUNK + 1;

constexpr int END_OF_DATA = -1;

// No archive comes near this size (2 EiB). Offsets and sizes the archive claims are
// capped here before they are added, so that every sum of them stays inside 64 bits;
// a capped value points past the end of the file and reads as nothing.
constexpr int64_t ARCHIVE_OFFSET_LIMIT = int64_t(1) << 61;
inline int64_t claimedOffset(uint64_t value) {
    return value > uint64_t(ARCHIVE_OFFSET_LIMIT) ? ARCHIVE_OFFSET_LIMIT : int64_t(value);
}

// Positions the reader at an archive offset. RC_OK, RC_FATAL (before the file start,
// with a message) or RC_EOF (nothing to read there).
int seekArchive(EngineState* state, int64_t offset);

// Copies up to `count` bytes; answers how many were delivered (0 on a read error).
unsigned readBytes(EngineState* state, void* destination, unsigned count);

// Loads the next block for the byte reader and answers its first byte, or END_OF_DATA.
// A read error is reported once and sets readFailed; from then on the byte reader
// answers END_OF_DATA, so that a decoder ends as at the end of its data and returns.
int refillByte(EngineState* state);

// Next byte of the current entry's data (0-255) or END_OF_DATA.
inline int readByte(EngineState* state) {
    if (state->inputCount > 0) {
        --state->inputCount;
        return *state->inputPos++;
    }
    return refillByte(state);
}

// The archive offset of the next unread byte.
int64_t currentArchiveOffset(const EngineState* state);

// Makes the block buffer count as not loaded, so that the next seek reads again.
void forgetInputBlock(EngineState* state);
