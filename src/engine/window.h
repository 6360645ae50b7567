// The 64 KiB window that inflate and explode share as history and output buffer:
// copying a match inside it.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/decoder_fields.h"

// Copies `run` bytes inside a window from `source` to `position`, neither run crossing
// the window's end. A destination less than `run` ahead of its source repeats the
// pattern byte by byte, as an LZ77 match must; otherwise the run is one block move.
inline void copyWithinWindow(uint8_t* window, uint32_t position, uint32_t source, uint32_t run) {
    if (position >= source && position - source < run) {
        for (uint32_t i = 0; i < run; ++i) window[position + i] = window[source + i];
    } else {
        std::memmove(window + position, window + source, run);
    }
}

// Copies a match of any length and distance to `position`. The source is taken modulo
// the window, so a distance reaching back before the entry's output reads what the
// window still holds from an earlier entry; with `unwrittenIsZero` (explode, before
// its window was first handed on) it reads zeros there instead. Runs stop at the
// window's end (of source or destination); each time the window is full it goes to
// `emit` and the position starts again at 0. Answers 0, or emit's non-zero answer.
template <typename Emit>
inline int copyMatch(uint8_t* window, uint32_t& position, uint32_t length, uint32_t distance,
                     bool unwrittenIsZero, Emit&& emit) {
    uint32_t source = (position - distance) & (WINDOW_SIZE - 1);
    while (length > 0) {
        const uint32_t furthest = source > position ? source : position;
        uint32_t run = WINDOW_SIZE - furthest;
        if (run > length) run = length;
        if (unwrittenIsZero && source >= position)
            std::memset(window + position, 0, run);
        else
            copyWithinWindow(window, position, source, run);
        position += run;
        source = (source + run) & (WINDOW_SIZE - 1);
        length -= run;
        if (position == WINDOW_SIZE) {
            position = 0;
            unwrittenIsZero = false;  // the whole window is this entry's now
            if (const int r = emit()) return r;
        }
    }
    return 0;
}
