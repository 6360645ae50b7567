// Unshrink: the decoder for method 1, dynamic LZW.
//
// Codes start 9 bits wide and grow, on the encoder's say-so, up to 13 bits. Code 256
// introduces a control code: 1 widens the codes by one bit, 2 clears every code that
// is not the prefix of another (a partial clear), and the freed codes are reused from
// the lowest one above 256. Each other code stands for a string: the string of its
// parent code followed by its own byte; a code not yet assigned can only be the one
// the decoder is about to assign, the previous string followed by its own first byte.
//
// Strings are traced from their last byte to the root onto a stack and then copied
// out in order. The stack has room for the longest chain the table can hold, so a
// chain that does not fit (a loop, in damaged data) is refused instead of followed.
// Output collects in the engine's output buffer and is flushed in 128 KiB blocks.
#include "engine/unshrink.h"

#include <cstring>

#include "engine/output_files.h"
#include "engine/reader.h"
#include "engine/state.h"

namespace {

constexpr uint16_t CODE_FREE = 8192;    // parent value of a code not assigned
constexpr uint16_t CODE_ROOT = 256;     // parent value of the 256 single-byte codes
constexpr uint16_t CODE_MARK = 0x4000;  // a code that is a parent, during a partial clear
constexpr uint16_t PARENT_MASK = 0x3FFF;
constexpr unsigned CONTROL_CODE = 256;
constexpr unsigned MAX_WIDTH = 13;

struct Unshrinker {
    EngineState* state;
    unsigned width;
    uint32_t outputCount;  // bytes collected in outputBuffer
};

// Reads a code of `width` bits. Answers false at the end of the data: when fewer bits
// were held than the code needs and not one more byte could be had.
bool readCode(EngineState* s, unsigned width, unsigned& code) {
    if (s->shrinkBitCount < int(width)) {
        s->shrinkEnd = 1;
        while (s->shrinkBitCount <= 24) {
            const int byte = readByte(s);
            if (byte == END_OF_DATA) break;
            s->shrinkBitBuffer |= uint32_t(byte) << s->shrinkBitCount;
            s->shrinkBitCount += 8;
            s->shrinkEnd = 0;
        }
    }
    if (s->shrinkEnd) return false;
    code = s->shrinkBitBuffer & ((1u << width) - 1);
    s->shrinkBitBuffer >>= width;
    s->shrinkBitCount = s->shrinkBitCount > int(width) ? s->shrinkBitCount - int(width) : 0;
    return true;
}

int flushCollected(Unshrinker& u) {
    const uint32_t count = u.outputCount;
    u.outputCount = 0;
    return flushOutput(u.state, u.state->outputBuffer, count, true);
}

int putBytes(Unshrinker& u, const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        uint32_t run = SHRINK_OUTPUT_BLOCK - u.outputCount;
        if (run > count) run = count;
        std::memcpy(u.state->outputBuffer + u.outputCount, bytes, run);
        u.outputCount += run;
        bytes += run;
        count -= run;
        if (u.outputCount == SHRINK_OUTPUT_BLOCK) {
            if (const int r = flushCollected(u)) return r;
        }
    }
    return 0;
}

// Frees every code above 256 up to the last assigned that no other code in that
// range has as its parent.
void partialClear(EngineState* s, unsigned lastAssigned) {
    uint16_t* parent = s->shrinkParent;
    for (unsigned c = CONTROL_CODE + 1; c <= lastAssigned; ++c) {
        const unsigned p = parent[c] & PARENT_MASK;
        if (p > CONTROL_CODE && p <= lastAssigned) parent[p] |= CODE_MARK;
    }
    for (unsigned c = CONTROL_CODE + 1; c <= lastAssigned; ++c) {
        if (parent[c] & CODE_MARK) parent[c] &= PARENT_MASK;
        else parent[c] = CODE_FREE;
    }
}

}  // namespace

int unshrinkData(EngineState* state) {
    EngineState* s = state;
    s->shrinkBitBuffer = 0;
    s->shrinkBitCount = 0;
    s->shrinkEnd = 0;
    for (unsigned c = 0; c < 256; ++c) {
        s->shrinkParent[c] = CODE_ROOT;
        s->shrinkValue[c] = uint8_t(c);
    }
    for (unsigned c = 256; c < SHRINK_CODES; ++c) s->shrinkParent[c] = CODE_FREE;

    Unshrinker u{s, 9, 0};
    unsigned lastAssigned = CONTROL_CODE;
    unsigned code = 0;
    if (!readCode(s, u.width, code)) return 0;
    uint8_t firstByte = uint8_t(code);
    unsigned previous = code;
    s->outputBuffer[u.outputCount++] = firstByte;

    uint8_t* const stackEnd = s->shrinkStack + SHRINK_CODES;
    while (readCode(s, u.width, code)) {
        if (code == CONTROL_CODE) {
            unsigned control = 0;
            if (!readCode(s, u.width, control)) break;
            if (control == 1) {
                if (++u.width > MAX_WIDTH) return DECODE_INVALID;
            } else if (control == 2) {
                partialClear(s, lastAssigned);
                lastAssigned = CONTROL_CODE;
            }
            continue;
        }

        uint8_t* top = stackEnd;
        unsigned c = code;
        while (c != CODE_ROOT) {
            if (top == s->shrinkStack) return DECODE_INVALID;
            if (s->shrinkParent[c] == CODE_FREE) {
                *--top = firstByte;
                c = previous;
            } else {
                *--top = s->shrinkValue[c];
                c = s->shrinkParent[c];
            }
        }
        firstByte = *top;
        if (const int r = putBytes(u, top, uint32_t(stackEnd - top))) return r;

        unsigned next = lastAssigned + 1;
        while (next < SHRINK_CODES && s->shrinkParent[next] != CODE_FREE) ++next;
        if (next >= SHRINK_CODES) return DECODE_INVALID;
        s->shrinkValue[next] = firstByte;
        s->shrinkParent[next] = uint16_t(previous);
        lastAssigned = next;
        previous = code;
    }
    return flushCollected(u);
}
