// The central-directory walk. See central_walk.h.
#include "engine/central_walk.h"

#include <cstdlib>

#include "engine/fields.h"
#include "engine/messages.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/result.h"
#include "engine/state.h"

bool readNameAndExtra(EngineState* state, unsigned nameLength, unsigned extraLength,
                      int nameMode, const char* which, int* result) {
    char name[PRINTABLE_NAME_SIZE];
    int field = readField(state, nameLength, nameMode);
    raiseResult(result, field);
    if (field > RC_WARNING) {
        sendMessage(state, "%s:  bad filename length (%s)\n", shownName(state->entryName, name), which);
        return false;
    }
    // An empty field reads nothing: the previous header's must not lend this entry its
    // times or sizes.
    std::free(state->extraField);
    state->extraField = nullptr;
    state->extraFieldLength = 0;
    field = readField(state, extraLength, FIELD_EXTRA);
    raiseResult(result, field);
    if (field > RC_WARNING) {
        sendMessage(state, "%s:  bad extra field length (%s)\n", shownName(state->entryName, name),
                    which);
        return false;
    }
    return true;
}

CentralStep nextCentralEntry(EngineState* state, CentralWalk* walk, uint64_t fileNumber,
                             int* result) {
    uint8_t signature[4];
    if (readBytes(state, signature, 4) != 4) {
        *result = RC_EOF;
        return CENTRAL_STOP;
    }
    if (!sameSignature(signature, state->signatures.centralHeader)) {
        // Without a Zip64 end record the count is a 16-bit field: compare in 16 bits.
        const EndRecord& end = state->endRecord;
        const uint64_t counted = end.hasZip64End ? walk->examined : (walk->examined & 0xFFFF);
        if (counted != end.totalEntries) {
            sendMessage(state,
                        "error:  expected central file header signature not found (file #%s).\n%s",
                        formatNumber(state, fileNumber, false), pleaseCheckNote);
            *result = RC_FATAL;
            return CENTRAL_STOP;
        }
        const uint8_t* expected = end.hasZip64End ? state->signatures.zip64EndRecord
                                                  : state->signatures.endRecord;
        walk->endNote = !sameSignature(signature, expected) && !end.isZip64 &&
                        !sameSignature(signature, state->signatures.endRecord);
        return CENTRAL_END;
    }
    int read = readCentralHeader(state);
    if (read != RC_OK) {
        *result = read;
        return CENTRAL_STOP;
    }
    ++walk->examined;
    if (!readNameAndExtra(state, state->central.nameLength, state->central.extraLength,
                          FIELD_CENTRAL_NAME, "central", result))
        return CENTRAL_STOP;
    return CENTRAL_ENTRY;
}
