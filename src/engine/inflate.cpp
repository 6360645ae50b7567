// Inflate: the decoder for deflate (method 8) and enhanced deflate (method 9).
//
// Output goes straight into the 64 KiB window, which is both the history that
// back-references read and the buffer handed to the output stage, one full window at
// a time; its contents carry over from one entry to the next.
//
// Two loops decode the codes of a block:
//
// * The fast loop runs while at least FAST_INPUT_MIN bytes of the entry are buffered
//   in the reader's block and the window is not full. It keeps the bit buffer in a
//   64-bit register and refills it from eight bytes at once (only the whole bytes that
//   fit are counted as taken, so the reader's inputPos/inputCount stay exact), looks
//   codes up in wide first-level tables, and copies matches in 8-byte steps. It never
//   meets the end of the input, and it runs on past the end of the window into the
//   slack behind it: only between codes does it look whether the window is full. Then
//   the window goes out and what ran past its end moves to its start, outside the
//   loop. Once a stream's window has gone out whole, the room before the window holds
//   a copy of its last 32 KiB (64 KiB for enhanced deflate), so that no match wraps
//   around.
//
// * The careful loop decodes one code at a time, pulling single bytes from readByte
//   only when bits are needed, exactly as a byte-wise decoder would. It owns the end
//   of the reader's block and the end of the input, and wraps and flushes the window
//   itself, byte by byte. At the end of the input, missing bits read as zeros once; a
//   code that needed such bits leaves the bit count negative, and the next need of bits
//   fails the stream.
//
// Header parsing (block headers, stored lengths, the code lengths of dynamic blocks)
// always goes the careful way: it is a tiny share of the work.
#include "engine/inflate.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "engine/field_block.h"
#include "engine/output_files.h"
#include "engine/reader.h"
#include "engine/state.h"
#include "engine/window.h"

namespace {

// ---------------------------------------------------------------------------------------
// Length and distance alphabets. Index 0 is code 257 (lengths) or code 0 (distances).
// Method 9 differs in two places: length code 285 is base 3 with 16 extra bits
// (lengths 3..65,538), and distance codes 30 and 31 exist (14 extra bits, reaching
// back 65,536 bytes). Codes a variant does not define decode as invalid.

constexpr uint16_t lengthBase[2][31] = {
    {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
     35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0},
    {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
     35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3,   0,  0}};
constexpr uint8_t X = EXTRA_INVALID;
constexpr uint8_t lengthExtra[2][31] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, X, X},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16, X, X}};
constexpr uint16_t distanceBase[32] = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t distanceExtra[2][32] = {
    {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, X, X},
    {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14}};

// The farthest each variant reaches back: what the room before the window must hold.
constexpr uint32_t reach[2] = {distanceBase[29] + (1u << distanceExtra[0][29]) - 1,
                               distanceBase[31] + (1u << distanceExtra[1][31]) - 1};
static_assert(reach[0] == 0x8000 && reach[1] == WINDOW_MIRROR);

// The fixed code: literal/length lengths 8 (0..143), 9 (144..255), 7 (256..279),
// 8 (280..287); 32 distance codes of 5 bits.
struct FixedLengths {
    uint8_t literals[288];
    uint8_t distances[32];
};
constexpr FixedLengths makeFixedLengths() {
    FixedLengths f{};
    for (int i = 0; i < 288; ++i) f.literals[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    for (int i = 0; i < 32; ++i) f.distances[i] = 5;
    return f;
}
constexpr FixedLengths fixedLengths = makeFixedLengths();

// Order in which a dynamic block sends the code-length code's lengths.
constexpr uint8_t codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                         11, 4,  12, 3, 13, 2, 14, 1, 15};

// The fast loop refills its bit buffer at most twice per iteration, each time to at
// least 56 bits: once for up to three literals, or two and a length code with its
// extra bits; once for the distance code and its extra bits. A refill takes at most
// 7 bytes and loads 8, so 16 buffered bytes let one iteration run without a check.
constexpr int FAST_INPUT_MIN = 16;
// A deflate match copy starts with five 8-byte steps whatever its length (most matches
// are shorter, and a branch on the length costs more than the stores), so it may write
// up to OVER_COPY - 1 bytes beyond its end, and read as far beyond its source. One
// iteration writes at most three literals, or two and a match of 258 bytes (longer
// enhanced-deflate matches take the general copy), and it starts inside the window.
constexpr uint32_t OVER_COPY = 40;
static_assert(WINDOW_SIZE - 1 + 2 + 258 + OVER_COPY <= WINDOW_SIZE + WINDOW_SLACK);

// For a period of 2 to 7 bytes: the shortest stretch of whole periods that is at least
// 8 bytes long (a table, because a division costs more than the copy it prepares).
constexpr uint8_t wholePeriodsOf8[8] = {0, 8, 8, 9, 8, 10, 12, 14};

