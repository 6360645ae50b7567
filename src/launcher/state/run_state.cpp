/*
 * Progress accounting and cancellation of the main extraction. The percentage is computed
 * in double precision and truncated, never rounded: the progress display must not claim a
 * point before it is reached (29 bytes of 100 show 28 %, because 0.29 * 100 is just below
 * 29 in binary floating point).
 */
#include "launcher/state/run_state.h"

#include <cstdint>

void setProgressSink(ProgressSink sink) {
    runState.progressSink = sink;
}

void requestCancel() {
    runState.cancelRequested.store(true);
}

bool isCancelRequested() {
    return runState.cancelRequested.load();
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

int32_t extractionPercent(uint64_t extracted, uint64_t total) {
    // A descriptor announcing 0 bytes gives no quotient: whatever arrives is all there is.
    if (total == 0)
        return 100;
    const double percent = static_cast<double>(extracted) / static_cast<double>(total) * 100.0;
    // A descriptor without a size announces 1 byte, so the quotient runs far past 100;
    // converting a double beyond the int32 range is undefined, hence the saturation.
    if (percent >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(percent);
}

int trackExtractionProgress(const char* entryName, uint64_t size) {
    runState.extractedBytes = saturatingAdd(runState.extractedBytes, size);
    const int32_t percent = extractionPercent(runState.extractedBytes, runState.totalBytes);
    if (runState.progressSink != nullptr)
        runState.progressSink(entryName, percent);
    return isCancelRequested() ? 1 : 0;
}

void addListedSize(uint64_t uncompressedSize, uint64_t, unsigned, int, int, int, int, int, char,
                   const char*, const char*, uint32_t, char) {
    runState.totalBytes = saturatingAdd(runState.totalBytes, uncompressedSize);
}
