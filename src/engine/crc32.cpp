// CRC-32: carry-less multiplication where the processor has it, tables elsewhere.
//
// The byte-at-a-time table method costs one dependent lookup per byte, which would cap
// the CRC below the speed of the inflate loop that feeds it. On x86 processors with
// PCLMULQDQ the buffer is folded 64 bytes per step: four 128-bit lanes are each
// multiplied (carry-less) by x^n mod P for the distance they move and xored into the
// next block, then the lanes are folded into one, reduced to 64 bits and finally to
// 32 by Barrett reduction. Where the processor also multiplies 256-bit registers
// (VPCLMULQDQ with AVX2) and the system saves them, long buffers are folded 128 bytes
// per step in four such lanes, twice the work per instruction, before the same
// finish. The instructions are enabled for those functions only and chosen by a
// run-time processor check, so the rest of the program keeps its baseline instruction
// set (the 32-bit Windows build included).
//
// Elsewhere, and for the short heads and tails, slicing by 16 keeps sixteen independent
// lookups in flight per step: table k holds the CRC of a byte followed by k zero bytes.
// The tables (16 KiB) are computed at start-up rather than stored in the program.
// Results equal the plain method bit for bit on every path.
#include "engine/crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#define QUENLOW_CRC_FOLDING 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t CRC_POLYNOMIAL = 0xEDB88320u;
constexpr int SLICES = 16;

using CrcTables = std::array<std::array<uint32_t, 256>, SLICES>;

// Filled at start-up, before main and any thread: no guard on each use (which would also
// bring the runtime's locking and exception code into the stub). Written by a constructor
// rather than as the table's initialiser, which the compiler would evaluate into 16 KiB
// of stored data. Nothing runs a CRC from a static initialiser.
CrcTables crcTablesAtStart;

struct TableFiller {
    TableFiller() {
        CrcTables& tables = crcTablesAtStart;
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ CRC_POLYNOMIAL : c >> 1;
            tables[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < SLICES; ++k)
                tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    }
};
const TableFiller tableFiller;

const CrcTables& crcTables() { return crcTablesAtStart; }

// Little-endian load, whatever the host's order.
inline uint32_t load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Works on the inverted register: `c` in, `c` out.
uint32_t crcByTable(uint32_t c, const uint8_t* buffer, size_t length) {
    const CrcTables& t = crcTables();
    while (length >= SLICES) {
        const uint32_t w0 = load32(buffer) ^ c;
        const uint32_t w1 = load32(buffer + 4);
        const uint32_t w2 = load32(buffer + 8);
        const uint32_t w3 = load32(buffer + 12);
        c = t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24] ^
            t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24] ^
            t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24] ^
            t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
        buffer += SLICES;
        length -= SLICES;
    }
    while (length-- > 0) c = t[0][(c ^ *buffer++) & 0xFF] ^ (c >> 8);
    return c;
}

#ifdef QUENLOW_CRC_FOLDING

// Below this the set-up and the final reductions cost more than the tables; below the
// wide minimum, more than the narrow folding.
constexpr size_t FOLD_MINIMUM = 64;
constexpr size_t WIDE_FOLD_MINIMUM = 256;

bool processorFolds() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

// VPCLMULQDQ and AVX2, and a system that saves the 256-bit registers on a switch
// (XCR0 bits 1 and 2, read with XGETBV where OSXSAVE says it may be).
bool processorFoldsWide() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & bit_OSXSAVE) == 0 || (ecx & bit_AVX) == 0)
        return false;
    unsigned xcr0 = 0, xcr0High = 0;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6) != 6) return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
    return (ebx & bit_AVX2) != 0 && (ecx & bit_VPCLMULQDQ) != 0;
}

const bool processorHasFolding = processorFolds();
const bool processorHasWideFolding = processorHasFolding && processorFoldsWide();

// Moves the 128-bit lane x forward by the distance of k and adds the data there.
__attribute__((target("pclmul,sse4.1"), always_inline)) inline __m128i fold(__m128i x, __m128i k, __m128i data) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

