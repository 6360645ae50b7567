// Line-end and record conversion of text entries on their way to the output file.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineState;

// Converts and writes one block of a text entry: CR LF line ends, or VMS
// variable-length records as lines. Answers RC_OK or the write's error.
int writeConvertedText(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink);
