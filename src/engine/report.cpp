// The detailed report walks the central directory once, like the listing, and writes a
// few lines for each entry through printText. It is deliberately small: the launcher
// never uses it, and the listing serves callers that want the values themselves.
#include "engine/report.h"

#include <cstring>

#include "engine/central_walk.h"
#include "engine/fields.h"
#include "engine/messages.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/result.h"
#include "engine/state.h"

static void reportEntry(EngineState* state, uint64_t number) {
    const CentralHeader& h = state->central;
    char name[PRINTABLE_NAME_SIZE];
    const MethodInfo* method = findMethod(h.method);
    const uint32_t d = h.dosDateTime;
    sendMessage(state,
                "\nCentral directory entry #%s:\n  %s\n"
                "  made by system %u, version %u.%u; needs version %u.%u\n"
                "  method: %s%s, flags 0x%04x%s\n"
                "  compressed %s bytes, uncompressed %s bytes, CRC-32 %08lx\n"
                "  modified %04u-%02u-%02u %02u:%02u:%02u (MS-DOS stamp)\n"
                "  local header at offset %s, on disk %lu\n",
                formatNumber(state, number, false), printableName(state->entryName, name, sizeof name),
                unsigned(h.hostSystem), h.hostVersion / 10u, h.hostVersion % 10u,
                h.neededVersion / 10u, h.neededVersion % 10u,
                method != nullptr ? method->skipName : "unknown",
                method != nullptr && method->extracted ? "" : " (not supported)", unsigned(h.flags),
                (h.flags & FLAG_ENCRYPTED) ? ", encrypted" : "",
                formatNumber(state, h.compressedSize, false),
                formatNumber(state, h.uncompressedSize, false), static_cast<unsigned long>(h.crc),
                (d >> 25) + 1980u, (d >> 21) & 0x0Fu, (d >> 16) & 0x1Fu, (d >> 11) & 0x1Fu,
                (d >> 5) & 0x3Fu, (d & 0x1Fu) * 2u, formatNumber(state, h.localOffset, false),
                static_cast<unsigned long>(h.diskStart));
}

int reportEntries(EngineState* state) {
    const EndRecord& end = state->endRecord;
    sendMessage(state, "Archive:  %s\nThere is a central directory of %s entries", state->currentArchive,
                formatNumber(state, end.totalEntries, false));
    sendMessage(state, end.thisDisk == end.centralDirDisk ? ".\n" : ", starting on another disk.\n");

    EntryInfo scratch{};
    state->currentEntry = &scratch;
    int result = RC_OK;
    CentralWalk walk{};
    for (;;) {
        if (nextCentralEntry(state, &walk, walk.examined + 1, &result) != CENTRAL_ENTRY) break;
        const CentralHeader& h = state->central;
        reportEntry(state, walk.examined);
        if (h.entryCommentLength != 0) {
            sendMessage(state, "  comment:\n");
            int r = readField(state, h.entryCommentLength, FIELD_SHOW_CONVERTED);
            if (r != RC_OK) {
                raiseResult(&result, r);
                break;
            }
        }
        if (raiseStatus(state, STATUS_ENTRY_DONE, state->entryName, h.uncompressedSize) != 0) {
            result = RC_ABORT;
            break;
        }
    }
    state->currentEntry = &state->entryTable[0];
    return result;
}
