// See decoder_harness.h. Every run gets a new zero-filled state, as every engine call
// does: the inflate window carries over between entries and starts as zeros, and a
// run must not see what an earlier input left in it.
#include "decoder_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/explode.h"
#include "engine/field_block.h"
#include "engine/inflate.h"
#include "engine/extract_entry.h"
#include "engine/reader.h"
#include "engine/state.h"
#include "engine/unshrink.h"

namespace fuzz {
namespace {

// Where printText puts what it receives: the console output, or the messages of the
// extra-field block container.
std::vector<uint8_t>* collectedOutput = nullptr;
std::string* collectedNotes = nullptr;

int collect(const char* text, uint32_t length) {
    if (collectedNotes != nullptr) {
        collectedNotes->append(text, length);
        return static_cast<int>(length);
    }
    if (collectedOutput->size() + length > kOutputLimit) return 0;
    collectedOutput->insert(collectedOutput->end(), text, text + length);
    return static_cast<int>(length);
}

int answerNo(char*, int) { return REPLACE_NO; }

struct FreshState {
    EngineState* state;
    UnzipCallbacks callbacks{};

    FreshState() : state(createEngineState()) {
        if (state == nullptr) std::abort();
        callbacks.printText = collect;
        callbacks.askReplace = answerNo;
        bindCallbacks(state, &callbacks);
    }
    ~FreshState() {
        releaseEngineState(state);
        std::free(state);
    }
    FreshState(const FreshState&) = delete;
    FreshState& operator=(const FreshState&) = delete;
};

constexpr uint8_t kFiller = 0xA5;

} // namespace

DecoderOutcome runDecoder(const uint8_t* stream, size_t size, const DecoderInput& input) {
    DecoderOutcome outcome{};
    collectedOutput = &outcome.output;

    // The archive: filler, the stream, a little more filler that must never be read.
    const size_t offset = (size * 37) % READ_BLOCK;
    std::vector<uint8_t> archive(offset, kFiller);
    archive.insert(archive.end(), stream, stream + size);
    archive.insert(archive.end(), 16, kFiller);

    FreshState fresh;
    EngineState* s = fresh.state;
    s->writeToConsole = true;
    s->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
    s->outputBuffer = static_cast<uint8_t*>(std::malloc(OUTPUT_BUFFER_SIZE));
    s->archiveFile = fmemopen(archive.data(), archive.size(), "rb");
    if (s->inputBuffer == nullptr || s->outputBuffer == nullptr || s->archiveFile == nullptr)
        std::abort();
    std::strcpy(s->entryName, "stream");
    s->local.method = static_cast<uint16_t>(input.method);
    s->local.flags = input.flags;
    s->local.compressedSize = size;
    s->local.uncompressedSize = input.uncompressedSize;
    s->newFile = true;
    s->outputLeft = UINT64_MAX;  // the decoder alone is under test, not the size limit

    forgetInputBlock(s);
    if (seekArchive(s, int64_t(offset)) != RC_OK && size > 0) std::abort();
    s->compressedLeft = int64_t(size);
    limitInputToEntry(s);
    switch (input.method) {
    case 1:
        outcome.result = unshrinkData(s);
        break;
    case 6:
        outcome.result = explodeData(s);
        break;
    default:
        outcome.result = inflateData(s, input.method == 9);
        break;
    }
    // A memory file cannot fail a read.
    if (s->readFailed) std::abort();
    restoreInput(s);
    collectedOutput = nullptr;
    return outcome;
}

DecoderOutcome runInflateInMemory(const uint8_t* stream, size_t size, bool enhanced, size_t room) {
    DecoderOutcome outcome{};
    std::vector<uint8_t> input(stream, stream + size);
    std::vector<uint8_t> target(room);
    FreshState fresh;
    EngineState* s = fresh.state;
    s->memoryInput = true;
    s->inputPos = input.data();
    s->inputCount = int(input.size());
    s->compressedLeft = int64_t(input.size());
    s->memoryMode = 1;
    s->memoryWindow = s->window();
    s->memoryTarget = target.data();
    s->memoryRoom = room;
    s->memoryProduced = 0;
    outcome.result = inflateData(s, enhanced);
    target.resize(s->memoryProduced);
    outcome.output = std::move(target);
    return outcome;
}

int runFieldBlock(const uint8_t* block, size_t size, size_t targetSize, bool testOnly) {
    // Both of exactly their size, so that a read or write past either shows.
    std::vector<uint8_t> input(block, block + size);
    input.shrink_to_fit();
    std::vector<uint8_t> target(targetSize);
    target.shrink_to_fit();
    std::string notes;
    FreshState fresh;
    fresh.state->testOnly = testOnly;
    collectedNotes = &notes;
    const int result = extractFieldBlock(fresh.state, target.data(), target.size(), input.data(), input.size());
    collectedNotes = nullptr;
    return result;
}

} // namespace fuzz
