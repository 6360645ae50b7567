// Building decoding tables from code lengths.
//
// Codes are assigned canonically: shorter codes first, and within one length in
// symbol order, each code one above the previous. Codes arrive least significant bit
// first, so every code is stored bit-reversed and a table index is simply the next
// input bits. A code shorter than the first level fills every first-level slot whose
// low bits equal it. Codes longer than the first level share a second-level table
// with every other code of the same first-level prefix; in canonical order those
// codes are neighbours and the last of them is the longest, which fixes the
// second-level width in one pass. Slots no code reaches stay invalid.
#include "engine/inflate_table.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned QUARTERS = 4;

struct ByteReversal {
    uint8_t of[256];
};
constexpr ByteReversal makeByteReversal() {
    ByteReversal r{};
    for (unsigned i = 0; i < 256; ++i)
        for (unsigned bit = 0; bit < 8; ++bit)
            if (i & (1u << bit)) r.of[i] |= uint8_t(0x80u >> bit);
    return r;
}
constexpr ByteReversal byteReversal = makeByteReversal();

// The low `length` bits of `code` (at most 16) in reverse order.
inline uint32_t reverseBits(uint32_t code, unsigned length) {
    const uint32_t reversed16 = uint32_t(byteReversal.of[code & 0xFF]) << 8 | byteReversal.of[(code >> 8) & 0xFF];
    return reversed16 >> (16 - length);
}

// Every symbol's entry without its code's bits: those are added by withCodeBits, so
// the count of bits to take starts as the extra bits. Literals and the other codes
// may carry a width where the code's bits would go (0: none).
void makeSymbolEntries(uint32_t* entries, unsigned n, unsigned s, const uint16_t* base,
                       const uint8_t* extra, unsigned literalWidth, unsigned lengthWidth) {
    const unsigned literals = s < n ? s : n;
    const uint32_t literal = ENTRY_LITERAL | literalWidth << 8;
#pragma GCC unroll 8
    for (unsigned symbol = 0; symbol < literals; ++symbol)
        entries[symbol] = literal | uint32_t(symbol) << 16;
    if (literals > 256) entries[256] = ENTRY_END;
    for (unsigned symbol = literals; symbol < n; ++symbol) {
        const unsigned i = symbol - s;
        if (extra == nullptr || extra[i] == EXTRA_INVALID)
            entries[symbol] = ENTRY_INVALID;
        else if (lengthWidth != 0)
            entries[symbol] =
                uint32_t(base[i]) << 16 | uint32_t(extra[i]) << 25 | lengthWidth << 8 | extra[i];
        else
            entries[symbol] = uint32_t(base[i]) << 16 | extra[i];
    }
}

// Adds `bits` code bits at this level to an entry: to the count it takes, and to the
// code's bits unless the entry carries a width there already.
inline uint32_t withCodeBits(uint32_t entry, unsigned bits) {
    const uint32_t codeBits = (entry & 0x1F00) != 0 ? 0 : bits << 8;
    return entry + (bits | codeBits);
}

unsigned clampWidth(unsigned width, unsigned shortest, unsigned longest) {
    if (width < shortest) return shortest;
    if (width > longest) return longest;
    return width;
}

// Allocates storage for `needed` entries, replacing what the builder allocated before.
bool provideStorage(DecodeTable& table, uint32_t needed) {
    if (table.ownsEntries) releaseDecodeTable(table);
    table.entries = static_cast<uint32_t*>(std::malloc(needed * sizeof(uint32_t)));
    if (table.entries == nullptr) return false;
    table.capacity = needed;
    table.ownsEntries = 1;
    return true;
}

}  // namespace

void releaseDecodeTable(DecodeTable& table) {
    if (table.ownsEntries) {
        std::free(table.entries);
        table.entries = nullptr;
        table.capacity = 0;
        table.ownsEntries = 0;
    }
}

