// extractEntry creates the output file, limits the byte reader to the entry, runs the
// decoder of its method, closes the file (attributes, times) and compares the CRC.
// Every decoder hands its output to flushOutput.
#include "engine/extract_entry.h"

#include <cstring>

#include "engine/decode_ahead.h"
#include "engine/explode.h"
#include "engine/field_tests.h"
#include "engine/inflate.h"
#include "engine/messages.h"
#include "engine/output_files.h"
#include "engine/reader.h"
#include "engine/result.h"
#include "engine/state.h"
#include "engine/unshrink.h"

namespace {

void decoderError(EngineState* state, const char* reason, const char* decoder) {
    if (state->quietLevel == 0) {
        sendMessage(state, "\n  error:  %s%s\n", reason, decoder);
    } else {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "  error:  %s%s %s\n", reason, decoder,
                    shownName(state->entryName, shown));
    }
}

// Explode that did not end where the entry's data ends: a warning when it used no
// more than the compressed size, an error when it ran past it.
int reportSizeMismatch(EngineState* state) {
    uint64_t compressed = state->local.compressedSize;
    bool warning = uint64_t(state->usedCompressed) <= compressed;
    char shown[PRINTABLE_NAME_SIZE];
    bool quiet = state->quietLevel > 0;
    sendMessage(state,
                "%s  %s:  %s bytes required to uncompress to %s bytes;\n"
                "    %s      supposed to require %s bytes%s%s%s\n",
                quiet ? "" : "\n", warning ? "warning" : "error",
                formatNumber(state, uint64_t(state->usedCompressed), true),
                formatNumber(state, state->local.uncompressedSize, false), warning ? "  " : "",
                formatNumber(state, compressed, false), quiet ? " [" : "",
                quiet ? shownName(state->entryName, shown) : "", quiet ? "]" : ".");
    return warning ? RC_WARNING : RC_ERROR;
}

// A decoder's own failure becomes its message and RC_NOMEM3 or RC_ERROR; the output
// stage's results pass unchanged. Not for DECODE_READ_FAILED, which ends the run.
int reportDecodeResult(EngineState* state, unsigned method, int result) {
    if (result == DECODE_OK || result > DECODE_READ_FAILED) return result;
    if (result == DECODE_SIZE_MISMATCH) return reportSizeMismatch(state);
    if (const char* note = incompleteCodeNote(result)) sendMessageUpTo(state, 0, "%s", note);
    const char* decoder = method == 1 ? "unshrink" : method == 6 ? "explode" : "inflate";
    bool memory = result == DECODE_NO_MEMORY;
    decoderError(state, memory ? "not enough memory to " : "invalid compressed data to ",
                 decoder);
    return memory ? RC_NOMEM3 : RC_ERROR;
}

// Method 0: the bytes go through the window, so that a deflated entry after this one
// can still reach back into them.
int copyStored(EngineState* state) {
    int result = RC_OK;
    uint32_t position = 0;
    for (;;) {
        if (state->inputCount > 0) {
            uint32_t run = WINDOW_SIZE - position;
            if (uint32_t(state->inputCount) < run) run = uint32_t(state->inputCount);
            std::memcpy(state->window() + position, state->inputPos, run);
            state->inputPos += run;
            state->inputCount -= int(run);
            position += run;
        } else {
            int byte = refillByte(state);
            if (byte == END_OF_DATA) break;
            state->window()[position++] = uint8_t(byte);
        }
        if (position == WINDOW_SIZE) {
            result = flushOutput(state, state->window(), position, false);
            position = 0;
            if (result != RC_OK || state->diskFull) return result;
        }
    }
    int last = flushOutput(state, state->window(), position, false);
    return last > result ? last : result;
}

// Runs the decoder of the entry's method (0, 1, 6, 8 or 9). A failed read overrides
// whatever the decoder made of its input's sudden end.
int decodeEntryData(EngineState* state, unsigned method) {
    int result;
    switch (method) {
    case 0:
        result = copyStored(state);
        break;
    case 1:
        result = unshrinkData(state);
        break;
    case 6:
        result = explodeData(state);
        break;
    default:
        result = inflateData(state, method == 9);
        break;
    }
    return state->readFailed ? DECODE_READ_FAILED : result;
}

} // namespace

