/*
 * The operations that tests may replace: the free-bytes query (a nearly full volume cannot
 * be arranged on demand) and the pause between retries (so that retry loops run at once).
 * The program itself always uses the system's versions.
 */
#include "platform/filesystem.h"
#include "platform/sleep.h"

namespace platform {

static FreeBytesQuery freeBytesQuery = systemFreeBytesAvailable;
static SleepFunction sleepFunction = systemSleep;

bool freeBytesAvailable(const char* directory, uint64_t* bytes) {
    return freeBytesQuery(directory, bytes);
}

FreeBytesQuery setFreeBytesQuery(FreeBytesQuery query) {
    const FreeBytesQuery previous = freeBytesQuery;
    freeBytesQuery = query != nullptr ? query : systemFreeBytesAvailable;
    return previous;
}

void sleepMilliseconds(unsigned milliseconds) {
    sleepFunction(milliseconds);
}

SleepFunction setSleepFunction(SleepFunction function) {
    const SleepFunction previous = sleepFunction;
    sleepFunction = function != nullptr ? function : systemSleep;
    return previous;
}

} // namespace platform
