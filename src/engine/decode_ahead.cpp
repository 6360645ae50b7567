// Decoding ahead in a second thread. See decode_ahead.h.
//
// Only the walk's thread starts, joins and chooses; the second thread touches nothing
// but its own state and the results in the slot it was given, and the walk reads those
// only after joining the thread. So the two share no data while both run, apart from
// the two flags.
#include "engine/decode_ahead.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/decode_result.h"
#include "engine/extract_entry.h"
#include "engine/inflate.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/result.h"
#include "engine/state.h"
#include "platform/thread.h"

namespace {

// Smaller entries decode in not much more time than starting a thread takes.
constexpr uint64_t AHEAD_MIN_COMPRESSED = uint64_t(1) << 20;
// What the walk spends on an entry besides decoding it (its local header read and
// checked, its lines), in bytes decoded in the same time.
constexpr uint64_t ENTRY_OVERHEAD_WORK = 4096;
// Candidates weighed for each choice: bounds its cost when a block has thousands.
constexpr unsigned AHEAD_CHOICES = 64;
// Entries decoded ahead and not yet reached, each holding a window: the memory bound.
constexpr unsigned AHEAD_SLOTS = 3;
constexpr unsigned NO_ENTRY = ~0u;

int printNothing(const char*, uint32_t) { return 0; }

// The second thread's messages (a failed read, say) are not the walk's: the walk meets
// the same trouble itself when it decodes the entry.
UnzipCallbacks silentCallbacks = {printNothing, nullptr, nullptr, nullptr, nullptr,
                                  nullptr,      nullptr, nullptr, 0,       0,
                                  0,            0,       0};

// An entry worth decoding ahead.
struct Candidate {
    uint64_t work;  // workOf the entry
    unsigned entry;
    bool taken;     // given to the second thread
};

// One entry given to the second thread: what the walk told it, and what decoding left.
struct AheadSlot {
    unsigned entry;  // index in the block's entry table; NO_ENTRY: free
    int64_t localOffset;
    uint64_t compressedSize;  // the central header's
    uint64_t declaredSize;
    // Found by the second thread.
    int64_t dataStart;  // file offset
    unsigned method;
    bool usable;  // decoded to the end within the declared size, from its own bytes
                  // alone, and at least a window long (which the window then holds whole)
    uint32_t crc;
    uint64_t produced;
    uint8_t window[WINDOW_SIZE];
};

} // namespace

struct DecodeAhead {
    EngineState* worker;        // the second thread's reader and decoder
    platform::Thread* thread;   // started and not yet joined; nullptr: idle
    AheadSlot* running;         // the slot of that thread
    std::atomic<bool> finished; // the running decoding has ended
    std::atomic<bool> stop;     // the walk no longer wants it: end at the next block read
    Candidate* order;           // the most work first
    unsigned orderCount;
    unsigned firstAhead;        // no candidate before this one is still to be chosen
    uint64_t* workBefore;       // of the block's entries before each one, and of all
    AheadSlot slots[AHEAD_SLOTS];
};

