// What every decoder answers: inflate (deflate and enhanced deflate), explode, unshrink
// and the stored copy. A decoder sends no message of its own: its caller turns the
// answer into the message and the result code.
//
// 0 is success; the values below are the decoders' own failures; anything else is a
// result code of the output stage (RC_DISKFULL, RC_ABORT), passed on unchanged. The
// first four values are also those of the table builder (buildDecodeTable).
#pragma once

#include "quenlow/unzip.h"

enum DecodeResult {
    DECODE_OK = 0,
    DECODE_INVALID = 1,              // invalid code, bad stored length, overrun, input ended
    DECODE_BAD_CODES = 2,            // reserved block type, a code set that cannot be a code
    DECODE_NO_MEMORY = 3,            // a decoding table could not be allocated
    DECODE_INCOMPLETE_LITERALS = 4,  // inflate: literal/length code incomplete or empty
    DECODE_NO_DISTANCES = 5,         // inflate: length codes without any distance code
    DECODE_SIZE_MISMATCH = 6,        // explode: did not end where the compressed data ends
                                     // (the bytes it consumed are in usedCompressed)
    DECODE_READ_FAILED = 7           // the archive could not be read (the reader said so)
};
static_assert(int(DECODE_READ_FAILED) < int(RC_DISKFULL) && int(DECODE_READ_FAILED) < int(RC_ABORT),
              "decoder failures and output results must not meet");

// The note that goes before the error message of an incomplete inflate code set, or
// nullptr.
inline const char* incompleteCodeNote(int result) {
    return result == DECODE_INCOMPLETE_LITERALS ? "(incomplete l-tree)  "
           : result == DECODE_NO_DISTANCES     ? "(incomplete d-tree)  "
                                               : nullptr;
}
