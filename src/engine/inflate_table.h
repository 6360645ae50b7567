// Decoding tables for prefix codes (deflate's Huffman codes, implode's Shannon-Fano
// trees), built from code lengths by canonical assignment.
//
// A table is one array of 32-bit entries: a first level indexed by the next `rootBits`
// input bits (least significant bit first, as the codes arrive), followed by the
// second-level tables of the codes longer than that. One load resolves every code of
// at most `rootBits` bits; longer codes take one more load through a link entry.
// An entry packs:
//   bits 0..7    bits this entry takes at its level: the code's bits there plus the
//                extra bits of a length or distance, so that one shift consumes both
//                (a link: the first-level width)
//   bits 8..12   the code's bits at this level; the extra bits follow them (a link:
//                the second-level width; a literal or a length in a table that asks
//                for it: a width, see literalsHoldWidth)
//   bit  13      invalid: no code reaches here, or the code has no meaning
//   bit  14      end of block
//   bit  15      link: `value` is the second-level table's start
//   bits 16..31  value: base value or second-level start
//   bit  31      literal, with the symbol (a byte or a code-length symbol) in bits
//                16..23. Length bases and the links of inflate's literal/length
//                tables stay below 32,768, so there a literal is told by the sign
//                alone; other tables are read link first.
// The low byte holding nothing but a bit count lets the decoder subtract it as it is.
#pragma once

#include <cstdint>

constexpr uint32_t ENTRY_INVALID = 1u << 13;
constexpr uint32_t ENTRY_END = 1u << 14;
constexpr uint32_t ENTRY_LINK = 1u << 15;
constexpr uint32_t ENTRY_LITERAL = 1u << 31;

inline unsigned entryConsumed(uint32_t entry) { return entry & 0xFF; }
inline unsigned entryCodeBits(uint32_t entry) { return (entry >> 8) & 0x1F; }
inline unsigned entryExtra(uint32_t entry) { return entryConsumed(entry) - entryCodeBits(entry); }
inline unsigned entryValue(uint32_t entry) { return entry >> 16; }
inline unsigned entrySymbol(uint32_t entry) { return (entry >> 16) & 0xFF; }

// Marks a code in the base/extra tables that the variant does not define.
constexpr uint8_t EXTRA_INVALID = 0xFF;

constexpr unsigned MAX_CODE_LENGTH = 16;

struct DecodeTable {
    uint32_t* entries;       // first level, then second levels
    uint32_t capacity;       // entries available when the storage is the caller's
    uint8_t ownsEntries;     // allocated by the builder: released by releaseDecodeTable
    uint8_t rootBits;        // first-level index width of this layout
    // What a classic two-level table of the caller's first-level width would look like;
    // the decoder uses it only where input runs out, to fail exactly where such a
    // table would have asked for bits past the end (see inflate.cpp).
    uint8_t classicWidth;
    uint8_t endLength;       // length of the end-of-block code (n > 256), else 16
    // Set by the caller before building, only where a literal is told by the sign
    // alone (inflate's literal/length tables): bits 0..15 of a literal's or a length's
    // entry are then a bit-field extraction's control for the lookup that follows it,
    // from the bits before the entry was consumed: start past its code (the low byte,
    // as always), and in bits 8..15 the width of the next first-level index, this
    // table's after a literal, `lengthsHoldWidth` after a length. A literal's code bits
    // are then its low byte alone; a length's are its low byte less its extra bits,
    // whose count moves to bits 25..29 (a length's base stays below 512).
    uint8_t literalsHoldWidth;
    uint8_t lengthsHoldWidth;
    uint16_t count;          // number of code lengths
    const uint8_t* lengths;  // the code lengths, kept by the caller for the table's life
};

// Results of buildDecodeTable: 0 complete; 1 incomplete (usable, unused positions are
// invalid) or empty input where not allowed; 2 over-subscribed; 3 out of memory.
//
// `lengths`: n values 0..16 (n at most 288). Codes below `s` are literals (below 256)
// or end of block (256); code c >= s takes base[c - s] and extra[c - s]. `width` is the
// caller's first-level width; it comes back clamped to the code lengths present (0 for
// an empty set). `lookupBits` is the first-level width of our layout (clamped the same
// way, but never widened in the caller's storage). With table.entries null the builder
// allocates; otherwise it uses the caller's storage of table.capacity entries.
int buildDecodeTable(const uint8_t* lengths, unsigned n, unsigned s, const uint16_t* base,
                     const uint8_t* extra, DecodeTable& table, unsigned& width,
                     unsigned lookupBits);

// Frees storage the builder allocated and empties the table.
void releaseDecodeTable(DecodeTable& table);

// Entries a table needs at most, for storage the caller provides: a full first level
// plus, per symbol at worst, one second level reaching the longest code.
constexpr uint32_t tableCapacity(unsigned lookupBits, unsigned symbols, unsigned maxLength) {
    return (1u << lookupBits) +
           (maxLength > lookupBits ? symbols * (1u << (maxLength - lookupBits)) : 0u);
}