inline uint64_t load64le(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

constexpr uint64_t lowBits(unsigned n) { return (uint64_t(1) << n) - 1; }

// ---------------------------------------------------------------------------------------
// Decoder state for one stream. Kept in locals rather than in the engine state, so
// that an extra-field block inflated while an entry is being written (the output
// stage may need one) cannot disturb the entry's stream.

struct Inflater {
    EngineState* state;
    uint8_t* window;
    uint32_t position;   // next free byte of the window
    uint64_t bitBuffer;  // bits above bitCount are zero outside the fast loop
    int bitCount;        // negative: bits consumed beyond the end of the input
    int variant;         // 0 deflate, 1 enhanced deflate
    bool windowFilled;   // a whole window went out: every byte of it is this stream's
    uint32_t mirrorReach;  // bytes kept before the window (the variant's reach), or 0
                           // where the window has no room for them (a block's own)
    uint8_t lengths[MAX_LITERAL_CODES + MAX_DISTANCE_CODES];  // of the current dynamic block
};

// Hands the window's first `count` bytes to the output stage. A whole window also
// leaves its last bytes, as many as a match can reach back, in the room before its
// start: the bytes a match reaches across the start until the position passes that
// far again.
int emitWindow(Inflater& d, uint32_t count) {
    EngineState* s = d.state;
    d.windowFilled = true;
    if (count == WINDOW_SIZE && d.mirrorReach != 0)
        std::memcpy(d.window - d.mirrorReach, d.window + WINDOW_SIZE - d.mirrorReach,
                    d.mirrorReach);
    if (s->memoryMode) return memoryOutput(s, d.window, count);
    return flushOutput(s, d.window, count, false);
}

// ---------------------------------------------------------------------------------------
// Careful bit input: one byte at a time, only as needed.

// Fills the bit buffer with whole bytes from the reader's block in one load, when the
// block holds at least eight more: the same bytes needBits would take one at a time,
// in the same order, so nothing observable changes; it only spares the byte loop
// where codes are read one at a time (code lengths, the window's last bytes).
inline void topUpBits(Inflater& d) {
    EngineState* s = d.state;
    if (s->inputCount < 8 || d.bitCount < 0) return;
    const unsigned count = unsigned(d.bitCount);
    const unsigned taken = (63 - count) >> 3;
    d.bitBuffer = (d.bitBuffer | load64le(s->inputPos) << count) & lowBits(count + 8 * taken);
    s->inputPos += taken;
    s->inputCount -= int(taken);
    d.bitCount = int(count + 8 * taken);
}

// Makes n bits available. At the end of the input the missing bits read as zeros,
// unless bits are already owed (bit count negative): then the stream has failed.
inline bool needBits(Inflater& d, int n) {
    while (d.bitCount < n) {
        const int byte = readByte(d.state);
        if (byte == END_OF_DATA) return d.bitCount >= 0;
        if (d.bitCount < 0) return false;  // cannot happen: the end of data is final
        d.bitBuffer |= uint64_t(byte) << d.bitCount;
        d.bitCount += 8;
    }
    return true;
}

inline uint32_t takeBits(Inflater& d, unsigned n) {
    const uint32_t value = uint32_t(d.bitBuffer & lowBits(n));
    d.bitBuffer >>= n;
    d.bitCount -= int(n);
    return value;
}

// A code that runs past the end of the input still decodes when a classic two-level
// table (first level of the width the caller asked for, clamped to the lengths
// present; each second level just wide enough for the codes sharing its prefix, and
// narrowed so that the end-of-block code ends on a level boundary) would have read
// every level but the last from real bits: such a table asks for bits level by
// level, and only a level that starts beyond the end fails. Answers the depth at which
// the code's last level starts in that layout (0 for a code inside the first level).
// Runs only where the input has ended, so it may take its time.
unsigned classicLastLevel(const DecodeTable& t, uint64_t bits, unsigned length) {
    unsigned depth = t.classicWidth;
    if (length <= depth || t.lengths == nullptr) return 0;
    uint32_t code = 0;  // the code most significant bit first, as it was assigned
    for (unsigned i = 0; i < length; ++i) code = code << 1 | uint32_t((bits >> i) & 1);

    unsigned count[MAX_CODE_LENGTH + 1] = {};
    for (unsigned i = 0; i < t.count; ++i) ++count[t.lengths[i]];
    uint32_t first[MAX_CODE_LENGTH + 1] = {};
    for (unsigned len = 1, c = 0; len <= MAX_CODE_LENGTH; ++len) {
        c = (c + (len > 1 ? count[len - 1] : 0)) << 1;
        first[len] = c;
    }
    unsigned lastLevel = 0;
    while (length > depth) {
        lastLevel = depth;
        const uint32_t prefix = code >> (length - depth);
        unsigned longest = depth;
        uint32_t next[MAX_CODE_LENGTH + 1];
        std::memcpy(next, first, sizeof next);
        for (unsigned i = 0; i < t.count; ++i) {
            const unsigned len = t.lengths[i];
            if (len == 0) continue;
            const uint32_t c = next[len]++;
            if (len > depth && (c >> (len - depth)) == prefix && len > longest) longest = len;
        }
        unsigned width = longest - depth;
        if (width == 0) break;
        if (depth < t.endLength && depth + width > t.endLength) width = t.endLength - depth;
        depth += width;
    }
    return lastLevel;
}

// A length's entry in the literal/length tables, whose lengths hold the distance
// table's width where the code's bits were: the base and the count of extra bits.
inline unsigned lengthBaseOf(uint32_t entry) { return (entry >> 16) & 0x1FF; }
inline unsigned lengthExtraOf(uint32_t entry) { return (entry >> 25) & 0x1F; }
static_assert(lengthBase[0][28] < 0x200 && lengthExtra[1][28] <= 0x1F);

// The code's bits at an entry's level, where literals and lengths may hold a width
// instead: a literal has no extra bits, and a length's count of them is kept apart.
inline unsigned codeBitsOf(const DecodeTable& t, uint32_t entry) {
    if (t.literalsHoldWidth && (entry & ENTRY_LITERAL)) return entryConsumed(entry);
    if (t.lengthsHoldWidth && !(entry & (ENTRY_LITERAL | ENTRY_LINK | ENTRY_END | ENTRY_INVALID)))
        return entryConsumed(entry) - lengthExtraOf(entry);
    return entryCodeBits(entry);
}

// Decodes one code the careful way. Answers false when the input failed or the code
// is invalid; `entry` then says nothing.
bool decodeCareful(Inflater& d, const DecodeTable& t, uint32_t& entry) {
    const unsigned root = t.rootBits;
    if (!needBits(d, int(root))) return false;
    entry = t.entries[d.bitBuffer & lowBits(root)];
    unsigned length = codeBitsOf(t, entry);
    if (entry & ENTRY_LINK) {
        const unsigned sub = entryCodeBits(entry);
        if (!needBits(d, int(root + sub))) return false;
        entry = t.entries[entryValue(entry) + ((d.bitBuffer >> root) & lowBits(sub))];
        length = root + codeBitsOf(t, entry);
    }
    if (entry & ENTRY_INVALID) return false;
    if (int(length) > d.bitCount && d.bitCount < int(classicLastLevel(t, d.bitBuffer, length)))
        return false;
    d.bitBuffer >>= length;
    d.bitCount -= int(length);
    return true;
}

// ---------------------------------------------------------------------------------------
// Output into the window.

inline int putByte(Inflater& d, uint8_t byte) {
    d.window[d.position++] = byte;
    if (d.position < WINDOW_SIZE) return 0;
    d.position = 0;
    return emitWindow(d, WINDOW_SIZE);
}

// Copies a match of any length and distance; a distance reaching back before this
// entry's output reads what the window still holds, and the state notes that the
// output depends on an earlier entry's. Once the window has gone out whole with its
// last bytes kept before it, the source is the output `distance` behind, read there as
// the fast loop reads it: the bytes ahead of the position may be its over-copies.
inline int copyMatch(Inflater& d, uint32_t length, uint32_t distance) {
    if (d.windowFilled && d.mirrorReach != 0) {
        const uint8_t* from = d.window + d.position - distance;
        while (length > 0) {
            uint32_t run = WINDOW_SIZE - d.position;
            if (run > length) run = length;
            uint8_t* const to = d.window + d.position;
            for (uint32_t i = 0; i < run; ++i) to[i] = from[i];  // a near source repeats
            d.position += run;
            from += run;
            length -= run;
            if (d.position == WINDOW_SIZE) {
                d.position = 0;
                if (const int r = emitWindow(d, WINDOW_SIZE)) return r;
                from -= WINDOW_SIZE;  // inside the window when it filled: now in the room
            }
        }
        return 0;
    }
    if (distance > d.position && !d.windowFilled) d.state->reachedBeforeEntry = true;
    return ::copyMatch(d.window, d.position, length, distance, false,
                       [&d] { return emitWindow(d, WINDOW_SIZE); });
}

// ---------------------------------------------------------------------------------------
// The codes of one block.

// Copies a match inside the window in 8-byte steps. `from` is at least 8 bytes away
// from `to`: behind it, where each step reads only bytes already final, so that a
// match longer than its distance repeats its pattern as it must; or ahead of it, a
// source wrapped around the window's end. With `OverCopy` the copy may write up to
// OVER_COPY - 1 bytes past the match's end (and read as far past the source); without
// it the copy stops exactly.
template <bool OverCopy>
inline void copyInSteps(uint8_t* to, const uint8_t* from, uint32_t length) {
    uint8_t* const end = to + length;
    if (OverCopy) {
        // Written out: left as a loop, the five steps cost as much again in counting.
#pragma GCC unroll 5
        for (uint32_t i = 0; i < OVER_COPY; i += 8) std::memcpy(to + i, from + i, 8);
        to += OVER_COPY;
        from += OVER_COPY;
        while (to < end) {
            std::memcpy(to, from, 8);
            to += 8;
            from += 8;
        }
        return;
    }
    if (length < 8) {
        // A match is at least 3 bytes long. Two 4-byte steps, the second ending at the
        // match's end, cover 4 to 7 bytes; source and destination are 8 bytes apart.
        if (length >= 4) {
            std::memcpy(to, from, 4);
            std::memcpy(end - 4, from + length - 4, 4);
        } else {
            while (to < end) *to++ = *from++;
        }
        return;
    }
    while (end - to > 8) {
        std::memcpy(to, from, 8);
        to += 8;
        from += 8;
    }
    // The last step ends exactly at the match's end, rewriting some bytes with the
    // values they already have: its source bytes are final (copied or original).
    const uint32_t back = uint32_t(8 - (end - to));
    std::memcpy(to - back, from - back, 8);
}

// The first-level index (`Width` bits) of the code after a literal or a length,
// from the bits before that entry was consumed: one field extraction (BMI1's BEXTR)
// with the entry as its control, where the processor has it; the index does not wait
// for the shift that consumes the entry, which saves a step on the chain from one
// lookup to the next. Elsewhere the shift and a mask.
// (The instruction is written out: its intrinsic, compiled for BMI1 only, cannot be
// inlined into this template, which both compilations share.)
template <bool FieldExtract, unsigned Width>
__attribute__((always_inline)) inline uint64_t indexAfter(uint64_t before, uint32_t entry) {
#if defined(__x86_64__)
    if constexpr (FieldExtract) {
        uint64_t index;
        asm("bextr %2, %1, %0" : "=r"(index) : "r"(before), "r"(uint64_t(entry)));
        return index;
    }
#endif
    return (before >> entryConsumed(entry)) & lowBits(Width);
}

// Fast loop. Returns with `done` set and its result when the block ended (0) or the
// data was invalid (1); otherwise it stopped at a boundary the careful loop handles,
// with the bit buffer trimmed to its count and the reader's position written back.
//
// The tables have the state's first-level widths (the caller checks). Bit budget of
// one iteration: it starts with a refill to at least 56 bits. Three literals take
// at most 33 bits. Before a length code come at most two literals (22 bits); the
// length code takes its extra bits with it, at most 31 (11 + 4 through a link, plus
// 16 extra bits in enhanced deflate). A second refill (the distance's first-level entry
// is looked up just before it), then the distance code with its extra bits, at most 29.
// Each path ends by looking up the next literal/length entry, which the next iteration
// uses after its refill: a refill only adds bits above the count, so the bits that
// entry was looked up with stay as they were.
template <bool Enhanced, bool FieldExtract>
__attribute__((always_inline)) inline int decodeFast(Inflater& d, const DecodeTable& lit,
                                                     const DecodeTable& dist, bool& done) {
    // Once the window has gone out whole, every distance reaches bytes in memory behind
    // the output, the room before the window included: no wrap case.
    const bool reachesBehind = d.mirrorReach != 0 && d.windowFilled;
    // Deflate may write past a match's end (less than OVER_COPY bytes, overwritten by
    // what follows, and 32 KiB away from any byte a deflate distance can still reach).
    // Enhanced deflate reaches back the whole window: until nothing it reads lies ahead
    // of the output, its copies stop exactly.
    const bool overCopy = !Enhanced || reachesBehind;
    auto copySteps = [&](uint8_t* to, const uint8_t* from, uint32_t length) {
        if (overCopy)
            copyInSteps<true>(to, from, length);
        else
            copyInSteps<false>(to, from, length);
    };
    EngineState* s = d.state;
    const uint8_t* in = s->inputPos;
    const uint8_t* const inEnd = in + s->inputCount;
    const uint8_t* const inLast = inEnd - FAST_INPUT_MIN;
    uint64_t bits = d.bitBuffer;
    // Only the low byte of `count` is kept: consuming subtracts a whole entry, whose low
    // byte is the bits it takes (at most what the count holds, so nothing borrows from
    // that byte), which spares taking that byte out of every entry. The byte never
    // exceeds 63, so its low six bits are all of it.
    uint32_t count = uint32_t(d.bitCount);
    uint8_t* const window = d.window;
    uint8_t* out = window + d.position;
    const uint8_t* const windowEnd = window + WINDOW_SIZE;
    const uint32_t* const litEntries = lit.entries;
    const uint32_t* const distEntries = dist.entries;
    constexpr uint64_t litMask = lowBits(LITERAL_LOOKUP_BITS);
    int result = 0;
    done = false;

    // Whole bytes only are counted as taken, so the reader's position stays exact.
    auto refill = [&] {
        bits |= load64le(in) << (count & 63);
        in += 7 - ((count >> 3) & 7);
        count |= 56;
    };
    auto consume = [&](uint32_t entry) {
        bits >>= entryConsumed(entry);
        count -= entry;
    };
    // The extra bits of a distance entry just consumed from `before`. Bits 8..13 of a
    // valid distance entry are its code's bits (the invalid flag above them is clear),
    // and a shift takes only six bits of its count.
    auto distanceExtraValue = [](uint64_t before, uint32_t entry) {
        return uint32_t((before & lowBits(entryConsumed(entry))) >> ((entry >> 8) & 63));
    };
    // The same for a length, whose code's bits are what its extra bits leave.
    auto lengthExtraValue = [](uint64_t before, uint32_t entry) {
        const unsigned consumed = entryConsumed(entry);
        return uint32_t((before & lowBits(consumed)) >> (consumed - lengthExtraOf(entry)));
    };

    // The entry of the code after a literal consumed from `before`.
    auto afterLiteral = [&](uint64_t before, uint32_t literal) {
        return litEntries[indexAfter<FieldExtract, LITERAL_LOOKUP_BITS>(before, literal)];
    };

    refill();
    uint32_t entry = litEntries[bits & litMask];
    while (in <= inLast && out < windowEnd) {
        refill();
        if (entry & ENTRY_LITERAL) {
            // Up to three first-level literals; each next entry is loaded before the
            // byte is stored.
            uint8_t byte = uint8_t(entrySymbol(entry));
            uint64_t before = bits;
            consume(entry);
            entry = afterLiteral(before, entry);
            *out++ = byte;
            if (entry & ENTRY_LITERAL) {
                byte = uint8_t(entrySymbol(entry));
                before = bits;
                consume(entry);
                entry = afterLiteral(before, entry);
                *out++ = byte;
                if (entry & ENTRY_LITERAL) {
                    byte = uint8_t(entrySymbol(entry));
                    before = bits;
                    consume(entry);
                    entry = afterLiteral(before, entry);
                    *out++ = byte;
                    continue;
                }
            }
        }
        if (entry & ENTRY_LINK) {
            const uint32_t link = entry;
            consume(link);
            entry = litEntries[entryValue(link) + (bits & lowBits(entryCodeBits(link)))];
            if (entry & ENTRY_LITERAL) {
                const uint8_t byte = uint8_t(entrySymbol(entry));
                const uint64_t before = bits;
                consume(entry);
                entry = afterLiteral(before, entry);
                *out++ = byte;
                continue;
            }
        }
        if (entry & (ENTRY_END | ENTRY_INVALID)) {
            consume(entry);
            done = true;
            result = (entry & ENTRY_END) ? 0 : DECODE_INVALID;
            break;
        }
        uint64_t before = bits;
        consume(entry);
        const uint32_t length = lengthBaseOf(entry) + lengthExtraValue(before, entry);

        // Looked up before the refill, so that the lookup does not wait for it: after
        // a refill all 64 bits hold input, and of them at most 53 have been consumed
        // since, so the 8 after the length are input already and the refill leaves
        // them as they are.
        entry = distEntries[indexAfter<FieldExtract, DISTANCE_LOOKUP_BITS>(before, entry)];
        refill();
        if (entry & ENTRY_LINK) {
            const uint32_t link = entry;
            consume(link);
            entry = distEntries[entryValue(link) + (bits & lowBits(entryCodeBits(link)))];
        }
        if (entry & ENTRY_INVALID) {
            done = true;
            result = DECODE_INVALID;
            break;
        }
        before = bits;
        consume(entry);
        const uint32_t distance = entryValue(entry) + distanceExtraValue(before, entry);
        entry = litEntries[bits & litMask];

        uint8_t* to = out;
        const uint32_t pos = uint32_t(out - window);
        const bool longMatch = Enhanced && length > 258;
        if ((!reachesBehind && distance > pos) || longMatch) {
            // The source wraps around the window's end (before the window first went
            // out, or in a block's own window, which has no room before it). Where it
            // lies whole before that end, far enough ahead of the destination, it is
            // one forward copy; the general copy takes the rest
            // (and long enhanced-deflate matches, which may flush the window, and
            // sources from before the stream's start, which it notes).
            const uint32_t from = pos + WINDOW_SIZE - distance;
            if (!longMatch && d.windowFilled && from >= pos + 8 &&
                from + length + OVER_COPY <= WINDOW_SIZE) {
                copySteps(to, window + from, length);
                out += length;
                continue;
            }
            d.position = pos;
            result = copyMatch(d, length, distance);
            out = window + d.position;
            if (result != 0) {
                done = true;
                break;
            }
            continue;
        }
        const uint8_t* from = to - distance;
        out += length;
        if (distance >= 8) {
            copySteps(to, from, length);
        } else if (distance == 1) {
            // A run of one byte, in whole words of it: most runs are short, and
            // word stores in line beat a call to memset for them.
            const uint64_t run = 0x0101010101010101u * to[-1];
            uint8_t* const end = to + length;
            if (overCopy) {
#pragma GCC unroll 5
                for (uint32_t i = 0; i < OVER_COPY; i += 8) std::memcpy(to + i, &run, 8);
                to += OVER_COPY;
            }
            for (; overCopy ? to < end : end - to >= 8; to += 8) std::memcpy(to, &run, 8);
            while (to < end) *to++ = uint8_t(run);
        } else {
            // A period of 2 to 7 bytes: write one stretch of whole periods of at least
            // 8 bytes, then repeat it in 8-byte steps from that far back (stopping
            // exactly, bytewise, for enhanced deflate).
            uint8_t* const end = to + length;
            const uint32_t step = wholePeriodsOf8[distance];
            uint8_t* const stepEnd = length > step ? to + step : end;
            if (overCopy) {
                // The stretch in words one period apart: each word starts with the
                // period its predecessor made final, and what it writes beyond that
                // the next word (or what follows the match) writes again.
                for (uint8_t* at = to; at < stepEnd; at += distance) {
                    uint64_t word;
                    std::memcpy(&word, at - distance, 8);
                    std::memcpy(at, &word, 8);
                }
                to = stepEnd;
            } else {
                while (to < stepEnd) *to++ = *from++;
            }
            from = to - step;
            while (overCopy ? to < end : end - to >= 8) {
                std::memcpy(to, from, 8);
                to += 8;
                from += 8;
            }
            while (to < end) *to++ = *from++;
        }
    }

    // Give back what the careful loop expects: bits above the count cleared.
    s->inputPos = const_cast<uint8_t*>(in);
    s->inputCount = int(inEnd - in);
    count &= 63;
    d.bitBuffer = bits & lowBits(count);
    d.bitCount = int(count);
    d.position = uint32_t(out - window);
    return result;
}

int decodeFastPlain(Inflater& d, const DecodeTable& lit, const DecodeTable& dist, bool& done) {
    return d.variant ? decodeFast<true, false>(d, lit, dist, done)
                     : decodeFast<false, false>(d, lit, dist, done);
}

// The fast loop, compiled twice where the processor may have BMI1 and BMI2: its
// variable-count shifts and masks (one instruction each there instead of three or
// four) are much of the loop's work, and BEXTR serves the lookups after a literal and
// after a length (64-bit code only: the 32-bit build keeps the bit buffer in two
// registers). Chosen once at start-up by the processor's answer.
#if defined(__x86_64__) || defined(__i386__)
bool processorHasBmi() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_BMI) != 0 &&
           (ebx & bit_BMI2) != 0;
}
const bool useBmi = processorHasBmi();