// The remaining 16-byte blocks folded into x0, then its 128 bits reduced to the 32-bit
// register. Constants as below.
__attribute__((target("pclmul,sse4.1"))) inline uint32_t finishFolding(__m128i x0, const __m128i* block,
                                                                       size_t length) {
    const __m128i fold16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i reduce64 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    for (; length >= 16; length -= 16, ++block) x0 = fold(x0, fold16, _mm_loadu_si128(block));
    // 128 bits to 64.
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), _mm_clmulepi64_si128(x0, fold16, 0x10));
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 4), _mm_clmulepi64_si128(_mm_and_si128(x0, low32), reduce64, 0x00));
    // 64 bits to 32 (Barrett).
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    return uint32_t(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

// Folding constants in the bit-reflected domain, each (x^n mod P) reflected and shifted
// left by one: n = 4*128+32 and 4*128-32 move a lane 64 bytes, 128+32 and 128-32 move it
// 16 bytes, 64 reduces 96 bits to 64; P itself and floor(x^64 / P) for the Barrett step.
// `length` is a multiple of 16 and at least 64; works on the inverted register.
__attribute__((target("pclmul,sse4.1"))) uint32_t crcByFolding(uint32_t c, const uint8_t* buffer, size_t length) {
    const __m128i fold64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i fold16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const auto* block = reinterpret_cast<const __m128i*>(buffer);

    __m128i x0 = _mm_xor_si128(_mm_loadu_si128(block), _mm_cvtsi32_si128(int(c)));
    __m128i x1 = _mm_loadu_si128(block + 1);
    __m128i x2 = _mm_loadu_si128(block + 2);
    __m128i x3 = _mm_loadu_si128(block + 3);
    block += 4;
    length -= 64;
    for (; length >= 64; length -= 64, block += 4) {
        x0 = fold(x0, fold64, _mm_loadu_si128(block));
        x1 = fold(x1, fold64, _mm_loadu_si128(block + 1));
        x2 = fold(x2, fold64, _mm_loadu_si128(block + 2));
        x3 = fold(x3, fold64, _mm_loadu_si128(block + 3));
    }
    // Four lanes into one, then the rest.
    x1 = fold(x0, fold16, x1);
    x2 = fold(x1, fold16, x2);
    x3 = fold(x2, fold16, x3);
    return finishFolding(x3, block, length);
}

#define QUENLOW_WIDE_TARGET __attribute__((target("pclmul,sse4.1,avx2,vpclmulqdq")))

// Moves both 128-bit lanes of x forward by the distance of k and adds the data there.
QUENLOW_WIDE_TARGET __attribute__((always_inline)) inline __m256i fold(__m256i x, __m256i k, __m256i data) {
    return _mm256_xor_si256(_mm256_xor_si256(_mm256_clmulepi64_epi128(x, k, 0x00), _mm256_clmulepi64_epi128(x, k, 0x11)),
                            data);
}

// The same in 256-bit registers: each holds two 128-bit lanes, which the multiplication
// treats apart, so each constant is a pair made as above, twice: n = 1024+32 and
// 1024-32 move a lane 128 bytes, 256+32 and 256-32 move it 32 bytes. `length` is a
// multiple of 16 and at least WIDE_FOLD_MINIMUM.
QUENLOW_WIDE_TARGET uint32_t crcByWideFolding(uint32_t c, const uint8_t* buffer, size_t length) {
    const __m256i fold128 = _mm256_set_epi64x(0x14a7fe880, 0x1e88ef372, 0x14a7fe880, 0x1e88ef372);
    const __m256i fold32 = _mm256_set_epi64x(0x15a546366, 0x0f1da05aa, 0x15a546366, 0x0f1da05aa);
    const __m128i fold16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const auto* block = reinterpret_cast<const __m256i*>(buffer);

    __m256i y0 = _mm256_xor_si256(_mm256_loadu_si256(block), _mm256_zextsi128_si256(_mm_cvtsi32_si128(int(c))));
    __m256i y1 = _mm256_loadu_si256(block + 1);
    __m256i y2 = _mm256_loadu_si256(block + 2);
    __m256i y3 = _mm256_loadu_si256(block + 3);
    block += 4;
    length -= 128;
    for (; length >= 128; length -= 128, block += 4) {
        y0 = fold(y0, fold128, _mm256_loadu_si256(block));
        y1 = fold(y1, fold128, _mm256_loadu_si256(block + 1));
        y2 = fold(y2, fold128, _mm256_loadu_si256(block + 2));
        y3 = fold(y3, fold128, _mm256_loadu_si256(block + 3));
    }
    // Four lanes into one, its two halves into one, then the rest as above.
    y1 = fold(y0, fold32, y1);
    y2 = fold(y1, fold32, y2);
    y3 = fold(y2, fold32, y3);
    const __m128i x0 = fold(_mm256_castsi256_si128(y3), fold16, _mm256_extracti128_si256(y3, 1));
    return finishFolding(x0, reinterpret_cast<const __m128i*>(block), length);
}

#endif

}  // namespace

const uint32_t* getCrcTable() { return crcTables()[0].data(); }

uint32_t crc32UpdateByTable(uint32_t crc, const uint8_t* buffer, size_t length) {
    if (buffer == nullptr) return 0;
    return ~crcByTable(~crc, buffer, length);
}

uint32_t crc32Update(uint32_t crc, const uint8_t* buffer, size_t length) {
    if (buffer == nullptr) return 0;
    uint32_t c = ~crc;
#ifdef QUENLOW_CRC_FOLDING
    if (processorHasFolding && length >= FOLD_MINIMUM) {
        const size_t folded = length & ~size_t(15);
        c = processorHasWideFolding && folded >= WIDE_FOLD_MINIMUM ? crcByWideFolding(c, buffer, folded)
                                                                     : crcByFolding(c, buffer, folded);
        buffer += folded;
        length -= folded;
    }
#endif
    return ~crcByTable(c, buffer, length);
}
