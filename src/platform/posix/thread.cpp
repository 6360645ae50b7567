/*
 * Threads on Linux: POSIX threads, and the processors of the process's affinity mask.
 */
#include "platform/thread.h"

#include <new>

#include <pthread.h>
#include <sched.h>

namespace platform {

struct Thread {
    pthread_t handle;
    void (*run)(void*);
    void* argument;
};

namespace {

void* threadTrampoline(void* record) {
    auto* thread = static_cast<Thread*>(record);
    thread->run(thread->argument);
    return nullptr;
}

} // namespace

Thread* startThread(void (*run)(void*), void* argument) {
    auto* thread = new (std::nothrow) Thread{{}, run, argument};
    if (thread == nullptr) return nullptr;
    if (pthread_create(&thread->handle, nullptr, threadTrampoline, thread) != 0) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void joinThread(Thread* thread) {
    pthread_join(thread->handle, nullptr);
    delete thread;
}

unsigned usableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    int count = CPU_COUNT(&set);
    return count > 1 ? unsigned(count) : 1;
}

} // namespace platform
