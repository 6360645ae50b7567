// Testing on two processors. While the walk tests a block's entries in directory order,
// a second thread decodes the block's large entries ahead of it, one at a time, each
// chosen so that it is done by the time the walk comes to it, with a reader and decoder
// state of its own.
//
// The walk still reads and checks every local header and sends every message, in
// order. Of an entry decoded ahead it takes only what decoding leaves behind (the CRC,
// the byte count, the window), and only when the second thread read the same bytes
// with the same method and size limit as the walk found, the stream ended well within
// that limit, made at least a window, and took nothing from an earlier entry's window.
// In every other case the walk decodes the entry itself, as with one processor, so
// that results and messages are the same either way.
#pragma once

struct EngineState;

// Sets up decoding ahead for the block's `count` entries, when testing on two or more
// processors and some entry is large enough to be worth a thread.
void beginDecodingAhead(EngineState* state, unsigned count);

// Before the walk turns to entry `slot` of the block: collects a finished decoding and
// hands the second thread, when it is free, its next entry.
void decodeAheadBefore(EngineState* state, unsigned slot);

// For the current entry, with the reader at its data and the sizes set: true when its
// decoding was taken from the second thread (waiting for it if need be), leaving
// runningCrc, outputLeft and the window as decoding it here would have.
bool takeDecodedAhead(EngineState* state);

// Stops the second thread and releases everything: the walk leaves the block.
void endDecodingAhead(EngineState* state);
