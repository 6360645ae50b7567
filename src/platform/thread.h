/*
 * A second thread for work that can run beside the caller's, and how many processors
 * there are to run it on. The caller starts the thread and always joins it.
 */
#pragma once

namespace platform {

struct Thread;

// Starts run(argument) on a new thread; nullptr when none can be started.
Thread* startThread(void (*run)(void*), void* argument);

// Waits for the thread to end and releases it.
void joinThread(Thread* thread);

// The processors this process may run on (at least 1).
unsigned usableProcessors();

} // namespace platform
