// Compressed extra-field blocks (method u16, CRC-32 u32, data): unpacked in memory,
// with inflate reading from the block and writing to the caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Extracts a compressed extra-field block into `target`, leaving the reader as it was.
// Answers RC_OK, RC_EFTRUNC (no room for the header), RC_ERROR, RC_NOMEM3, or in test
// mode method * 256 + RC_ERROR (no message then, but for inflate's note).
int extractFieldBlock(EngineState* state, uint8_t* target, size_t targetSize,
                      const uint8_t* block, size_t blockSize);

// The output stage in memory mode: appends to the target, or RC_DISKFULL when the
// bytes would not fit (nothing is copied then).
int memoryOutput(EngineState* state, const uint8_t* bytes, size_t count);
