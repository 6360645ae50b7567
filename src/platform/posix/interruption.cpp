/*
 * Interruptions on Linux: one handler for SIGINT, SIGTERM and SIGHUP that applies the
 * shared policy. A signal the terminal generated (si_code SI_KERNEL) went to the whole
 * foreground process group, the installer included; one sent by a process (kill) reached
 * the launcher alone and is passed on while the installer runs.
 *
 * The handler touches lock-free atomics only. The installer's process id is withdrawn
 * before the child is reaped (waitid with WNOWAIT first), so that a signal is not passed
 * to a process id the system may already have given to another process.
 */
#include "platform/interruption.h"
#include "platform/posix/interruption_posix.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kWatchedCount = sizeof kWatched / sizeof kWatched[0];

std::atomic<int> stage{static_cast<int>(RunStage::working)};
std::atomic<pid_t> installer{0};
std::atomic<int> endingSignal{0};
void (*cancelHook)() = nullptr;
bool watching = false;
struct sigaction previous[kWatchedCount];
bool taken[kWatchedCount];

void onSignal(int signal, siginfo_t* info, void*) {
    const int savedErrno = errno;
    const bool fromTerminal = info != nullptr && info->si_code == SI_KERNEL;
    const InterruptDecision decision =
        decideInterruption(static_cast<RunStage>(stage.load()), fromTerminal, false);
    if (decision.passToInstaller) {
        const pid_t child = installer.load();
        if (child > 0)
            kill(child, signal);
    }
    if (decision.endByIt) {
        int none = 0;
        endingSignal.compare_exchange_strong(none, signal);
    }
    if (decision.cancelRun && cancelHook != nullptr)
        cancelHook();
    errno = savedErrno;
}

sigset_t watchedSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kWatched)
        sigaddset(&set, signal);
    return set;
}

} // namespace

void watchInterruptions(void (*onCancel)()) {
    cancelHook = onCancel;
    stage.store(static_cast<int>(RunStage::working));
    installer.store(0);
    endingSignal.store(0);
    struct sigaction action {};
    action.sa_sigaction = onSignal;
    // SA_RESTART: the extraction's reads and writes go on; the flag stops it between entries.
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    action.sa_mask = watchedSet();
    for (int index = 0; index < kWatchedCount; ++index) {
        taken[index] = false;
        if (sigaction(kWatched[index], nullptr, &previous[index]) != 0 ||
            previous[index].sa_handler == SIG_IGN)
            continue;
        taken[index] = sigaction(kWatched[index], &action, nullptr) == 0;
    }
    watching = true;
}

void setRunStage(RunStage newStage) {
    stage.store(static_cast<int>(newStage));
}

void finishInterruptions() {
    if (!watching)
        return;
    const int signal = endingSignal.load();
    if (signal != 0) {
        std::signal(signal, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        sigprocmask(SIG_UNBLOCK, &only, nullptr);
        raise(signal);
        _exit(128 + signal); // not reached: the default action of these signals ends us
    }
    for (int index = 0; index < kWatchedCount; ++index) {
        if (taken[index])
            sigaction(kWatched[index], &previous[index], nullptr);
    }
    watching = false;
    cancelHook = nullptr;
}

int cancellingSignal() {
    return endingSignal.load();
}

void followInstaller(pid_t child) {
    installer.store(child);
    stage.store(static_cast<int>(child > 0 ? RunStage::installerRunning : RunStage::working));
}

} // namespace platform
