// Listing mode: one sequential walk over the central directory, reporting each
// selected entry's values to the caller's listEntry (or listEntry32) and leaving the
// formatting to the caller. No local header is read and no entry data is touched, so
// entries are listed whether or not the engine could extract them.
#include "engine/listing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/central_walk.h"
#include "engine/fields.h"
#include "engine/messages.h"
#include "engine/patterns.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/state.h"
#include "platform/dateorder.h"
#include "platform/filestatus.h"

namespace {

constexpr uint64_t kEncryptionHeader = 12;

bool listingWanted(const EngineState* state) {
    if (state->processAll) return true;
    const char* name = state->entryName;
    if (state->includeCount > 0) {
        bool matched = false;
        for (int i = 0; i < state->includeCount && !matched; ++i)
            matched = matchPattern(name, state->includePatterns[i], state->caseInsensitive);
        if (!matched) return false;
    }
    for (int i = 0; i < state->excludeCount; ++i)
        if (matchPattern(name, state->excludePatterns[i], state->caseInsensitive)) return false;
    return true;
}

unsigned ratioPercent(uint64_t uncompressed, uint64_t compressed) {
    int32_t ratio = compressionRatio(uncompressed, compressed);
    uint32_t magnitude = ratio < 0 ? uint32_t(-int64_t(ratio)) : uint32_t(ratio);
    return (magnitude + 5) / 10;
}

// "Defl:N", "Def64X", "Unk:099": the listing name of a method, with the deflate
// option letter from flag bits 1-2.
void methodName(unsigned method, unsigned flags, char* out, size_t size) {
    const MethodInfo* info = findMethod(method);
    if (info == nullptr) {
        std::snprintf(out, size, "Unk:%03u", method % 1000);
        return;
    }
    std::snprintf(out, size, "%s", info->listingName);
    if ((method == 8 || method == 9) && std::strlen(out) >= 5) {
        static const char kOptionLetters[] = "NXFS";
        out[5] = kOptionLetters[(flags & FLAG_DEFLATE_OPTION) >> 1];
        out[6] = '\0';
    }
}

struct ListedDate {
    int year, month, day, hour, minute;
};

ListedDate entryDate(const EngineState* state) {
    const CentralHeader& central = state->central;
    EntryTimes times{};
    std::tm fields{};
    if (state->extraField != nullptr &&
        (scanTimeFields(state->extraField, state->extraFieldLength, true, central.dosDateTime,
                        &times) &
         TIME_MODIFICATION) &&
        breakDownLocal(times.modification, &fields)) {
        return {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                fields.tm_min};
    }
    uint32_t d = central.dosDateTime;
    return {int(d >> 25) + 1980, int((d >> 21) & 0x0F), int((d >> 16) & 0x1F),
            int((d >> 11) & 0x1F), int((d >> 5) & 0x3F)};
}

} // namespace

int32_t compressionRatio(uint64_t u, uint64_t c) {
    if (u == 0) return 0;
    // Headers may claim any sizes: the per mille is capped where it leaves 32 bits, and
    // no step of it may overflow on the way.
    constexpr uint64_t kCap = INT32_MAX;
    const uint64_t difference = u >= c ? u - c : c - u;
    uint64_t permille;
    if (u > 2000000) {
        const uint64_t d = u / 1000;
        permille = difference / d > kCap ? kCap : (difference + d / 2) / d;
    } else {
        permille = difference / u > kCap / 1000 ? kCap : (1000 * difference + u / 2) / u;
    }
    if (permille > kCap) permille = kCap;
    return u >= c ? int32_t(permille) : -int32_t(permille);
}

int listEntries(EngineState* state) {
    EntryInfo scratch{};
    state->currentEntry = &scratch;
    const DateOrder order = userDateOrder();
    UnzipCallbacks* callbacks = state->callbacks;

    CentralWalk walk{};
    uint32_t listed = 0;
    uint64_t totalUncompressed = 0;
    uint64_t totalCompressed = 0;
    int result = RC_OK;
    // Every way out of the walk is a break, so that the current entry never keeps
    // pointing at this function's scratch record.
    for (;;) {
        CentralStep step = nextCentralEntry(state, &walk, walk.examined + 1, &result);
        if (step == CENTRAL_STOP) break;
        if (step == CENTRAL_END) {
            if (state->quietLevel < 2) {
                callbacks->sumCompressed = totalCompressed;
                callbacks->sumUncompressed = totalUncompressed;
                callbacks->entryCount = listed;
                callbacks->ratioPercent = ratioPercent(totalUncompressed, totalCompressed);
            }
            if (result <= RC_WARNING && walk.endNote) {
                sendMessage(state,
                            "\nnote:  didn't find end-of-central-dir signature at end of "
                            "central dir.\n");
                result = RC_WARNING;
            }
            if (listed == 0 && result <= RC_WARNING) result = RC_NOMATCH;
            break;
        }

        if (!listingWanted(state)) {
            readField(state, state->central.entryCommentLength, FIELD_SKIP);
            continue;
        }

        const CentralHeader& central = state->central;
        ListedDate date = entryDate(state);
        int first = date.month, second = date.day, third = date.year;
        if (order == DATE_DAY_MONTH_YEAR) {
            first = date.day;
            second = date.month;
        } else if (order == DATE_YEAR_MONTH_DAY) {
            first = date.year;
            second = date.month;
            third = date.day;
        }
        const bool encrypted = (central.flags & FLAG_ENCRYPTED) != 0;
        uint64_t compressed = central.compressedSize;
        if (encrypted) compressed -= compressed >= kEncryptionHeader ? kEncryptionHeader : compressed;
        const unsigned percent = ratioPercent(central.uncompressedSize, compressed);
        char method[16];
        methodName(central.method, central.flags, method, sizeof method);
        char name[LISTING_NAME_SIZE];
        printableName(state->entryName, name, sizeof name);
        const char caseMark = scratch.lowerCase ? '^' : ' ';
        const char encryptedMark = encrypted ? 'E' : ' ';

        if (callbacks->listEntry != nullptr) {
            callbacks->listEntry(central.uncompressedSize, compressed, percent, first, second,
                                 third, date.hour, date.minute, caseMark, name, method,
                                 central.crc, encryptedMark);
        } else if (callbacks->listEntry32 != nullptr) {
            callbacks->listEntry32(uint32_t(central.uncompressedSize),
                                   uint32_t(central.uncompressedSize >> 32), uint32_t(compressed),
                                   uint32_t(compressed >> 32), percent, first, second, third,
                                   date.hour, date.minute, caseMark, name, method, central.crc,
                                   encryptedMark);
        }

        int field = readField(state, central.entryCommentLength,
                          state->quietLevel == 0 ? FIELD_SHOW_CONVERTED : FIELD_SKIP);
        if (field != RC_OK) result = field;
        if (field > RC_WARNING) break;
        totalUncompressed += central.uncompressedSize;
        totalCompressed += compressed;
        ++listed;
    }
    state->currentEntry = &state->entryTable[0];
    return result;
}
