// Traditional PKWARE decryption.
//
// Three 32-bit keys, set from the password, advance with every plain byte: the first
// and third through the CRC-32 table, the second by a linear congruence. Each cipher
// byte is the plain byte xored with a value derived from the third key. The 12-byte
// header that precedes the data is deciphered first; its last byte must equal the
// high byte of the entry's CRC, or, when the CRC comes after the data (flag bit 3),
// the high byte of the DOS time. One byte of check lets through about one wrong
// password in 256: the entry's CRC check catches those later.
//
// The step runs before the entry is extracted: it consumes the header, shortens the
// entry's compressed size by 12, and deciphers the entry's bytes already buffered.
// Every later block the byte reader loads for the entry goes through decipherBlock.
#include "engine/decrypt.h"

#include <cstring>

#include "engine/crc32.h"
#include "engine/messages.h"
#include "engine/reader.h"
#include "engine/state.h"

namespace {

constexpr int HEADER_SIZE = 12;

struct Keys {
    uint32_t k[3];
};

inline void updateKeys(Keys& keys, const uint32_t* table, uint8_t plain) {
    keys.k[0] = table[(keys.k[0] ^ plain) & 0xFF] ^ (keys.k[0] >> 8);
    keys.k[1] = (keys.k[1] + (keys.k[0] & 0xFF)) * 134775813u + 1;
    keys.k[2] = table[(keys.k[2] ^ (keys.k[1] >> 24)) & 0xFF] ^ (keys.k[2] >> 8);
}

inline uint8_t keyByte(const Keys& keys) {
    const uint32_t t = (keys.k[2] | 2) & 0xFFFF;
    return uint8_t((t * (t ^ 1)) >> 8);
}

Keys keysFor(const char* password, const uint32_t* table) {
    Keys keys{{0x12345678u, 0x23456789u, 0x34567890u}};
    for (const char* p = password; *p != '\0'; ++p) updateKeys(keys, table, uint8_t(*p));
    return keys;
}

// Deciphers the header with a password; on a match leaves the keys after the header.
bool opens(EngineState* s, const char* password, const uint8_t* header, uint8_t check) {
    const uint32_t* table = getCrcTable();
    Keys keys = keysFor(password, table);
    uint8_t plain = 0;
    for (int i = 0; i < HEADER_SIZE; ++i) {
        plain = header[i] ^ keyByte(keys);
        updateKeys(keys, table, plain);
    }
    if (plain != check) return false;
    std::memcpy(s->cipherKeys, keys.k, sizeof keys.k);
    return true;
}

}  // namespace

void decipherBlock(EngineState* state, uint8_t* bytes, int count) {
    // The block no longer holds what the file holds; a later seek must read it again.
    if (bytes >= state->inputBuffer && bytes < state->inputBuffer + INPUT_BUFFER_SIZE)
        state->blockDeciphered = true;
    const uint32_t* table = getCrcTable();
    Keys keys;
    std::memcpy(keys.k, state->cipherKeys, sizeof keys.k);
    for (int i = 0; i < count; ++i) {
        const uint8_t plain = bytes[i] ^ keyByte(keys);
        updateKeys(keys, table, plain);
        bytes[i] = plain;
    }
    std::memcpy(state->cipherKeys, keys.k, sizeof keys.k);
}

int prepareDecryption(EngineState* state) {
    EngineState* s = state;
    uint8_t header[HEADER_SIZE];
    if (s->compressedLeft < HEADER_SIZE || readBytes(s, header, HEADER_SIZE) != HEADER_SIZE) return RC_EOF;
    s->compressedLeft -= HEADER_SIZE;
    const uint8_t check = (s->local.flags & FLAG_DATA_DESCRIPTOR) ? uint8_t(s->local.dosDateTime >> 8)
                                                                   : uint8_t(s->local.crc >> 24);

    bool opened = s->havePassword && opens(s, s->password, header, check);
    if (!opened) {
        if (s->callbacks->askPassword == nullptr) return RC_UNSUPPORTED;
        s->passwordRetries = 0;
        for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
            char given[PASSWORD_SIZE] = {};
            if (askForPassword(s, given, PASSWORD_SIZE, s->entryName) != 0) return RC_NOMEM2;
            given[PASSWORD_SIZE - 1] = '\0';
            if (opens(s, given, header, check)) {
                std::memcpy(s->password, given, sizeof given);
                s->havePassword = 1;
                opened = true;
            }
        }
        s->passwordRetries = 0;
        if (!opened) return DECRYPT_WRONG_PASSWORD;
    }

    // The entry's bytes already buffered; bytes of what follows it stay as they are.
    int buffered = s->inputCount;
    if (buffered > s->compressedLeft) buffered = int(s->compressedLeft);
    if (buffered > 0) decipherBlock(s, s->inputPos, buffered);
    return 0;
}
