/*
 * The system's pause on Linux.
 */
#include "platform/sleep.h"

#include <ctime>

namespace platform {

void systemSleep(unsigned milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0) {
        // Interrupted by a signal: sleep the rest.
    }
}

} // namespace platform
