// The deflate decoder (method 8, and PKWARE's enhanced deflate, method 9) and the
// in-memory extraction of compressed extra-field blocks that runs on it.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Decoder results shared by inflate and explode; any other value is a result of the
// output stage passed on unchanged (RC_DISKFULL, RC_ABORT).
enum DecoderResult {
    DECODE_OK = 0,
    DECODE_INVALID = 1,     // input ended, invalid code, bad stored length, overrun, incomplete set
    DECODE_BAD_CODES = 2,   // reserved block type 3, or an over-subscribed code set
    DECODE_NO_MEMORY = 3    // a decoding table could not be allocated
};

// Decodes one complete deflate stream from the byte reader (readByte) into the output
// stage (flushOutput, or memoryOutput inside extractFieldBlock), through the 64 KiB
// window that carries over from one entry to the next. `enhanced` selects method 9.
int inflateData(EngineState* state, bool enhanced);

// Extracts a compressed extra-field block (method u16, CRC-32 u32, data) into `target`.
// Answers RC_OK, RC_ERROR, RC_NOMEM3, or in test mode method * 256 + RC_ERROR.
int extractFieldBlock(EngineState* state, uint8_t* target, size_t targetSize,
                      const uint8_t* block, size_t blockSize);

// The output stage in memory mode: appends to the target, or RC_DISKFULL when the
// bytes would not fit (nothing is copied then).
int memoryOutput(EngineState* state, const uint8_t* bytes, size_t count);

// Releases the cached fixed-code tables. They live inside the state, so this only
// forgets them; kept so that the state's release has one call for the decoders.
void releaseFixedTables(EngineState* state);