int buildDecodeTable(const uint8_t* lengths, unsigned n, unsigned s, const uint16_t* base,
                     const uint8_t* extra, DecodeTable& table, unsigned& width,
                     unsigned lookupBits) {
    // Counting the lengths, and below placing the symbols by length, are chains of
    // increments to a few counters, each waiting on the one before to the same counter.
    // The symbols are taken in four quarters, each with counters of its own, so that
    // four chains run side by side (written out: GCC keeps the inner loop a loop, and
    // the chains one after the other); the last quarter takes the rest of the division.
    const unsigned quarter = n / QUARTERS;
    unsigned counts[QUARTERS][MAX_CODE_LENGTH + 1] = {};
    for (unsigned i = 0; i < quarter; ++i)
#pragma GCC unroll 4
        for (unsigned q = 0; q < QUARTERS; ++q) ++counts[q][lengths[q * quarter + i]];
    for (unsigned i = QUARTERS * quarter; i < n; ++i) ++counts[QUARTERS - 1][lengths[i]];
    unsigned count[MAX_CODE_LENGTH + 1];
    for (unsigned len = 0; len <= MAX_CODE_LENGTH; ++len)
        count[len] = counts[0][len] + counts[1][len] + counts[2][len] + counts[3][len];
    table.lengths = lengths;
    table.count = static_cast<uint16_t>(n);
    table.endLength = static_cast<uint8_t>(n > 256 ? lengths[256] : MAX_CODE_LENGTH);
    const bool ownStorage = table.entries == nullptr || table.ownsEntries;

    if (count[0] == n) {
        // No codes at all: a one-bit table of invalid slots, so that a lookup fails
        // cleanly should the data use it anyway.
        width = 0;
        const unsigned root = ownStorage ? 1 : lookupBits;
        table.rootBits = static_cast<uint8_t>(root);
        table.classicWidth = 0;
        if (ownStorage ? !provideStorage(table, 2) : table.capacity < (1u << root)) return 3;
        for (uint32_t i = 0; i < (1u << root); ++i) table.entries[i] = withCodeBits(ENTRY_INVALID, root);
        return 0;
    }

    unsigned shortest = 1;
    while (count[shortest] == 0) ++shortest;
    unsigned longest = MAX_CODE_LENGTH;
    while (count[longest] == 0) --longest;
    width = clampWidth(width, shortest, longest);
    table.classicWidth = static_cast<uint8_t>(width);
    // The first level reaches at least the shortest code, except in storage the caller
    // sized for `lookupBits`: there it is exactly that wide (codes shorter repeat), so
    // that the caller's decoder may mask with a constant. An incomplete code may have
    // nothing shorter than 15 bits, and a first level that wide would not fit there.
    const unsigned root = ownStorage ? clampWidth(lookupBits, shortest, longest) : lookupBits;
    table.rootBits = static_cast<uint8_t>(root);

    // Code space: each length may use at most what the shorter ones left free.
    int32_t left = 1;
    for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len) {
        left = (left << 1) - static_cast<int32_t>(count[len]);
        if (left < 0) return 2;
    }

    // Symbols in canonical order: by length, and within one length by symbol. Each
    // quarter places its symbols after those of the quarters before it; unused symbols
    // (length 0) go after all the others, which spares a branch per symbol.
    const unsigned codes = n - count[0];
    uint16_t next[QUARTERS][MAX_CODE_LENGTH + 1];
    unsigned start = 0;
    for (unsigned len = 1; len <= MAX_CODE_LENGTH + 1; ++len) {
        const unsigned l = len <= MAX_CODE_LENGTH ? len : 0;
        for (unsigned q = 0; q < QUARTERS; ++q) {
            next[q][l] = static_cast<uint16_t>(start);
            start += counts[q][l];
        }
    }
    uint16_t sorted[288];
    for (unsigned i = 0; i < quarter; ++i)
