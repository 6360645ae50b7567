/*
 * Threads on Windows: the C run-time's thread start (which sets up its per-thread
 * data), and the processors the system reports.
 */
#include "platform/thread.h"

#include <windows.h>

#include <new>
#include <process.h>

namespace platform {

struct Thread {
    HANDLE handle;
    void (*run)(void*);
    void* argument;
};

namespace {

unsigned __stdcall threadTrampoline(void* record) {
    auto* thread = static_cast<Thread*>(record);
    thread->run(thread->argument);
    return 0;
}

} // namespace

Thread* startThread(void (*run)(void*), void* argument) {
    auto* thread = new (std::nothrow) Thread{nullptr, run, argument};
    if (thread == nullptr) return nullptr;
    uintptr_t handle = _beginthreadex(nullptr, 0, threadTrampoline, thread, 0, nullptr);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->handle = reinterpret_cast<HANDLE>(handle);
    return thread;
}

void joinThread(Thread* thread) {
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}

unsigned usableProcessors() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 1 ? unsigned(info.dwNumberOfProcessors) : 1;
}

} // namespace platform