__attribute__((target("bmi,bmi2"))) int decodeFastBmi(Inflater& d, const DecodeTable& lit,
                                                      const DecodeTable& dist, bool& done) {
    constexpr bool fieldExtract = sizeof(void*) == 8;
    return d.variant ? decodeFast<true, fieldExtract>(d, lit, dist, done)
                     : decodeFast<false, fieldExtract>(d, lit, dist, done);
}

inline int decodeFastFor(Inflater& d, const DecodeTable& lit, const DecodeTable& dist, bool& done) {
    return useBmi ? decodeFastBmi(d, lit, dist, done) : decodeFastPlain(d, lit, dist, done);
}
#else
inline int decodeFastFor(Inflater& d, const DecodeTable& lit, const DecodeTable& dist, bool& done) {
    return decodeFastPlain(d, lit, dist, done);
}
#endif

// After the fast loop ran past the window's end: the full window goes out, as the
// careful loop would have sent it on reaching its end, and what lies beyond the end
// moves to the start.
int wrapWindow(Inflater& d) {
    const int r = emitWindow(d, WINDOW_SIZE);
    d.position -= WINDOW_SIZE;
    std::memcpy(d.window, d.window + WINDOW_SIZE, d.position);
    return r;
}

int decodeCodes(Inflater& d, const DecodeTable& lit, const DecodeTable& dist) {
    for (;;) {
        if (d.state->inputCount >= FAST_INPUT_MIN && d.bitCount >= 0 &&
            lit.rootBits == LITERAL_LOOKUP_BITS && dist.rootBits == DISTANCE_LOOKUP_BITS) {
            bool done = false;
            int r = decodeFastFor(d, lit, dist, done);
            if (d.position >= WINDOW_SIZE)
                if (const int emitted = wrapWindow(d)) r = emitted;
            if (done || r != 0) return r;
        }
        if (d.bitCount < 48) topUpBits(d);
        uint32_t entry = 0;
        if (!decodeCareful(d, lit, entry)) return DECODE_INVALID;
        if (entry & ENTRY_LITERAL) {
            if (const int r = putByte(d, uint8_t(entrySymbol(entry)))) return r;
            continue;
        }
        if (entry & ENTRY_END) return 0;
        const unsigned lengthBits = lengthExtraOf(entry);
        if (!needBits(d, int(lengthBits))) return DECODE_INVALID;
        const uint32_t length = lengthBaseOf(entry) + takeBits(d, lengthBits);
        if (!decodeCareful(d, dist, entry)) return DECODE_INVALID;
        const unsigned distanceBits = entryExtra(entry);
        if (!needBits(d, int(distanceBits))) return DECODE_INVALID;
        const uint32_t distance = entryValue(entry) + takeBits(d, distanceBits);
        if (const int r = copyMatch(d, length, distance)) return r;
    }
}

