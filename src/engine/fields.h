// The variable-length parts of the headers (names, extra fields, comments) and the
// fixed parts of the central and local headers, with the code-page and UTF-8 rules
// that turn a stored name into the name the engine works with.
#pragma once

#include <cstdint>

struct EngineState;

// What readField does with the bytes it is given.
enum FieldMode {
    FIELD_SKIP = 0,          // comment not shown: step over it
    FIELD_SHOW = 1,          // archive comment, shown through printText
    FIELD_CENTRAL_NAME = 2,  // entry name from a central header
    FIELD_EXTRA = 3,         // extra field (central or local)
    FIELD_SHOW_CONVERTED = 5,// entry comment in a listing, with code-page conversion
    FIELD_LOCAL_NAME = 6     // entry name from a local header
};

int readField(EngineState* state, unsigned length, int mode);

// Both expect the four signature bytes to be consumed already. RC_OK or RC_EOF.
int readCentralHeader(EngineState* state);
int readLocalHeader(EngineState* state);

// A UTF-8 text in the local (ANSI) code page, newly allocated (free with std::free);
// nullptr when the text is not UTF-8 or memory is lacking.
char* utf8ToLocal(const char* utf8);
