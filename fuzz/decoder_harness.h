// The decoders on their own, fed through the engine's archive reader and written
// through its output stage, as extractEntry runs them but without an archive around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

struct DecoderInput {
    unsigned method;            // 1 shrink, 6 implode, 8 deflate, 9 enhanced deflate
    uint16_t flags = 0;         // general-purpose flags (implode's variant)
    uint64_t uncompressedSize = 0;
};

struct DecoderOutcome {
    int result;                    // the decoder's own result
    std::vector<uint8_t> output;   // everything the output stage passed on
};

// Output beyond this many bytes is refused by the output stage (a write failure), so
// that a small input cannot make a run take minutes.
constexpr size_t kOutputLimit = size_t(64) << 20;

// Runs the decoder in a fresh engine state. The stream lies in an in-memory archive file
// between other bytes, at an offset that depends on its length so that the reader's
// block boundaries fall at every position of some stream; the reader is limited to the
// stream as for an entry. The output goes to the console output stage and is collected.
DecoderOutcome runDecoder(const uint8_t* stream, size_t size, const DecoderInput& input);

// Inflate as extractFieldBlock runs it: input from memory, output to a memory target of
// `room` bytes (RC_DISKFULL when it would not fit).
DecoderOutcome runInflateInMemory(const uint8_t* stream, size_t size, bool enhanced, size_t room);

// extractFieldBlock on a compressed extra-field block (method, CRC, data) into a
// target of exactly `targetSize` bytes, in test mode or not; answers its result.
int runFieldBlock(const uint8_t* block, size_t size, size_t targetSize, bool testOnly);

} // namespace fuzz
