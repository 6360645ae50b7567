/*
 * The system's pause on Windows.
 */
#include "platform/sleep.h"

#include <windows.h>

namespace platform {

void systemSleep(unsigned milliseconds) {
    Sleep(milliseconds);
}

} // namespace platform