// ---------------------------------------------------------------------------------------
// Blocks.

int storedBlock(Inflater& d) {
    takeBits(d, unsigned(d.bitCount) & 7);
    if (!needBits(d, 16)) return DECODE_INVALID;
    uint32_t length = takeBits(d, 16);
    if (!needBits(d, 16)) return DECODE_INVALID;
    const uint32_t check = takeBits(d, 16);
    if (length != (~check & 0xFFFF)) return DECODE_INVALID;

    EngineState* s = d.state;
    while (length > 0) {
        if (d.bitCount == 0 && s->inputCount > 0) {
            // Whole bytes straight from the reader's block.
            uint32_t run = WINDOW_SIZE - d.position;
            if (run > length) run = length;
            if (run > uint32_t(s->inputCount)) run = uint32_t(s->inputCount);
            std::memcpy(d.window + d.position, s->inputPos, run);
            s->inputPos += run;
            s->inputCount -= int(run);
            d.position += run;
            length -= run;
            if (d.position == WINDOW_SIZE) {
                d.position = 0;
                if (const int r = emitWindow(d, WINDOW_SIZE)) return r;
            }
            continue;
        }
        if (!needBits(d, 8)) return DECODE_INVALID;
        if (const int r = putByte(d, uint8_t(takeBits(d, 8)))) return r;
        --length;
    }
    return 0;
}

