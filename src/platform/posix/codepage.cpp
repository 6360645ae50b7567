// Character sets on Linux: the OEM page is code page 437 (the one MS-DOS archivers
// wrote), the ANSI page is UTF-8.
#include "platform/codepage.h"

#include <cstdlib>
#include <cstring>

// Code page 437, bytes 0x80-0xFF, as Unicode code points.
static const uint16_t cp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

static int encodeUtf8(uint32_t point, char* out) {
    if (point < 0x80) {
        out[0] = char(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = char(0xC0 | (point >> 6));
        out[1] = char(0x80 | (point & 0x3F));
        return 2;
    }
    out[0] = char(0xE0 | (point >> 12));
    out[1] = char(0x80 | ((point >> 6) & 0x3F));
    out[2] = char(0x80 | (point & 0x3F));
    return 3;
}

void oemToAnsi(char* text, std::size_t capacity) {
    if (capacity == 0) return;
    std::size_t length = std::strlen(text);
    // Convert from a copy: the UTF-8 form is up to three times as long.
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return;
    std::memcpy(copy, text, length + 1);
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(copy[i]);
        char encoded[3];
        int n = byte < 0x80 ? (encoded[0] = char(byte), 1) : encodeUtf8(cp437High[byte - 0x80], encoded);
        if (out + std::size_t(n) >= capacity) break;
        std::memcpy(text + out, encoded, std::size_t(n));
        out += std::size_t(n);
    }
    text[out] = '\0';
    std::free(copy);
}

int codePointToAnsi(uint32_t codePoint, char* out) {
    if (codePoint > 0xFFFF || (codePoint >= 0xD800 && codePoint < 0xE000)) return 0;
    return encodeUtf8(codePoint, out);
}

int maxAnsiCharBytes() { return 4; }

bool ansiIsUtf8() { return true; }

int ansiCharacter(const char* text, bool* printable) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    *printable = false;
    if (p[0] < 0x80) {
        *printable = p[0] >= 0x20 && p[0] != 0x7F;
        return 1;
    }
    int follow;
    uint32_t value;
    if (p[0] >= 0xC2 && p[0] < 0xE0) { follow = 1; value = p[0] & 0x1F; }
    else if (p[0] >= 0xE0 && p[0] < 0xF0) { follow = 2; value = p[0] & 0x0F; }
    else if (p[0] >= 0xF0 && p[0] < 0xF5) { follow = 3; value = p[0] & 0x07; }
    else return 1;
    for (int i = 1; i <= follow; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF) return 1;
        value = (value << 6) | (p[i] & 0x3F);
    }
    static const uint32_t smallest[4] = {0, 0x80, 0x800, 0x10000};
    if (value < smallest[follow] || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return 1;
    // C1 controls are not printable; everything else that decodes is shown as it is.
    *printable = value >= 0xA0;
    return follow + 1;
}
