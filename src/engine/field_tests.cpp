// See field_tests.h. Each of these blocks is a 4-byte uncompressed size (the security
// descriptor then has a version byte) followed by what extractFieldBlock takes: method,
// CRC-32 of the unpacked data, packed data. Blocks that do not fit in the field are
// left alone: padding and foreign blocks are common, and the entry's data is what the
// test is about.
#include "engine/field_tests.h"

#include <cstdint>
#include <cstdlib>

#include "engine/field_block.h"
#include "engine/messages.h"
#include "engine/records.h"
#include "engine/result.h"
#include "engine/state.h"

namespace {

struct SystemBlock {
    uint16_t id;
    unsigned headerLength;  // bytes before the method: size, and the version if any
    const char* what;
};

constexpr SystemBlock kSystemBlocks[] = {
    {0x4453, 5, "Windows security descriptor"},
    {0x0009, 4, "OS/2 extended attributes"},
    {0x4C41, 4, "access control list"},
};

// What these blocks hold is small; a block claiming more is not unpacked.
constexpr uint32_t kLargestUnpacked = uint32_t(1) << 20;

const SystemBlock* systemBlock(uint16_t id) {
    for (const SystemBlock& block : kSystemBlocks)
        if (block.id == id) return &block;
    return nullptr;
}

// Unpacks one block; answers RC_OK or a result with its message sent.
int testBlock(EngineState* state, const SystemBlock& kind, const uint8_t* data, unsigned length) {
    char shown[PRINTABLE_NAME_SIZE];
    auto fault = [&](int result, const char* reason) {
        if (state->quietLevel > 0)
            sendMessage(state, "%-22s ", printableName(state->entryName, shown, sizeof shown));
        sendMessage(state, " bad extra field: %s block %s\n", kind.what, reason);
        return result;
    };
    if (length < kind.headerLength + 6) return fault(RC_ERROR, "is truncated");
    const uint32_t size = getLe32(data);
    if (size > kLargestUnpacked) return fault(RC_ERROR, "claims an impossible size");
    auto* unpacked = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (unpacked == nullptr) return fault(RC_NOMEM3, "could not be unpacked (not enough memory)");
    const int result = extractFieldBlock(state, unpacked, size, data + kind.headerLength,
                                         length - kind.headerLength);
    const size_t produced = state->memoryProduced;
    std::free(unpacked);
    switch (result) {
    case RC_OK:
        return produced == size ? RC_OK : fault(RC_ERROR, "is shorter than its size says");
    case RC_NOMEM3:
        return fault(RC_NOMEM3, "could not be unpacked (not enough memory)");
    case 8 * 256 + RC_ERROR:
        return fault(RC_ERROR, "has a bad CRC");
    default:
        // In test mode an unknown method comes back as method x 256 + RC_ERROR; stored
        // data that does not fit its size, as RC_ERROR.
        if (result >= 256) return fault(RC_ERROR, "uses an unknown compression method");
        return fault(RC_ERROR, getLe16(data + kind.headerLength) == 0
                                   ? "is longer than its size says"
                                   : "holds invalid compressed data");
    }
}

} // namespace

int testExtraFields(EngineState* state) {
    int worst = RC_OK;
    if (state->extraField == nullptr) return worst;
    const uint8_t* cursor = state->extraField;
    ExtraBlock block;
    while (nextExtraBlock(cursor, state->extraField + state->extraFieldLength, &block)) {
        if (const SystemBlock* kind = systemBlock(block.id))
            raiseResult(&worst, testBlock(state, *kind, block.data, block.size));
    }
    return worst;
}