// Makes the variant's fixed-code tables, once per engine call.
int prepareFixedCodes(FixedCodes& fixed, int variant) {
    if (fixed.built) return 0;
    fixed.literals = DecodeTable{};
    fixed.literals.entries = fixed.literalEntries;
    fixed.literals.capacity = sizeof fixed.literalEntries / sizeof(uint32_t);
    fixed.literals.literalsHoldWidth = 1;
    fixed.literals.lengthsHoldWidth = DISTANCE_LOOKUP_BITS;
    unsigned width = 7;
    int r = buildDecodeTable(fixedLengths.literals, 288, 257, lengthBase[variant],
                             lengthExtra[variant], fixed.literals, width, LITERAL_LOOKUP_BITS);
    if (r != 0) return r;
    fixed.distances = DecodeTable{};
    fixed.distances.entries = fixed.distanceEntries;
    fixed.distances.capacity = sizeof fixed.distanceEntries / sizeof(uint32_t);
    width = 5;
    r = buildDecodeTable(fixedLengths.distances, 32, 0, distanceBase, distanceExtra[variant],
                         fixed.distances, width, DISTANCE_LOOKUP_BITS);
    if (r > 1) return r;
    fixed.built = 1;
    return 0;
}

int fixedBlock(Inflater& d) {
    FixedCodes& fixed = d.state->fixedCodes[d.variant];
    if (const int r = prepareFixedCodes(fixed, d.variant)) return r;
    return decodeCodes(d, fixed.literals, fixed.distances);
}