namespace {

// Decoding takes time with both the bytes read and the bytes made.
uint64_t workOf(const EntryInfo& entry) {
    return entry.compressedSize + entry.uncompressedSize + ENTRY_OVERHEAD_WORK;
}

bool worthDecodingAhead(const EntryInfo& entry) {
    return !entry.encrypted && entry.compressedSize >= AHEAD_MIN_COMPRESSED &&
           entry.uncompressedSize >= WINDOW_SIZE;
}

// Runs in the second thread: the entry's local header, then its data, as the walk
// would read them if the archive is what its central directory says.
void decodeSlot(EngineState* worker, AheadSlot& slot) {
    slot.usable = false;
    uint8_t header[4 + LOCAL_HEADER_TAIL];
    if (seekArchive(worker, slot.localOffset) != RC_OK ||
        readBytes(worker, header, sizeof header) != sizeof header ||
        !sameSignature(header, worker->signatures.localHeader))
        return;
    const uint8_t* tail = header + 4;
    slot.method = getLe16(tail + 4);
    if ((getLe16(tail + 2) & FLAG_ENCRYPTED) != 0 || (slot.method != 8 && slot.method != 9))
        return;
    const int64_t dataStart =
        slot.localOffset + int64_t(sizeof header) + getLe16(tail + 22) + getLe16(tail + 24);
    if (seekArchive(worker, dataStart) != RC_OK) return;
    slot.dataStart = dataStart + worker->extraBytes;

    worker->compressedLeft = claimedOffset(slot.compressedSize);
    limitInputToEntry(worker);
    worker->outputLeft = slot.declaredSize;
    worker->outputOverrun = false;
    worker->runningCrc = 0;
    worker->reachedBeforeEntry = false;
    const int decoded = inflateData(worker, slot.method == 9);
    restoreInput(worker);

    slot.produced = slot.declaredSize - worker->outputLeft;
    slot.crc = worker->runningCrc;
    slot.usable = decoded == DECODE_OK && !worker->readFailed && !worker->outputOverrun &&
                  !worker->reachedBeforeEntry && slot.produced >= WINDOW_SIZE;
    if (slot.usable) std::memcpy(slot.window, worker->window(), WINDOW_SIZE);
}

int moreWorkFirst(const void* a, const void* b) {
    const auto* left = static_cast<const Candidate*>(a);
    const auto* right = static_cast<const Candidate*>(b);
    if (left->work != right->work) return left->work > right->work ? -1 : 1;
    return left->entry < right->entry ? -1 : 1;
}

void runSecondThread(void* argument) {
    auto* ahead = static_cast<DecodeAhead*>(argument);
    decodeSlot(ahead->worker, *ahead->running);
    ahead->finished.store(true, std::memory_order_release);
}

void joinRunning(DecodeAhead* ahead) {
    platform::joinThread(ahead->thread);
    ahead->thread = nullptr;
    ahead->running = nullptr;
}

// The work the walk does from entry `slot` until it reaches entry `index`: all the
// entries between, but those the second thread decoded or is to decode.
uint64_t leadOf(const DecodeAhead* ahead, unsigned slot, unsigned index) {
    uint64_t lead = ahead->workBefore[index] - ahead->workBefore[slot];
    for (const AheadSlot& s : ahead->slots)
        if (s.entry != NO_ENTRY && s.entry >= slot && s.entry < index)
            lead -= ahead->workBefore[s.entry + 1] - ahead->workBefore[s.entry];
    return lead;
}

// Chooses among the candidates after entry `slot`. The best has the most work that the
// second thread can finish before the walk comes to it (a lead of at least its work),
// and is no further ahead than that needs (a lead of at most twice its work): a
// decoding far ahead holds a slot long and leaves the second thread idle while the walk
// catches up. Failing that, the nearest entry with enough lead; failing that, the one
// that comes nearest to having it.
Candidate* chooseNext(DecodeAhead* ahead, unsigned slot) {
    // Candidates passed over or taken here are done with for good.
    while (ahead->firstAhead < ahead->orderCount &&
           (ahead->order[ahead->firstAhead].taken || ahead->order[ahead->firstAhead].entry <= slot))
        ++ahead->firstAhead;
    Candidate* nearestWithLead = nullptr;
    Candidate* bestShare = nullptr;
    double bestShareValue = -1;
    unsigned weighed = 0;
    for (unsigned k = ahead->firstAhead; k < ahead->orderCount && weighed < AHEAD_CHOICES; ++k) {
        Candidate& candidate = ahead->order[k];
        if (candidate.taken || candidate.entry <= slot) continue;
        ++weighed;
        const uint64_t lead = leadOf(ahead, slot, candidate.entry);
        if (lead >= candidate.work) {
            if (lead / 2 <= candidate.work) return &candidate;
            if (nearestWithLead == nullptr || candidate.entry < nearestWithLead->entry)
                nearestWithLead = &candidate;
        }
        const double share = double(lead) / double(candidate.work);
        if (share > bestShareValue) {
            bestShare = &candidate;
            bestShareValue = share;
        }
    }
    return nearestWithLead != nullptr ? nearestWithLead : bestShare;
}

// Gives the second thread its next entry after entry `slot`, when a slot is free.
void startNext(EngineState* state, DecodeAhead* ahead, unsigned slot) {
    AheadSlot* free = nullptr;
    for (AheadSlot& s : ahead->slots)
        if (s.entry == NO_ENTRY) free = &s;
    if (free == nullptr) return;
    Candidate* chosen = chooseNext(ahead, slot);
    if (chosen == nullptr) return;
    chosen->taken = true;
    const unsigned index = chosen->entry;
    const EntryInfo& entry = state->entryTable[index];
    free->entry = index;
    free->localOffset = entry.localOffset;
    free->compressedSize = entry.compressedSize;
    free->declaredSize = entry.uncompressedSize;
    ahead->worker->extraBytes = state->extraBytes;
    ahead->finished.store(false, std::memory_order_relaxed);
    ahead->stop.store(false, std::memory_order_relaxed);
    ahead->running = free;
    ahead->thread = platform::startThread(runSecondThread, ahead);
    if (ahead->thread == nullptr) {  // the walk goes on alone
        free->entry = NO_ENTRY;
        ahead->running = nullptr;
        ahead->orderCount = 0;
    }
}

void releaseDecodeAhead(DecodeAhead* ahead) {
    if (ahead->worker != nullptr) {
        if (ahead->worker->archiveFile != nullptr) std::fclose(ahead->worker->archiveFile);
        std::free(ahead->worker->inputBuffer);
        std::free(ahead->worker);
    }
    std::free(ahead->order);
    std::free(ahead->workBefore);
    std::free(ahead);
}

} // namespace

