// See field_block.h. The block's data is served by the byte reader in memory mode
// (memoryInput: the data ends with the block) and inflate writes through memoryOutput
// into the target, in a window of the block's own, so that the entry being written
// when the block is needed keeps its reader position and its window.
#include "engine/field_block.h"

#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/decode_result.h"
#include "engine/inflate.h"
#include "engine/messages.h"
#include "engine/state.h"

int memoryOutput(EngineState* state, const uint8_t* bytes, size_t count) {
    if (count > state->memoryRoom) return RC_DISKFULL;
    if (count == 0) return 0;
    std::memcpy(state->memoryTarget, bytes, count);
    state->memoryTarget += count;
    state->memoryRoom -= count;
    state->memoryProduced += count;
    return 0;
}

namespace {

constexpr size_t FIELD_BLOCK_HEADER = 6;  // method (u16), CRC-32 (u32)

// Runs the block's method with the reader pointed at its data and output to memory.
int decodeFieldBlock(EngineState* state, unsigned method, const uint8_t* data, size_t size) {
    if (method == 0) {
        // Stored: never copied beyond the target; a block that does not fit is refused.
        if (size > state->memoryRoom) return RC_ERROR;
        return memoryOutput(state, data, size) == 0 ? RC_OK : RC_ERROR;
    }
    if (method == 8 || method == 9) {
        state->memoryWindow = static_cast<uint8_t*>(std::calloc(WINDOW_SIZE + WINDOW_SLACK, 1));
        int r = state->memoryWindow ? inflateData(state, method == 9) : DECODE_NO_MEMORY;
        std::free(state->memoryWindow);
        state->memoryWindow = nullptr;
        if (r == DECODE_OK) return RC_OK;
        if (const char* note = incompleteCodeNote(r)) sendMessageUpTo(state, 0, "%s", note);
        if (!state->testOnly)
            sendMessage(state, "\n  error:  %s%s\n",
                        r == DECODE_NO_MEMORY ? "not enough memory to " : "invalid compressed data to ",
                        "inflate");
        return r == DECODE_NO_MEMORY ? RC_NOMEM3 : RC_ERROR;
    }
    if (state->testOnly) return int(method) * 256 + RC_ERROR;
    sendMessage(state, "\nerror:  unsupported extra-field compression type (%u)--skipping\n", method);
    return RC_ERROR;
}

}  // namespace

int extractFieldBlock(EngineState* state, uint8_t* target, size_t targetSize, const uint8_t* block,
                      size_t blockSize) {
    if (blockSize < FIELD_BLOCK_HEADER) return RC_EFTRUNC;
    const unsigned method = unsigned(block[0]) | unsigned(block[1]) << 8;
    const uint32_t storedCrc = uint32_t(block[2]) | uint32_t(block[3]) << 8 |
                               uint32_t(block[4]) << 16 | uint32_t(block[5]) << 24;
    const size_t dataSize = blockSize - FIELD_BLOCK_HEADER;

    uint8_t* const savedPos = state->inputPos;
    const int savedCount = state->inputCount;
    const int64_t savedLeft = state->compressedLeft;
    const bool savedMemoryInput = state->memoryInput;
    state->inputPos = const_cast<uint8_t*>(block + FIELD_BLOCK_HEADER);
    state->inputCount = int(dataSize);
    state->compressedLeft = int64_t(dataSize);
    state->memoryInput = true;
    state->memoryMode = 1;
    state->memoryTarget = target;
    state->memoryRoom = targetSize;
    state->memoryProduced = 0;

    int result = decodeFieldBlock(state, method, block + FIELD_BLOCK_HEADER, dataSize);

    state->inputPos = savedPos;
    state->inputCount = savedCount;
    state->compressedLeft = savedLeft;
    state->memoryInput = savedMemoryInput;
    state->memoryMode = 0;
    if (result != RC_OK) return result;

    const uint32_t crc = crc32Update(0, target, state->memoryProduced);
    if (crc == storedCrc) return RC_OK;
    if (state->testOnly) return 8 * 256 + RC_ERROR;
    sendMessage(state, "error [%s]:  bad extra-field CRC %08lx (should be %08lx)\n",
                state->currentArchive, static_cast<unsigned long>(crc),
                static_cast<unsigned long>(storedCrc));
    return RC_ERROR;
}