// Dynamic tables live in the engine state, except in memory mode, where an
// extra-field block may be inflated while an entry's block still uses them: those
// get storage of their own, released with the block.
DecodeTable dynamicTable(Inflater& d, uint32_t* storage, uint32_t capacity) {
    DecodeTable t{};
    if (!d.state->memoryMode) {
        t.entries = storage;
        t.capacity = capacity;
    }
    return t;
}

// Code-length symbols 16, 17 and 18: the previous length 3..6 times, zeros 3..10
// times, zeros 11..138 times. Places the repeat, unless it runs past the end.
constexpr uint8_t repeatExtraBits[3] = {2, 3, 7};
inline bool placeRepeat(uint8_t* lengths, unsigned total, unsigned& i, unsigned& previous,
                        unsigned symbol, uint32_t extra) {
    const unsigned repeat = (symbol == 18 ? 11 : 3) + extra;
    const unsigned value = symbol == 16 ? previous : 0;
    if (repeat > total - i) return false;
    std::memset(lengths + i, int(value), repeat);
    i += repeat;
    previous = value;
    return true;
}

// The code lengths of a dynamic block, as many as the reader's block allows: a symbol
// and its extra bits take at most 14 bits, so the bit buffer is topped up to at least
// 56 only when fewer are left and the block still holds eight bytes. The same bits in
// the same order as the careful loop takes them; they stay in locals here because a
// length stored into the decoder's record would otherwise make the compiler reload
// the record's bit buffer for every symbol. Answers false for an invalid code or a
// repeat past the end, else true with `i` and `previous` where it stopped.
bool codeLengthsFromBlock(Inflater& d, const DecodeTable& table, unsigned total, unsigned& i,
                         unsigned& previous) {
    EngineState* s = d.state;
    if (d.bitCount < 0 || table.rootBits != LENGTHS_LOOKUP_BITS) return true;
    const uint8_t* in = s->inputPos;
    const uint8_t* const inEnd = in + s->inputCount;
    uint64_t bits = d.bitBuffer;
    unsigned count = unsigned(d.bitCount);
    uint8_t* const lengths = d.lengths;
    auto take = [&](unsigned n) {
        const uint32_t value = uint32_t(bits & lowBits(n));
        bits >>= n;
        count -= n;
        return value;
    };
    bool valid = true;
    while (i < total) {
        if (count < 14) {
            if (inEnd - in < 8) break;
            // Bits above the count may hold the next byte's low bits already; the
            // next top-up puts the same bits there.
            bits |= load64le(in) << count;
            const unsigned taken = (63 - count) >> 3;
            in += taken;
            count += 8 * taken;
        }
        const uint32_t entry = table.entries[bits & lowBits(LENGTHS_LOOKUP_BITS)];
        if (entry & ENTRY_INVALID) {
            valid = false;
            break;
        }
        take(entryConsumed(entry));  // these codes carry no extra bits in the table
        const unsigned symbol = entrySymbol(entry);
        if (symbol < 16) {
            lengths[i++] = uint8_t(previous = symbol);
            continue;
        }
        if (!placeRepeat(lengths, total, i, previous, symbol, take(repeatExtraBits[symbol - 16]))) {
            valid = false;
            break;
        }
    }
    s->inputPos = const_cast<uint8_t*>(in);
    s->inputCount = int(inEnd - in);
    d.bitBuffer = bits & lowBits(count);
    d.bitCount = int(count);
    return valid;
}