void beginDecodingAhead(EngineState* state, unsigned count) {
    if (!state->testOnly || count < 2) return;
    // Entry 0 is the walk's at once: nothing can be decoded ahead of it.
    unsigned candidates = 0;
    for (unsigned i = 1; i < count; ++i)
        if (worthDecodingAhead(state->entryTable[i])) ++candidates;
    if (candidates == 0 || platform::usableProcessors() < 2) return;

    auto* ahead = static_cast<DecodeAhead*>(std::calloc(1, sizeof(DecodeAhead)));
    if (ahead == nullptr) return;
    ahead->order = static_cast<Candidate*>(std::malloc(candidates * sizeof(Candidate)));
    ahead->workBefore = static_cast<uint64_t*>(std::malloc((count + 1) * sizeof(uint64_t)));
    ahead->worker = static_cast<EngineState*>(std::calloc(1, sizeof(EngineState)));
    EngineState* worker = ahead->worker;
    if (ahead->order == nullptr || ahead->workBefore == nullptr || worker == nullptr ||
        (worker->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE))) == nullptr ||
        (worker->archiveFile = std::fopen(state->currentArchive, "rb")) == nullptr) {
        releaseDecodeAhead(ahead);
        return;
    }
    worker->testOnly = true;
    worker->callbacks = &silentCallbacks;
    worker->signatures = state->signatures;
    worker->stopRequest = &ahead->stop;
    forgetInputBlock(worker);

    ahead->workBefore[0] = 0;
    for (unsigned i = 0; i < count; ++i) {
        const EntryInfo& entry = state->entryTable[i];
        ahead->workBefore[i + 1] = ahead->workBefore[i] + workOf(entry);
        if (i > 0 && worthDecodingAhead(entry))
            ahead->order[ahead->orderCount++] = {workOf(entry), i, false};
    }
    std::qsort(ahead->order, ahead->orderCount, sizeof *ahead->order, moreWorkFirst);
    for (AheadSlot& slot : ahead->slots) slot.entry = NO_ENTRY;
    state->decodeAhead = ahead;
}

void decodeAheadBefore(EngineState* state, unsigned slot) {
    DecodeAhead* ahead = state->decodeAhead;
    if (ahead == nullptr) return;
    if (ahead->thread != nullptr) {
        // An entry the walk went past was skipped: its decoding is of no use.
        const bool passed = ahead->running->entry < slot;
        if (passed) ahead->stop.store(true, std::memory_order_relaxed);
        if (passed || ahead->finished.load(std::memory_order_acquire)) joinRunning(ahead);
    }
    for (AheadSlot& s : ahead->slots)
        if (s.entry != NO_ENTRY && s.entry < slot && &s != ahead->running) s.entry = NO_ENTRY;
    if (ahead->thread == nullptr) startNext(state, ahead, slot);
}

bool takeDecodedAhead(EngineState* state) {
    DecodeAhead* ahead = state->decodeAhead;
    if (ahead == nullptr) return false;
    const unsigned index = unsigned(state->currentEntry - state->entryTable);
    AheadSlot* slot = nullptr;
    for (AheadSlot& s : ahead->slots)
        if (s.entry == index) slot = &s;
    if (slot == nullptr) return false;
    if (slot == ahead->running) joinRunning(ahead);
    slot->entry = NO_ENTRY;

    const LocalHeader& local = state->local;
    const bool same = slot->usable && local.method == slot->method &&
                      currentArchiveOffset(state) + state->extraBytes == slot->dataStart &&
                      local.compressedSize == slot->compressedSize &&
                      state->outputLeft == slot->declaredSize;
    if (!same) return false;
    state->runningCrc = slot->crc;
    state->outputLeft -= slot->produced;
    std::memcpy(state->window(), slot->window, WINDOW_SIZE);
    return true;
}

void endDecodingAhead(EngineState* state) {
    DecodeAhead* ahead = state->decodeAhead;
    if (ahead == nullptr) return;
    if (ahead->thread != nullptr) {
        ahead->stop.store(true, std::memory_order_relaxed);
        joinRunning(ahead);
    }
    releaseDecodeAhead(ahead);
    state->decodeAhead = nullptr;
}
