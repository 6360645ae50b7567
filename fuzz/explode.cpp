// explodeData (method 6) on arbitrary data through the archive reader and the output
// stage. The first byte gives the entry's flags (bit 1: 8 KiB dictionary, bit 2: literal
// tree), the next three its uncompressed size (little-endian); the rest is the data.
#include <cstddef>
#include <cstdint>

#include "decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    fuzz::DecoderInput input{6};
    input.flags = uint16_t(data[0] & 0x06);
    input.uncompressedSize = uint64_t(data[1]) | uint64_t(data[2]) << 8 | uint64_t(data[3]) << 16;
    fuzz::runDecoder(data + 4, size - 4, input);
    return 0;
}