#pragma GCC unroll 4
        for (unsigned q = 0; q < QUARTERS; ++q) {
            const unsigned symbol = q * quarter + i;
            sorted[next[q][lengths[symbol]]++] = static_cast<uint16_t>(symbol);
        }
    for (unsigned i = QUARTERS * quarter; i < n; ++i)
        sorted[next[QUARTERS - 1][lengths[i]]++] = static_cast<uint16_t>(i);

    // Walk the codes once to size the second levels: needed to allocate, and to mark
    // the slots of an incomplete code invalid. Storage the caller gives is sized for
    // the worst case.
    uint32_t needed = 1u << root;
    if (ownStorage || left > 0) {
        uint32_t code = 0;
        unsigned prevLen = 0;
        uint32_t groupPrefix = ~0u;
        unsigned groupLongest = 0;
        for (unsigned k = 0; k < codes; ++k) {
            const unsigned len = lengths[sorted[k]];
            if (prevLen != 0) code = (code + 1) << (len - prevLen);
            prevLen = len;
            if (len <= root) continue;
            const uint32_t prefix = code >> (len - root);
            if (prefix != groupPrefix) {
                if (groupLongest != 0) needed += 1u << (groupLongest - root);
                groupPrefix = prefix;
            }
            groupLongest = len;
        }
        if (groupLongest != 0) needed += 1u << (groupLongest - root);
    }
    if (ownStorage ? !provideStorage(table, needed) : needed > table.capacity) return 3;

    // A complete code reaches every slot; only an incomplete one leaves some invalid.
    uint32_t* entries = table.entries;
    if (left > 0)
        for (uint32_t i = 0; i < needed; ++i) entries[i] = withCodeBits(ENTRY_INVALID, root);

    // The first level grows with the code lengths: codes of length L are placed once
    // in a table of 2^L slots, and doubling the table (a block copy) repeats every
    // shorter code at all the slots whose low bits it matches.
    unsigned tableBits = shortest;
    if (left == 0)
        for (uint32_t i = 0; i < (1u << shortest); ++i) entries[i] = withCodeBits(ENTRY_INVALID, root);
    auto growTo = [&](unsigned bits) {
        for (; tableBits < bits; ++tableBits)
            std::memcpy(entries + (1u << tableBits), entries, (sizeof *entries) << tableBits);
    };

    // Every symbol's entry first, in symbol order, where telling literals from the
    // rest costs no branch per symbol; in code order it would be a branch that
    // predicts badly.
    uint32_t symbolEntries[288];
    makeSymbolEntries(symbolEntries, n, s, base, extra, table.literalsHoldWidth ? root : 0,
                      table.lengthsHoldWidth);

    // The codes the first level resolves, a length at a time.
    uint32_t code = 0;
    unsigned k = 0;
    const unsigned lastInFirst = longest < root ? longest : root;
    for (unsigned len = shortest; len <= lastInFirst; ++len) {
        growTo(len);
        for (const unsigned end = k + count[len]; k < end; ++k, ++code)
            entries[reverseBits(code, len)] = withCodeBits(symbolEntries[sorted[k]], len);
        code <<= 1;
    }
    growTo(root);

    // Longer codes, each group sharing a first-level prefix in a second level. `code`
    // is the next code of length root + 1 here.
    unsigned prevLen = root + 1;
    uint32_t groupPrefix = ~0u;
    uint32_t groupStart = 0;
    unsigned groupWidth = 0;
    uint32_t nextFree = 1u << root;
    for (; k < codes; ++k) {
        const unsigned symbol = sorted[k];
        const unsigned len = lengths[symbol];
        code <<= len - prevLen;
        prevLen = len;
        const uint32_t reversed = reverseBits(code, len);
        const uint32_t entry = symbolEntries[symbol];
        const uint32_t prefix = code >> (len - root);
        if (prefix != groupPrefix) {
            // The group's longest code is its last one: find it to fix the width.
            unsigned longestInGroup = len;
            uint32_t c = code;
            unsigned l = len;
            for (unsigned j = k + 1; j < codes; ++j) {
                const unsigned lj = lengths[sorted[j]];
                c = (c + 1) << (lj - l);
                l = lj;
                if ((c >> (lj - root)) != prefix) break;
                longestInGroup = lj;
            }
            groupPrefix = prefix;
            groupStart = nextFree;
            groupWidth = longestInGroup - root;
            nextFree += 1u << groupWidth;
            entries[reversed & ((1u << root) - 1)] =
                ENTRY_LINK | groupStart << 16 | uint32_t(groupWidth) << 8 | root;
        }
        const unsigned rest = len - root;
        for (uint32_t i = reversed >> root; i < (1u << groupWidth); i += 1u << rest)
            entries[groupStart + i] = withCodeBits(entry, rest);
        ++code;
    }

    if (left > 0 && longest != 1) return 1;
    return 0;
}
