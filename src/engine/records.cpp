// The extra-field blocks the engine interprets, and the method table.
//
// Every walk over an extra field has one shape: while a block header (4 bytes) fits,
// take the identifier and the data size; a block whose data runs past the field ends
// the walk, keeping what earlier blocks gave. Inside a block, every value is read only
// where its bytes lie wholly within the block (`fits`), so a short block can never
// make the engine read past the field.
#include "engine/records.h"

#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/messages.h"
#include "engine/state.h"

void completeSignatures(Signatures* signatures) {
    static const uint8_t recordBytes[5][2] = {{1, 2}, {3, 4}, {5, 6}, {6, 6}, {6, 7}};
    uint8_t* targets[5] = {signatures->centralHeader, signatures->localHeader,
                           signatures->endRecord, signatures->zip64EndRecord,
                           signatures->zip64Locator};
    for (int i = 0; i < 5; ++i) {
        targets[i][0] = 'P';
        targets[i][1] = 'K';
        targets[i][2] = recordBytes[i][0];
        targets[i][3] = recordBytes[i][1];
    }
}

static const MethodInfo methodTable[] = {
    {0, "store", "Stored", true},       {1, "shrink", "Shrunk", true},
    {2, "reduce", "Reduce1", false},    {3, "reduce", "Reduce2", false},
    {4, "reduce", "Reduce3", false},    {5, "reduce", "Reduce4", false},
    {6, "implode", "Implode", true},    {7, "tokenize", "Token", false},
    {8, "deflate", "Defl:#", true},     {9, "deflate64", "Def64#", true},
    {10, "DCL implode", "ImplDCL", false}, {12, "bzip2", "BZip2", false},
    {14, "LZMA", "LZMA", false},        {18, "IBM/Terse", "Terse", false},
    {19, "IBM LZ77", "IBMLZ77", false}, {97, "WavPack", "WavPack", false},
    {98, "PPMd", "PPMd", false},
};

const MethodInfo* findMethod(unsigned method) {
    for (const MethodInfo& row : methodTable)
        if (row.number == method) return &row;
    return nullptr;
}

bool nextExtraBlock(const uint8_t*& cursor, const uint8_t* end, ExtraBlock* block) {
    if (end - cursor < 4) return false;
    unsigned size = getLe16(cursor + 2);
    if (size > unsigned(end - cursor) - 4) return false;
    block->id = getLe16(cursor);
    block->data = cursor + 4;
    block->size = size;
    cursor += 4 + size;
    return true;
}

static bool fits(const ExtraBlock& block, unsigned offset, unsigned width) {
    return offset <= block.size && width <= block.size - offset;
}

// Zip64 values come in a fixed order, each only when its header field holds the
// marker. A value the block is too short to hold is left as it is: the entry then
// keeps the marker and later size checks treat it as damaged.
void applyZip64Extra(EngineState* state, const uint8_t* extra, unsigned length) {
    if (extra == nullptr) return;
    CentralHeader& central = state->central;
    LocalHeader& local = state->local;
    const uint8_t* cursor = extra;
    ExtraBlock block;
    while (nextExtraBlock(cursor, extra + length, &block)) {
        if (block.id != EXTRA_ZIP64) continue;
        unsigned at = 0;
        if (central.uncompressedSize == ZIP64_MARK32 || local.uncompressedSize == ZIP64_MARK32) {
            if (!fits(block, at, 8)) continue;
            central.uncompressedSize = local.uncompressedSize = getLe64(block.data + at);
            at += 8;
        }
        if (central.compressedSize == ZIP64_MARK32 || local.compressedSize == ZIP64_MARK32) {
            if (!fits(block, at, 8)) continue;
            central.compressedSize = local.compressedSize = getLe64(block.data + at);
            state->compressedLeft = int64_t(local.compressedSize);
            at += 8;
        }
        if (central.localOffset == ZIP64_MARK32) {
            if (!fits(block, at, 8)) continue;
            central.localOffset = getLe64(block.data + at);
            at += 8;
        }
        if (central.diskStart == ZIP64_MARK16) {
            if (!fits(block, at, 4)) continue;
            central.diskStart = getLe32(block.data + at);
        }
    }
}

