// The whole engine call on arbitrary bytes as the archive, in extraction mode.
#include <cstddef>
#include <cstdint>

#include "engine_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::runEngineOnArchive(data, size, fuzz::EngineRun::extract);
    return 0;
}
