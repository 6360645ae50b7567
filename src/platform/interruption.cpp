/*
 * The interruption policy shared by both builds. It runs inside a signal handler on
 * Linux: plain arithmetic on its arguments, nothing else.
 */
#include "platform/interruption.h"

namespace platform {

InterruptDecision decideInterruption(RunStage stage, bool reachedInstaller, bool endsOnReturn) {
    InterruptDecision decision;
    decision.holdUntilCleanedUp = endsOnReturn;
    switch (stage) {
    case RunStage::working:
        decision.cancelRun = true;
        decision.endByIt = true;
        break;
    case RunStage::installerRunning:
        // The installer decides how to end; the launcher waits for it and cleans up.
        decision.passToInstaller = !reachedInstaller;
        break;
    case RunStage::cleaningUp:
        decision.endByIt = true;
        break;
    }
    return decision;
}

} // namespace platform