struct TablesGuard {
    DecodeTable& a;
    DecodeTable& b;
    ~TablesGuard() {
        releaseDecodeTable(a);
        releaseDecodeTable(b);
    }
};

int dynamicBlock(Inflater& d) {
    EngineState* s = d.state;
    if (!needBits(d, 5)) return DECODE_INVALID;
    const unsigned literalCount = takeBits(d, 5) + 257;
    if (!needBits(d, 5)) return DECODE_INVALID;
    const unsigned distanceCount = takeBits(d, 5) + 1;
    if (!needBits(d, 4)) return DECODE_INVALID;
    const unsigned lengthCodes = takeBits(d, 4) + 4;

    uint8_t codeLengths[19] = {};
    for (unsigned i = 0; i < lengthCodes; ++i) {
        if (!needBits(d, 3)) return DECODE_INVALID;
        codeLengths[codeLengthOrder[i]] = uint8_t(takeBits(d, 3));
    }
    DecodeTable lit = dynamicTable(d, s->literalEntries, LITERAL_TABLE_SIZE);
    lit.literalsHoldWidth = 1;
    lit.lengthsHoldWidth = DISTANCE_LOOKUP_BITS;
    DecodeTable dist = dynamicTable(d, s->distanceEntries, DISTANCE_TABLE_SIZE);
    TablesGuard guard{lit, dist};
    {
        DecodeTable lengthsTable = dynamicTable(d, s->lengthsEntries, LENGTHS_TABLE_SIZE);
        TablesGuard lengthsGuard{lengthsTable, lengthsTable};
        unsigned width = 7;
        int r = buildDecodeTable(codeLengths, 19, 19, nullptr, nullptr, lengthsTable, width,
                                 LENGTHS_LOOKUP_BITS);
        if (r == 0 && width == 0) r = DECODE_INVALID;
        if (r != 0) return r;

        // Literal/length and distance lengths form one sequence: repeats may cross
        // from one into the other, never past its end.
        const unsigned total = literalCount + distanceCount;
        unsigned previous = 0;
        for (unsigned i = 0; i < total;) {
            if (!codeLengthsFromBlock(d, lengthsTable, total, i, previous)) return DECODE_INVALID;
            if (i == total) break;
            // Near the end of the reader's block (or with a narrower table of its own in
            // memory mode), one symbol the careful way.
            if (d.bitCount < 14) topUpBits(d);
            uint32_t entry = 0;
            if (!decodeCareful(d, lengthsTable, entry)) return DECODE_INVALID;
            const unsigned symbol = entrySymbol(entry);
            if (symbol < 16) {
                d.lengths[i++] = uint8_t(previous = symbol);
                continue;
            }
            const unsigned extraBits = repeatExtraBits[symbol - 16];
            if (!needBits(d, int(extraBits)) ||
                !placeRepeat(d.lengths, total, i, previous, symbol, takeBits(d, extraBits)))
                return DECODE_INVALID;
        }
    }

    unsigned width = 9;
    int r = buildDecodeTable(d.lengths, literalCount, 257, lengthBase[d.variant],
                             lengthExtra[d.variant], lit, width, LITERAL_LOOKUP_BITS);
    if (r == 0 && width == 0) r = DECODE_INVALID;
    if (r == DECODE_INVALID) return DECODE_INCOMPLETE_LITERALS;
    if (r != 0) return r;

    width = 6;
    r = buildDecodeTable(d.lengths + literalCount, distanceCount, 0, distanceBase,
                         distanceExtra[d.variant], dist, width, DISTANCE_LOOKUP_BITS);
    if (r == DECODE_INVALID) r = 0;  // an incomplete distance code is usable
    if (r == 0 && width == 0 && literalCount > 257) return DECODE_NO_DISTANCES;
    if (r != 0) return r;

    return decodeCodes(d, lit, dist);
}

}  // namespace

// ---------------------------------------------------------------------------------------

int inflateData(EngineState* state, bool enhanced) {
    Inflater d;
    d.state = state;
    d.window = state->memoryMode ? state->memoryWindow : state->window();
    d.position = 0;
    d.bitBuffer = 0;
    d.bitCount = 0;
    d.variant = enhanced ? 1 : 0;
    d.windowFilled = false;
    d.mirrorReach = d.window == state->window() ? reach[d.variant] : 0;

    for (bool last = false; !last;) {
        if (!needBits(d, 1)) return DECODE_INVALID;
        last = takeBits(d, 1) != 0;
        if (!needBits(d, 2)) return DECODE_INVALID;
        int r;
        switch (takeBits(d, 2)) {
            case 0: r = storedBlock(d); break;
            case 1: r = fixedBlock(d); break;
            case 2: r = dynamicBlock(d); break;
            default: r = DECODE_BAD_CODES; break;
        }
        if (r != 0) return r;
    }
    return emitWindow(d, d.position);
}

void releaseFixedTables(EngineState* state) {
    for (FixedCodes& fixed : state->fixedCodes) fixed.built = 0;
}
