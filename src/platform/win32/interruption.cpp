/*
 * Interruptions on Windows: a console control handler for Ctrl+C, Ctrl+Break and the
 * closing of the console window, applying the shared policy. Every process attached to the
 * console receives these events, the installer included, so nothing is ever passed on.
 *
 * The handler runs on a thread of its own. When the console window closes, the system ends
 * the process as soon as the handler returns (or after a few seconds): the handler then
 * waits until the run has cleaned up. The end "as interrupted" is the default handler's:
 * ExitProcess with STATUS_CONTROL_C_EXIT.
 */
#include "platform/interruption.h"

#include <atomic>
#include <windows.h>

namespace platform {

namespace {

std::atomic<int> stage{static_cast<int>(RunStage::working)};
std::atomic<bool> ending{false};
void (*cancelHook)() = nullptr;
HANDLE cleanedUp = nullptr;
bool watching = false;

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE; // log-off and shut-down keep their default handling
    const InterruptDecision decision =
        decideInterruption(static_cast<RunStage>(stage.load()), true, event == CTRL_CLOSE_EVENT);
    if (decision.endByIt)
        ending.store(true);
    if (decision.cancelRun && cancelHook != nullptr)
        cancelHook();
    if (decision.holdUntilCleanedUp && cleanedUp != nullptr)
        WaitForSingleObject(cleanedUp, INFINITE);
    return TRUE;
}

} // namespace

void watchInterruptions(void (*onCancel)()) {
    cancelHook = onCancel;
    stage.store(static_cast<int>(RunStage::working));
    ending.store(false);
    if (cleanedUp == nullptr)
        cleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    else
        ResetEvent(cleanedUp);
    watching = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != FALSE;
}

void setRunStage(RunStage newStage) {
    stage.store(static_cast<int>(newStage));
}

void finishInterruptions() {
    if (!watching)
        return;
    if (cleanedUp != nullptr)
        SetEvent(cleanedUp);
    if (ending.load())
        ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    watching = false;
    cancelHook = nullptr;
}

} // namespace platform
