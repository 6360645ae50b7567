// CRC-32 by table, sixteen bytes per step.
//
// The byte-at-a-time table method costs one dependent table lookup per byte, which
// would cap the CRC below the speed of the inflate loop that feeds it. Slicing by 16
// keeps sixteen independent lookups in flight per step: table k holds the CRC of a
// byte followed by k zero bytes, so the contribution of each of sixteen input bytes
// can be looked up at once and xored together. The tables are computed by the
// compiler, so there is no first-use race and nothing to release. Results equal the
// plain method bit for bit.
#include "engine/crc32.h"

#include <array>

namespace {

constexpr uint32_t CRC_POLYNOMIAL = 0xEDB88320u;
constexpr int SLICES = 16;

using CrcTables = std::array<std::array<uint32_t, 256>, SLICES>;

constexpr CrcTables makeTables() {
    CrcTables tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ CRC_POLYNOMIAL : c >> 1;
        tables[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int k = 1; k < SLICES; ++k)
            tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
    return tables;
}

constexpr CrcTables crcTables = makeTables();

// Little-endian load, whatever the host's order.
inline uint32_t load32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

const uint32_t* getCrcTable() { return crcTables[0].data(); }

uint32_t crc32Update(uint32_t crc, const uint8_t* buffer, size_t length) {
    if (buffer == nullptr) return 0;
    const auto& t = crcTables;
    uint32_t c = ~crc;
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
    return ~c;
}
