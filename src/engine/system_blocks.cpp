// System blocks of the extra field. See system_blocks.h.
#include "engine/system_blocks.h"

#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/field_block.h"
#include "engine/messages.h"
#include "engine/records.h"
#include "engine/state.h"
#include "engine/times.h"

// A block counts when its data is longer than 4 bytes and its version is 0.
const uint8_t* findSecurityBlock(const EngineState* state, uint32_t* blockLength) {
    if (state->restoreSecurity == 0 || !isWindowsNT() || state->extraField == nullptr)
        return nullptr;
    const uint8_t* found = nullptr;
    const uint8_t* cursor = state->extraField;
    ExtraBlock block;
    while (nextExtraBlock(cursor, state->extraField + state->extraFieldLength, &block)) {
        if (block.id == EXTRA_SECURITY && block.size > 4 && block.data[4] == 0) {
            found = block.data - 4;
            *blockLength = block.size + 4;
        }
    }
    return found;
}

// Restoring a stored Windows security descriptor is not part of what this program
// offers; the block is only checked for completeness so that a damaged one is
// reported. Nothing is applied, on either platform.
int restoreSecurityData(const uint8_t*, const char*, uint32_t, uint32_t dataLength) {
    return dataLength < SECURITY_HEADER_LENGTH ? RC_EFTRUNC : RC_OK;
}

bool vmsRecordsVariable(EngineState* state, const uint8_t* extra, size_t length) {
    constexpr uint16_t kPkwareVms = 0x000C;
    constexpr uint16_t kVmsAttributes = 0x4D49;
    constexpr uint32_t kVfabTag = 0x42414656;  // "VFAB"
    constexpr unsigned kVariableRecords = 2;
    unsigned recordFormat = 0;
    const uint8_t* cursor = extra;
    ExtraBlock block;
    while (nextExtraBlock(cursor, extra + length, &block)) {
        const uint8_t* data = block.data;
        const size_t size = block.size;
        if (block.id == kPkwareVms && size >= 4) {
            uint32_t stored = getLe32(data);
            if (crc32Update(0, data + 4, size - 4) != stored) {
                sendMessage(state, "[Warning: CRC error, discarding PKWARE extra field]\n");
            } else {
                // The block's attributes are tagged like extra blocks themselves.
                const uint8_t* tagCursor = data + 4;
                ExtraBlock tag;
                while (nextExtraBlock(tagCursor, data + size, &tag))
                    if (tag.id == 4 && tag.size >= 1) recordFormat = tag.data[0] & 0x0F;
            }
        } else if (block.id == kVmsAttributes && size >= 4 && getLe32(data) == kVfabTag) {
            size_t unpackedLength = 0;
            uint8_t* unpacked = unpackVmsBlock(state, data, size, &unpackedLength);
            if (unpacked != nullptr && unpackedLength >= 32) recordFormat = unpacked[31] & 0x0F;
            std::free(unpacked);
        }
    }
    return recordFormat == kVariableRecords;
}

uint8_t* unpackVmsBlock(EngineState* state, const uint8_t* data, size_t length,
                        size_t* unpackedLength) {
    constexpr size_t kPackedStart = 12;
    *unpackedLength = 0;
    if (length < kPackedStart) return nullptr;
    unsigned packing = getLe16(data + 4) & 7;
    size_t size = getLe16(data + 6);
    const uint8_t* packed = data + kPackedStart;
    size_t packedLength = length - kPackedStart;
    if (packing == 0) size = packedLength;
    if (packing > 2) return nullptr;
    uint8_t* target = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (target == nullptr) return nullptr;
    bool ok = true;
    if (packing == 0)
        std::memcpy(target, packed, size);
    else if (packing == 1)
        expandFlagBits(packed, packedLength, target, size);
    else
        ok = extractFieldBlock(state, target, size, packed, packedLength) == RC_OK;
    if (!ok) {
        std::free(target);
        return nullptr;
    }
    *unpackedLength = size;
    return target;
}

void expandFlagBits(const uint8_t* source, size_t sourceLength, uint8_t* target, size_t n) {
    // Bits are taken least significant first; a source that runs out reads as zeros.
    size_t bitPosition = 0;
    auto nextBit = [&]() -> unsigned {
        size_t byte = bitPosition >> 3;
        unsigned bit = byte < sourceLength ? (source[byte] >> (bitPosition & 7)) & 1u : 0u;
        ++bitPosition;
        return bit;
    };
    for (size_t i = 0; i < n; ++i) {
        if (nextBit() == 0) {
            target[i] = 0;
            continue;
        }
        unsigned value = 0;
        for (unsigned b = 0; b < 8; ++b) value |= nextBit() << b;
        target[i] = uint8_t(value);
    }
}