void applyUnicodePath(EngineState* state, const uint8_t* extra, unsigned length) {
    std::free(state->utf8Name);
    state->utf8Name = nullptr;
    if (extra == nullptr) return;
    const uint8_t* cursor = extra;
    ExtraBlock block;
    while (nextExtraBlock(cursor, extra + length, &block)) {
        if (block.id != EXTRA_UNICODE_PATH) continue;
        // Too short for its version and CRC: not a usable block.
        if (block.size < 5) continue;
        if (block.data[0] > 1) {
            sendMessage(state, "\nwarning:  Unicode Path version > 1\n");
            std::free(state->utf8Name);
            state->utf8Name = nullptr;
            return;
        }
        const char* stored = state->fullName != nullptr ? state->fullName : "";
        uint32_t nameCrc = crc32Update(0, reinterpret_cast<const uint8_t*>(stored),
                                       std::strlen(stored));
        if (nameCrc != getLe32(block.data + 1)) {
            sendMessage(state, "\nwarning:  Unicode Path checksum invalid\n");
            std::free(state->utf8Name);
            state->utf8Name = nullptr;
            return;
        }
        auto* name = static_cast<char*>(std::malloc(block.size - 4));
        if (name == nullptr) return;
        unsigned n = 0;
        while (n < block.size - 5 && block.data[5 + n] != 0) {
            name[n] = char(block.data[5 + n]);
            ++n;
        }
        name[n] = '\0';
        std::free(state->utf8Name);
        state->utf8Name = name;
    }
}

// The 2038 rule: a 32-bit time with its top bit set is a time from 2038 on only when
// the entry's MS-DOS stamp says so; otherwise it is a negative time we refuse.
static bool acceptTime(uint32_t raw, uint32_t dosDateTime, int64_t* time) {
    if (raw < 0x80000000u) {
        *time = raw;
        return true;
    }
    if (dosDateTime < DOS_DATE_2038) return false;
    *time = int64_t(raw);
    return true;
}

unsigned scanTimeFields(const uint8_t* extra, unsigned length, bool centralField,
                        uint32_t dosDateTime, EntryTimes* times) {
    if (times == nullptr || extra == nullptr || length == 0) return 0;
    unsigned mask = 0;
    bool newerForm = false;
    const uint8_t* cursor = extra;
    ExtraBlock block;
    while (nextExtraBlock(cursor, extra + length, &block)) {
        switch (block.id) {
        case EXTRA_EXTENDED_TIME: {
            mask &= ~0xFFu;
            newerForm = true;
            if (block.size == 0) break;
            unsigned flags = block.data[0];
            mask |= flags;
            unsigned at = 1;
            bool modificationHigh = false;
            if ((flags & TIME_MODIFICATION) && fits(block, 1, 4)) {
                uint32_t raw = getLe32(block.data + 1);
                if (!acceptTime(raw, dosDateTime, &times->modification)) {
                    mask &= ~0xFFu;
                    break;
                }
                modificationHigh = raw >= 0x80000000u;
                at = 5;
            } else {
                mask &= ~TIME_MODIFICATION;
            }
            if (centralField) {
                mask &= ~(TIME_ACCESS | TIME_CREATION);
                break;
            }
            const unsigned laterBits[2] = {TIME_ACCESS, TIME_CREATION};
            int64_t* laterTimes[2] = {&times->access, &times->creation};
            for (int i = 0; i < 2; ++i) {
                if (!(mask & laterBits[i])) continue;
                if (!fits(block, at, 4)) {
                    mask &= ~laterBits[i];
                    continue;
                }
                uint32_t raw = getLe32(block.data + at);
                at += 4;
                bool accepted = (raw < 0x80000000u || modificationHigh) &&
                                acceptTime(raw, dosDateTime, laterTimes[i]);
                if (!accepted) mask &= ~laterBits[i];
            }
            break;
        }
        case EXTRA_UNIX_IDS_OLD:
            if (!newerForm) {
                mask &= ~0xFFu;
                newerForm = true;
            }
            break;
        case EXTRA_UNIX_IDS:
            newerForm = true;
            break;
        case EXTRA_UNIX_OLD:
        case EXTRA_PKWARE_UNIX: {
            if (block.size < 8 || newerForm) break;
            mask |= TIME_MODIFICATION | TIME_ACCESS;
            uint32_t modification = getLe32(block.data + 4);
            if (!acceptTime(modification, dosDateTime, &times->modification)) {
                mask &= ~0xFFu;
                break;
            }
            uint32_t access = getLe32(block.data);
            bool accepted = (access < 0x80000000u || modification >= 0x80000000u) &&
                            acceptTime(access, dosDateTime, &times->access);
            if (!accepted && (mask & 0xFFu)) mask &= ~TIME_ACCESS;
            break;
        }
        default:
            break;
        }
    }
    times->mask = mask;
    return mask;
}
