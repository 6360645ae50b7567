// Traditional PKWARE encryption: the stream cipher of the ZIP format's first
// encryption scheme, keyed by a password, with a 12-byte header in front of each
// encrypted entry's data whose last byte checks the password.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Answer of prepareDecryption for a wrong password: the driver counts a password skip.
constexpr int DECRYPT_WRONG_PASSWORD = -1;

// The decryption step for the current (encrypted) entry, with the reader at the start
// of its data and compressedLeft its whole compressed size. Reads the 12-byte header
// and finds a password that opens it: the one that opened an earlier entry, else
// passwords from askPassword ("Enter password for: ", then up to two more tries).
// Answers
//   0                        the entry can be read: the header is consumed, the
//                            compressed size left is 12 smaller, and the entry's
//                            buffered bytes are deciphered (later blocks are
//                            deciphered by the reader through decipherBlock);
//   DECRYPT_WRONG_PASSWORD   no password given opened it;
//   a result code            no password to be had: RC_UNSUPPORTED without an
//                            askPassword callback (the empty slot is never called),
//                            RC_NOMEM2 when the callback gave up, RC_EOF when the
//                            data ends inside the header.
int prepareDecryption(EngineState* state);

// Deciphers `count` bytes of the current entry in place, continuing the cipher.
void decipherBlock(EngineState* state, uint8_t* bytes, int count);