int extractEntry(EngineState* state) {
    const EntryInfo* entry = state->currentEntry;
    char shown[PRINTABLE_NAME_SIZE];
    state->newFile = true;
    state->runningCrc = 0;
    // The smaller of the local and the central claim: the listing and the launcher's
    // free-space check go by the central one. They agree in every valid archive.
    const uint64_t declared = state->local.uncompressedSize < entry->uncompressedSize
                                  ? state->local.uncompressedSize
                                  : entry->uncompressedSize;
    state->outputLeft = declared;
    state->outputOverrun = false;

    // The per-entry lines are shown at the lowest quiet level only: the name is made
    // printable for them only then.
    const bool entryLines = state->quietLevel <= 0;
    if (state->testOnly) {
        if (entryLines)
            sendMessage(state, "%8sing: %-22s  %s%s", "test",
                        shownName(state->entryName, shown), "", "");
    } else if (!state->writeToConsole && openOutputFile(state) != 0) {
        return RC_DISKFULL;
    }
    limitInputToEntry(state);

    const unsigned method = state->local.method;
    const char* verb = method == 0                   ? "extract"
                       : method == 1                 ? "unshrink"
                       : method == 6                 ? "explod"
                       : method == 8 || method == 9 ? "inflat"
                                                     : nullptr;
    if (verb != nullptr && !state->testOnly && entryLines) {
        const char* tag = "";
        if (state->convertText == 1) {
            if (method == 0 && state->local.uncompressedSize == 0)
                tag = "[empty] ";
            else
                tag = entry->isText ? "[text]  " : "[binary]";
        }
        sendMessage(state, "%8sing: %-22s  %s%s", verb, shownName(state->entryName, shown), tag,
                    state->writeToConsole ? "\r\n" : "");
    }

    if (verb == nullptr) {
        sendMessage(state, "%s:  unknown compression method\n",
                    shownName(state->entryName, shown));
        // Nothing of the entry can be written: leave no empty file behind.
        discardOutputFile(state);
        restoreInput(state);
        return RC_WARNING;
    }
    const int decoded = takeDecodedAhead(state) ? DECODE_OK : decodeEntryData(state, method);
    // The reader has reported the failure, and the run ends with this entry: its file
    // keeps what was written before and is closed with the rest of the run's state.
    if (decoded == DECODE_READ_FAILED) return RC_FATAL;
    int result = reportDecodeResult(state, method, decoded);

    if (!state->testOnly && !state->writeToConsole) closeOutputFile(state);

    if (state->outputOverrun) {
        // The declared bytes stay on disk, as other unzip programs leave them.
        sendMessage(state, "%s  error:  %s:  data go on past the declared size of %s bytes;"
                    " output stopped there\n",
                    state->quietLevel == 0 ? "\n" : "", shownName(state->entryName, shown),
                    formatNumber(state, declared, false));
        restoreInput(state);
        return RC_ERROR;
    }
    if (state->diskFull) {
        sendMessage(state, "warning:  %s is probably truncated\n",
                    shownName(state->entryName, shown));
        restoreInput(state);
        return RC_DISKFULL;
    }
    if (result > RC_WARNING) {
        restoreInput(state);
        return result;
    }
    if (state->runningCrc != state->local.crc) {
        if (state->quietLevel > 0) sendMessage(state, "%-22s ", shownName(state->entryName, shown));
        sendMessage(state, " bad CRC %08lx  (should be %08lx)\n",
                    static_cast<unsigned long>(state->runningCrc),
                    static_cast<unsigned long>(state->local.crc));
        if (entry->encrypted) sendMessage(state, "    (may instead be incorrect password)\n");
        result = RC_ERROR;
    } else if (state->testOnly) {
        const int fields = testExtraFields(state);
        raiseResult(&result, fields);
        if (fields == RC_OK) sendMessageUpTo(state, 0, " OK\n");
    } else if (result == RC_OK) {
        sendMessageUpTo(state, 0, "\n");
    }
    restoreInput(state);
    return result;
}

void limitInputToEntry(EngineState* state) {
    if (int64_t(state->inputCount) > state->compressedLeft) {
        if (state->compressedLeft < 0) state->compressedLeft = 0;
        state->leftoverPos = state->inputPos + state->compressedLeft;
        state->leftoverCount = state->inputCount - int(state->compressedLeft);
        state->inputCount = int(state->compressedLeft);
    } else {
        state->leftoverCount = 0;
    }
    state->compressedLeft -= state->inputCount;
}

void restoreInput(EngineState* state) {
    if (state->inputCount > 0) state->compressedLeft += state->inputCount;
    if (state->leftoverCount > 0) {
        state->inputCount = state->leftoverCount + int(state->compressedLeft);
        state->inputPos = state->leftoverPos - state->compressedLeft;
        state->leftoverCount = 0;
    } else if (state->inputCount < 0) {
        state->inputCount = 0;
    }
}
