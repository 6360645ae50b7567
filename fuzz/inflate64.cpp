// inflateData on raw enhanced-deflate streams (method 9). There is no second decoder of
// this variant to compare with, so the run through the archive reader is compared with
// the in-memory run (the path of compressed extra-field blocks): both must give the same
// result and the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::DecoderOutcome ours = fuzz::runDecoder(data, size, {9});
    if (ours.output.size() >= fuzz::kOutputLimit) return 0;
    const fuzz::DecoderOutcome inMemory =
        fuzz::runInflateInMemory(data, size, true, ours.output.size() + 1);
    if (inMemory.result != ours.result || inMemory.output != ours.output) {
        std::fprintf(stderr, "enhanced inflate: reader path %d, in-memory path %d\n", ours.result,
                     inMemory.result);
        std::abort();
    }
    return 0;
}
