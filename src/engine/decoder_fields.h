// Fields of the engine state owned by the decoders (inflate, CRC-32, shrink, implode).
//
// Plain data: the state is zero-filled per engine call, and every buffer the decoders
// work in lives here rather than on the heap, so nothing needs releasing and a
// decoder never fails for want of memory in the middle of an entry. Large arrays
// that an archive never needs (the shrink tables, the text buffer) cost no memory
// until touched, because the zero-filled state comes from fresh pages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/inflate_table.h"

constexpr uint32_t WINDOW_SIZE = 0x10000;           // inflate history and output staging
// Room after the window's end: inflate's fast loop decodes a whole code before it
// looks at the window's end again, so it may write this far past it (the bytes that
// belong to the next window, and a match copy's overshoot).
constexpr uint32_t WINDOW_SLACK = 512;
// Room before the window's start: the farthest a match reaches back (enhanced
// deflate's, the whole window). Once a stream's window has gone out whole, inflate
// keeps the window's last bytes there as they were, so that a match reaching back
// across the window's start reads one run of memory like any other.
constexpr uint32_t WINDOW_MIRROR = WINDOW_SIZE;
constexpr uint32_t SHRINK_CODES = 8192;             // 13-bit codes
constexpr uint32_t SHRINK_OUTPUT_BLOCK = 0x20000;   // shrink output is flushed in these
constexpr uint32_t SHRINK_TEXT_BUFFER = 0x40000;    // text conversion of shrink output
constexpr int PASSWORD_SIZE = 256;                  // password buffer, terminator included

// First-level widths of our layout: wide enough that nearly every code resolves in
// one load (literal/length codes rarely exceed 11 bits, distance codes 8). Tables in
// the state's storage, the fixed codes' included, always have exactly these widths,
// so that inflate's fast loop masks with constants.
constexpr unsigned LITERAL_LOOKUP_BITS = 11;
constexpr unsigned DISTANCE_LOOKUP_BITS = 8;
constexpr unsigned LENGTHS_LOOKUP_BITS = 7;

constexpr unsigned MAX_LITERAL_CODES = 288;
constexpr unsigned MAX_DISTANCE_CODES = 32;
constexpr uint32_t LITERAL_TABLE_SIZE =
    tableCapacity(LITERAL_LOOKUP_BITS, MAX_LITERAL_CODES, 15);
constexpr uint32_t DISTANCE_TABLE_SIZE =
    tableCapacity(DISTANCE_LOOKUP_BITS, MAX_DISTANCE_CODES, 15);
constexpr uint32_t LENGTHS_TABLE_SIZE = tableCapacity(LENGTHS_LOOKUP_BITS, 19, 7);

// The fixed code of one variant (deflate or enhanced deflate), built on first use.
struct FixedCodes {
    uint8_t built;
    DecodeTable literals;
    DecodeTable distances;
    uint32_t literalEntries[1u << LITERAL_LOOKUP_BITS];
    uint32_t distanceEntries[1u << DISTANCE_LOOKUP_BITS];
};

struct DecoderFields {
    // Inflate: the window is history and output buffer at once; its contents carry
    // over from one entry to the next and are never cleared. The bit state of a stream
    // lives in the decoder's locals for the length of one inflateData call.
    uint8_t windowArea[WINDOW_MIRROR + WINDOW_SIZE + WINDOW_SLACK];
    uint8_t* window() { return windowArea + WINDOW_MIRROR; }
    // An inflate match read bytes from before its stream's first output byte: what the
    // window held from an earlier entry. Set by inflate, cleared by whoever asks.
    bool reachedBeforeEntry;
    FixedCodes fixedCodes[2];  // [0] deflate, [1] enhanced deflate
    uint32_t literalEntries[LITERAL_TABLE_SIZE];
    uint32_t distanceEntries[DISTANCE_TABLE_SIZE];
    uint32_t lengthsEntries[LENGTHS_TABLE_SIZE];

    // Memory mode (extractFieldBlock): output to a buffer instead of flushOutput, and
    // end of data where the block's bytes end.
    uint8_t memoryMode;
    uint8_t* memoryTarget;
    size_t memoryRoom;
    size_t memoryProduced;
    uint8_t* memoryWindow;  // a block's own window, for the length of extractFieldBlock

    // Shrink: code table (parent, value), string stack, bit input.
    uint16_t shrinkParent[SHRINK_CODES];
    uint8_t shrinkValue[SHRINK_CODES];
    uint8_t shrinkStack[SHRINK_CODES];
    uint32_t shrinkBitBuffer;
    int shrinkBitCount;
    uint8_t shrinkEnd;
    // Conversion buffer that flushOutput uses for shrink output in text mode.
    uint8_t shrinkTextBuffer[SHRINK_TEXT_BUFFER];

    // Traditional decryption: the cipher's keys for the current entry, and the
    // password that opened the last entry (tried first on the next one).
    uint32_t cipherKeys[3];
    char password[PASSWORD_SIZE];
    uint8_t havePassword;

    // Implode: compressed bytes the decoder consumed, when they do not match the size.
    int64_t usedCompressed;
};
