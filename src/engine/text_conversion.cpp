// Text conversion works in slices of at most kTextSlice input bytes, each converted
// into a buffer at least twice as large, so a decoder may pass blocks of any size.
// The conversion state (a carriage return at a block's end, the VMS record state)
// lives in the state record, so slice and block boundaries never change the result.
#include "engine/text_conversion.h"

#include <cstring>

#include "engine/output_files.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/state.h"
#include "engine/system_blocks.h"

namespace {

// Converted output of one slice is at most twice its size plus one pending line end
// (2 * 65535 + 2 = 131072), which fits outputBuffer (131073 bytes).
constexpr size_t kTextSlice = 65535;
static_assert(2 * kTextSlice + 2 <= size_t(OUTPUT_BUFFER_SIZE), "text slice too large");
static_assert(2 * kTextSlice + 2 <= size_t(SHRINK_TEXT_BUFFER), "text slice too large");

// CR LF line ends: a lone CR or LF becomes CR LF, CR LF stays; a CR at the end of a
// block swallows an LF at the start of the next one.
size_t convertPlainText(EngineState* state, const uint8_t* in, size_t count, uint8_t* out) {
    size_t produced = 0;
    size_t i = 0;
    if (count > 0 && in[0] == '\n' && state->lastWasCR) i = 1;
    state->lastWasCR = false;
    for (; i < count; ++i) {
        uint8_t c = in[i];
        if (c == '\r') {
            out[produced++] = '\r';
            out[produced++] = '\n';
            if (i + 1 == count)
                state->lastWasCR = true;
            else if (in[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out[produced++] = '\r';
            out[produced++] = '\n';
        } else {
            out[produced++] = c;
        }
    }
    return produced;
}

// VMS variable-length records: a 16-bit length, the record, a pad byte after an odd
// length. Each record ends in CR LF as soon as its last byte is copied, so neither a
// block boundary nor the end of the entry can lose a line end.
size_t convertVmsRecords(EngineState* state, const uint8_t* in, size_t count, uint8_t* out) {
    size_t produced = 0;
    size_t i = 0;
    for (;;) {
        if (state->recordState == 2 && state->recordLength == 0) {
            out[produced++] = '\r';
            out[produced++] = '\n';
            state->recordState = state->recordPad ? 4 : 0;
        }
        if (i >= count) break;
        switch (state->recordState) {
        case 0:
            if (count - i == 1) {
                state->recordLength = in[i++];
                state->recordState = 1;
            } else {
                state->recordLength = getLe16(in + i);
                i += 2;
                state->recordState = 2;
            }
            state->recordPad = (state->recordLength & 1) != 0;
            break;
        case 1:
            state->recordLength += uint32_t(in[i++]) << 8;
            state->recordState = 2;
            break;
        case 2: {
            size_t run = count - i < state->recordLength ? count - i : state->recordLength;
            std::memcpy(out + produced, in + i, run);
            produced += run;
            i += run;
            state->recordLength -= uint32_t(run);
            break;
        }
        default:  // 4: the pad byte after an odd record
            ++i;
            state->recordState = 0;
            break;
        }
    }
    return produced;
}

} // namespace

int writeConvertedText(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink) {
    uint8_t* buffer = fromShrink ? state->shrinkTextBuffer : state->outputBuffer;
    if (state->newFile) {
        bool vms = state->currentEntry->hostSystem == HOST_VMS && state->extraField != nullptr &&
                   vmsRecordsVariable(state, state->extraField, state->extraFieldLength);
        state->recordState = vms ? 0 : -1;
        state->recordLength = 0;
        state->lastWasCR = false;
        state->newFile = false;
    }
    for (size_t done = 0; done < count;) {
        size_t slice = count - done < kTextSlice ? count - done : kTextSlice;
        size_t produced = state->recordState < 0
                              ? convertPlainText(state, bytes + done, slice, buffer)
                              : convertVmsRecords(state, bytes + done, slice, buffer);
        int result = writeOutputBytes(state, buffer, produced);
        if (result != RC_OK) return result;
        done += slice;
    }
    return RC_OK;
}
