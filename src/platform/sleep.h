/*
 * Pausing the calling thread. Retry loops wait between attempts; tests replace the pause
 * so that a loop of 150 attempts of two seconds runs at once.
 */
#pragma once

namespace platform {

// Pauses for the given number of milliseconds (through the installed pause).
void sleepMilliseconds(unsigned milliseconds);

// Replaces the pause; null restores the system's. Returns the one installed before.
using SleepFunction = void (*)(unsigned milliseconds);
SleepFunction setSleepFunction(SleepFunction function);

// The system's pause.
void systemSleep(unsigned milliseconds);

} // namespace platform
