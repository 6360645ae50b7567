// extractFieldBlock on arbitrary compressed extra-field blocks: the in-memory inflate
// that runs on data of an entry's extra field, with a target sized from a header the
// archive also supplies. The first two bytes give the target's size (little-endian), the
// third whether the run is in test mode; the rest is the block (method, CRC, data).
#include <cstddef>
#include <cstdint>

#include "decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t targetSize = size_t(data[0]) | size_t(data[1]) << 8;
    fuzz::runFieldBlock(data + 3, size - 3, targetSize, (data[2] & 1) != 0);
    return 0;
}
