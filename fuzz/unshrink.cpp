// unshrinkData (method 1) on arbitrary data through the archive reader and the output
// stage. Its limits (13-bit codes, a bounded string stack) are what is tried here.
#include <cstddef>
#include <cstdint>

#include "decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runDecoder(data, size, {1});
    return 0;
}
