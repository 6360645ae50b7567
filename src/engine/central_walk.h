// The central directory, one record at a time, for the three walks over it (extraction,
// listing, detailed report): signature, fixed header, name and extra field, with the
// previous entry's extra field dropped first. The entry comment is left to the caller,
// which shows or skips it.
#pragma once

#include <cstdint>

struct EngineState;

enum CentralStep {
    CENTRAL_ENTRY,  // the next entry's header, name and extra field are in the state
    CENTRAL_END,    // the directory ended where its entry count says
    CENTRAL_STOP,   // the walk cannot go on; the result says why
};

struct CentralWalk {
    uint64_t examined;  // records read so far
    bool endNote;       // the directory ended with no end record's signature behind it
};

// Reads the next record. Warnings raise *result; a failure sets or raises it to its
// code. `fileNumber` is the number shown when a record is missing.
CentralStep nextCentralEntry(EngineState* state, CentralWalk* walk, uint64_t fileNumber,
                             int* result);

// Reads a header's name (as `nameMode` says) and extra field, raising *result by what
// the field reader answers. A failure above a warning is reported with `which`
// ("central" or "local") and answers false: the header cannot be used.
bool readNameAndExtra(EngineState* state, unsigned nameLength, unsigned extraLength,
                      int nameMode, const char* which, int* result);
