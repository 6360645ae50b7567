// The block reader. See reader.h for the invariants; the one subtle point is that the
// file's own position always stays just after the blocks the last load asked for, so
// reading "the next block" never needs a seek.
#include "engine/reader.h"

#include <cstring>

#include "engine/decrypt.h"
#include "engine/messages.h"
#include "engine/extract_entry.h"
#include "platform/filestatus.h"

// No block starts here, so the next seek always loads one.
constexpr int64_t NO_BLOCK = -1;

void forgetInputBlock(EngineState* state) {
    state->bufferStart = NO_BLOCK;
    state->bufferBlocks = 1;
    state->inputPos = state->inputBuffer;
    state->inputCount = 0;
}

int64_t currentArchiveOffset(const EngineState* state) {
    return state->bufferStart + (state->inputPos - state->inputBuffer) - state->extraBytes;
}

// Reads `blocks` blocks at the file's position. Answers the bytes read, or -1 on an
// error.
static int readBlocks(EngineState* state, int blocks = 1) {
    state->blockDeciphered = false;
    state->bufferBlocks = blocks;
    std::size_t got =
        std::fread(state->inputBuffer, 1, std::size_t(blocks) * READ_BLOCK, state->archiveFile);
    if (got == 0 && std::ferror(state->archiveFile)) return -1;
    return int(got);
}

// The file offset just after the blocks the last load asked for: where the file stands,
// and where the next block starts.
static int64_t nextBlockStart(const EngineState* state) {
    const int blocks = state->bufferBlocks > 1 ? state->bufferBlocks : 1;
    return state->bufferStart + int64_t(blocks) * READ_BLOCK;
}

int seekArchive(EngineState* state, int64_t offset) {
    if (offset > ARCHIVE_OFFSET_LIMIT || offset < -ARCHIVE_OFFSET_LIMIT) return RC_EOF;
    int64_t request = offset + state->extraBytes;
    if (request < 0) {
        sendMessage(state, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
                    state->currentArchive, pleaseCheckNote);
        return RC_FATAL;
    }
    int inBlock = int(request % READ_BLOCK);
    int64_t block = request - inBlock;
    if (block != state->bufferStart || state->blockDeciphered) {
        if (!seekFile(state->archiveFile, block)) return RC_EOF;
        state->bufferStart = block;
        int got = readBlocks(state);
        if (got <= 0) {
            // Nothing was loaded: a later seek into this block must not count as inside it.
            forgetInputBlock(state);
            return RC_EOF;
        }
        state->inputCount = got - inBlock;
        state->inputPos = state->inputBuffer + inBlock;
    } else {
        uint8_t* target = state->inputBuffer + inBlock;
        state->inputCount += int(state->inputPos - target);
        state->inputPos = target;
    }
    return RC_OK;
}

unsigned readBytes(EngineState* state, void* destination, unsigned count) {
    auto* out = static_cast<uint8_t*>(destination);
    unsigned delivered = 0;
    while (delivered < count) {
        if (state->inputCount <= 0) {
            const int64_t next = nextBlockStart(state);
            int got = readBlocks(state);
            if (got < 0) {
                sendMessage(state, "error:  zipfile read error\n");
                return 0;
            }
            if (got == 0) return delivered;
            state->bufferStart = next;
            state->inputPos = state->inputBuffer;
            state->inputCount = got;
        }
        unsigned take = count - delivered;
        if (take > unsigned(state->inputCount)) take = unsigned(state->inputCount);
        std::memcpy(out + delivered, state->inputPos, take);
        state->inputPos += take;
        state->inputCount -= int(take);
        delivered += take;
    }
    return count;
}

int refillByte(EngineState* state) {
    if (state->memoryInput || state->readFailed) return END_OF_DATA;
    // A second thread's decoding that the walk no longer wants ends as at the end of its
    // data, within one block.
    if (state->stopRequest != nullptr && state->stopRequest->load(std::memory_order_relaxed))
        return END_OF_DATA;
    if (state->compressedLeft <= 0) {
        --state->compressedLeft;
        state->inputCount = 0;
        return END_OF_DATA;
    }
    // Whole blocks, as many as the entry's remaining bytes reach into.
    const int64_t blocksLeft = (state->compressedLeft + READ_BLOCK - 1) / READ_BLOCK;
    const int blocks = blocksLeft < READ_AHEAD_BLOCKS ? int(blocksLeft) : READ_AHEAD_BLOCKS;
    const int64_t next = nextBlockStart(state);
    int got = readBlocks(state, blocks);
    if (got < 0) {
        sendMessage(state, "error:  zipfile read error\n");
        state->readFailed = true;
        // What the failed read left in the block is nothing the reader may serve again.
        forgetInputBlock(state);
        return END_OF_DATA;
    }
    if (got == 0) return END_OF_DATA;
    state->bufferStart = next;
    state->inputPos = state->inputBuffer;
    state->inputCount = got;
    limitInputToEntry(state);
    if (state->inputCount <= 0) return END_OF_DATA;
    // An encrypted entry's blocks are deciphered as they arrive.
    if (state->currentEntry != nullptr && state->currentEntry->encrypted)
        decipherBlock(state, state->inputPos, state->inputCount);
    --state->inputCount;
    return *state->inputPos++;
}
