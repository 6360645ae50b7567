/*
 * Interruptions of a run: SIGINT, SIGTERM and SIGHUP on Linux; Ctrl+C, Ctrl+Break and the
 * closing of the console window on Windows. Whatever the user or a service manager sends,
 * the extraction directory must not be left behind and the installer must not be orphaned,
 * so one policy decides, for both builds, what an interruption does at each stage of the
 * run (decideInterruption); each platform only carries the decision out.
 *
 * While the launcher prepares and extracts, an interruption is a Cancel: the extraction
 * stops at the next entry, the directory is removed, and the process then ends the way the
 * interruption ends a program that does not catch it (killed by the signal on Linux,
 * STATUS_CONTROL_C_EXIT on Windows), so that shells and service managers see what they
 * expect. While the installer runs, the installer is the one to answer: an event it did not
 * get itself (a signal sent to the launcher alone) is passed on, the launcher keeps waiting
 * and exits with the installer's status. During the clean-up nothing stops the clean-up.
 */
#pragma once

namespace platform {

enum class RunStage : int { working, installerRunning, cleaningUp };

struct InterruptDecision {
    bool cancelRun = false;          // stop the extraction at its next entry
    bool endByIt = false;            // after the clean-up, end as the interruption ends a program
    bool passToInstaller = false;    // send it on: the installer did not receive it itself
    bool holdUntilCleanedUp = false; // the system ends the process when the handler returns
};

// The policy. reachedInstaller: the same event went to the installer as well (a terminal's
// signal goes to the whole foreground process group, a console event to every process on
// the console). endsOnReturn: the process is ended as soon as the handler returns (Windows,
// the console window closing).
InterruptDecision decideInterruption(RunStage stage, bool reachedInstaller, bool endsOnReturn);

// Takes the interruptions over for the run, at the stage "working". onCancel runs inside
// the handler (Linux: a signal handler) and may only do what is safe there, such as setting
// an atomic flag. On Linux a signal that was ignored when the program started (nohup, a
// background job of a script) stays ignored.
void watchInterruptions(void (*onCancel)());

void setRunStage(RunStage stage);

// After the clean-up: when an interruption is to end the process, ends it now (does not
// return); otherwise gives the interruptions back to their previous handling.
void finishInterruptions();

} // namespace platform
