// Explode: the decoder for method 6, implode.
//
// The data opens with two or three code descriptions (literals when the entry's flags
// say so, then lengths, then distances), each a run-length list of code lengths.
// Then every item starts with one bit: 1 a literal (through the literal code, or 8
// plain bits without one), 0 a copy: the distance's low 6 bits (4 KiB dictionary) or
// 7 bits (8 KiB) as they are, its high part through the distance code, then the
// length through the length code, with 8 more bits for the last length code.
// The codes are stored complemented, so they are looked up with the complement of
// the next input bits.
//
// The decoder shares inflate's window as history and output buffer and its table
// builder. It does not look for the end of the data: a byte past the end reads as all
// ones, and the decoding stops when the entry's size has been produced. Whether it
// then stood exactly at the end of the compressed data is what tells a sound entry
// from a damaged one (DECODE_SIZE_MISMATCH, with the bytes consumed in usedCompressed).
//
// The bytes not yet consumed (unread input plus whole bytes in the bit buffer) can
// only fall as decoding goes on. Once they are below zero the entry is damaged
// whatever follows, so decoding stops there: a few hundred bytes that claim gigabytes
// would otherwise be decoded from padding for as long as the claimed size lasts.
#include "engine/explode.h"

#include <cstring>

#include "engine/inflate_table.h"
#include "engine/output_files.h"
#include "engine/reader.h"
#include "engine/state.h"
#include "engine/window.h"

namespace {

constexpr unsigned LITERAL_WIDTH = 9;
constexpr unsigned LENGTH_WIDTH = 7;
constexpr unsigned DISTANCE_WIDTH_SMALL = 7;
constexpr unsigned DISTANCE_WIDTH_LARGE = 8;
constexpr int64_t LARGE_INPUT = 200000;  // above this the distance table gets 8 bits

constexpr uint16_t FLAG_8K_DICTIONARY = 0x02;
constexpr uint16_t FLAG_LITERAL_TREE = 0x04;

struct Tables {
    uint16_t lengthsMin2[64];
    uint16_t lengthsMin3[64];
    uint8_t lengthExtra[64];
    uint16_t distances4k[64];
    uint16_t distances8k[64];
    uint8_t noExtra[64];
};
constexpr Tables makeTables() {
    Tables t{};
    for (int i = 0; i < 64; ++i) {
        t.lengthsMin2[i] = uint16_t(2 + i);
        t.lengthsMin3[i] = uint16_t(3 + i);
        t.lengthExtra[i] = i == 63 ? 8 : 0;
        t.distances4k[i] = uint16_t(1 + 64 * i);
        t.distances8k[i] = uint16_t(1 + 128 * i);
    }
    return t;
}
constexpr Tables tables = makeTables();

struct Exploder {
    EngineState* state;
    uint64_t bitBuffer;
    int bitCount;
    uint32_t position;
    bool flushed;      // the window has been handed on at least once for this entry
    uint32_t pastEnd;  // bytes asked for after the reader said end of data
};

// One item takes at most 1 + 7 + 16 + 16 + 8 = 48 bits, so a sound entry asks for at
// most 6 bytes past its end, all within its last item. More than this and the data has
// run out (an archive cut short, or sizes that claim more than the file holds, where
// the reader ends without the entry's bytes being used up): what follows would be
// decoded from padding for as long as the claimed size lasts.
constexpr uint32_t MAX_BYTES_PAST_END = 8;

// Compressed bytes of the entry not consumed yet; negative once more were consumed
// than the entry holds.
int64_t unconsumed(const Exploder& x) {
    return x.state->compressedLeft + x.state->inputCount + x.bitCount / 8;
}

// A byte of input; past the end of the data, all ones.
inline uint32_t nextByte(Exploder& x) {
    const int byte = readByte(x.state);
    if (byte != END_OF_DATA) return uint32_t(byte);
    ++x.pastEnd;
    return 0xFF;
}

inline void needBits(Exploder& x, int n) {
    while (x.bitCount < n) {
        x.bitBuffer |= uint64_t(nextByte(x)) << x.bitCount;
        x.bitCount += 8;
    }
}

inline uint32_t takeBits(Exploder& x, unsigned n) {
    needBits(x, int(n));
    const uint32_t value = uint32_t(x.bitBuffer & ((uint64_t(1) << n) - 1));
    x.bitBuffer >>= n;
    x.bitCount -= int(n);
    return value;
}

// Looks a code up with the complement of the next bits. False for an invalid code.
bool decode(Exploder& x, const DecodeTable& t, uint32_t& entry) {
    const unsigned root = t.rootBits;
    needBits(x, int(root));
    const uint64_t inverted = ~x.bitBuffer;
    entry = t.entries[inverted & ((1u << root) - 1)];
    unsigned length = entryCodeBits(entry);
    if (entry & ENTRY_LINK) {
        const unsigned sub = entryCodeBits(entry);
        needBits(x, int(root + sub));
        entry = t.entries[entryValue(entry) + ((~x.bitBuffer >> root) & ((1u << sub) - 1))];
        length = root + entryCodeBits(entry);
    }
    if (entry & ENTRY_INVALID) return false;
    x.bitBuffer >>= length;
    x.bitCount -= int(length);
    return true;
}

// Reads a code description of n code lengths and builds its table.
int readTree(Exploder& x, unsigned n, unsigned s, const uint16_t* base, const uint8_t* extra,
             unsigned width, DecodeTable& table) {
    uint8_t lengths[256];
    unsigned filled = 0;
    for (unsigned runs = nextByte(x) + 1; runs > 0; --runs) {
        const uint32_t b = nextByte(x);
        const unsigned length = (b & 0x0F) + 1;
        const unsigned count = (b >> 4) + 1;
        if (filled + count > n) return DECODE_BAD_CODES;
        std::memset(lengths + filled, int(length), count);
        filled += count;
    }
    if (filled != n) return DECODE_BAD_CODES;
    table = DecodeTable{};
    // The lengths are needed only while building: implode has no end-of-input rule.
    const int r = buildDecodeTable(lengths, n, s, base, extra, table, width, width);
    table.lengths = nullptr;
    return r;
}

int emitWindow(Exploder& x, uint32_t count) {
    x.flushed = true;
    return flushOutput(x.state, x.state->window(), count, false);
}

// Before the window is first handed on, what lies ahead of the position is not this
// entry's: a distance reaching there reads zeros.
int copyMatch(Exploder& x, uint32_t length, uint32_t distance) {
    return ::copyMatch(x.state->window(), x.position, length, distance, !x.flushed,
                       [&x] { return emitWindow(x, WINDOW_SIZE); });
}

struct TableSet {
    DecodeTable literals{}, lengths{}, distances{};
    ~TableSet() {
        releaseDecodeTable(literals);
        releaseDecodeTable(lengths);
        releaseDecodeTable(distances);
    }
};

int decodeItems(Exploder& x, const TableSet& t, bool literalTree, unsigned lowDistanceBits) {
    EngineState* s = x.state;
    uint64_t left = s->local.uncompressedSize;
    while (left > 0 && unconsumed(x) >= 0) {
        if (x.pastEnd > MAX_BYTES_PAST_END) return DECODE_INVALID;
        if (takeBits(x, 1)) {
            uint32_t byte;
            if (literalTree) {
                uint32_t entry = 0;
                if (!decode(x, t.literals, entry)) return DECODE_INVALID;
                byte = entrySymbol(entry);
            } else {
                byte = takeBits(x, 8);
            }
            s->window()[x.position++] = uint8_t(byte);
            if (x.position == WINDOW_SIZE) {
                x.position = 0;
                if (const int r = emitWindow(x, WINDOW_SIZE)) return r;
            }
            --left;
            continue;
        }
        const uint32_t low = takeBits(x, lowDistanceBits);
        uint32_t entry = 0;
        if (!decode(x, t.distances, entry)) return DECODE_INVALID;
        const uint32_t distance = entryValue(entry) + low;
        if (!decode(x, t.lengths, entry)) return DECODE_INVALID;
        uint32_t length = entryValue(entry);
        if (entryExtra(entry) != 0) length += takeBits(x, entryExtra(entry));
        left = left > length ? left - length : 0;
        if (const int r = copyMatch(x, length, distance)) return r;
    }
    return 0;
}

}  // namespace

int explodeData(EngineState* state) {
    EngineState* s = state;
    Exploder x{s, 0, 0, 0, false, 0};
    const uint16_t flags = s->local.flags;
    const bool literalTree = (flags & FLAG_LITERAL_TREE) != 0;
    const bool large = (flags & FLAG_8K_DICTIONARY) != 0;
    const unsigned distanceWidth =
        s->compressedLeft + s->inputCount > LARGE_INPUT ? DISTANCE_WIDTH_LARGE : DISTANCE_WIDTH_SMALL;

    TableSet t;
    int r = 0;
    if (literalTree) r = readTree(x, 256, 256, nullptr, nullptr, LITERAL_WIDTH, t.literals);
    if (r == 0)
        r = readTree(x, 64, 0, literalTree ? tables.lengthsMin3 : tables.lengthsMin2, tables.lengthExtra,
                     LENGTH_WIDTH, t.lengths);
    if (r == 0)
        r = readTree(x, 64, 0, large ? tables.distances8k : tables.distances4k, tables.noExtra,
                     distanceWidth, t.distances);
    if (r != 0) return r;

    r = decodeItems(x, t, literalTree, large ? 7 : 6);
    if (r != 0) return r;
    r = emitWindow(x, x.position);
    if (r != 0) return r;

    const int64_t unused = unconsumed(x);
    if (unused != 0) {
        s->usedCompressed = int64_t(s->local.compressedSize) - unused;
        return DECODE_SIZE_MISMATCH;
    }
    return 0;
}
