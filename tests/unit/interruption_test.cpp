// The interruption policy both builds apply (Linux signals, Windows console events): what
// an interruption does at each stage of the run.
#include <gtest/gtest.h>

#include "platform/interruption.h"

using platform::decideInterruption;
using platform::RunStage;

namespace {
// The decision as four letters: Cancel, End by it, Pass on, Hold: "CE--".
std::string decided(RunStage stage, bool reachedInstaller, bool endsOnReturn) {
    const platform::InterruptDecision d = decideInterruption(stage, reachedInstaller, endsOnReturn);
    return std::string(d.cancelRun ? "C" : "-") + (d.endByIt ? "E" : "-") +
           (d.passToInstaller ? "P" : "-") + (d.holdUntilCleanedUp ? "H" : "-");
}
} // namespace

TEST(InterruptionPolicy, CancelWhileWorkingPassOnWhileTheInstallerRunsNeverStopTheCleanUp) {
    // Extracting: Ctrl+C, Ctrl+Break, SIGINT, SIGTERM, SIGHUP cancel and end the process.
    EXPECT_EQ(decided(RunStage::working, false, false), "CE--");
    EXPECT_EQ(decided(RunStage::working, true, false), "CE--");
    // The console window closing: the handler must hold until the clean-up is done.
    EXPECT_EQ(decided(RunStage::working, true, true), "CE-H");

    // The installer runs: what it got itself (a terminal's Ctrl-C, any console event) is
    // not delivered twice; a signal sent to the launcher alone is passed on. The launcher
    // waits and exits with the installer's status.
    EXPECT_EQ(decided(RunStage::installerRunning, true, false), "----");
    EXPECT_EQ(decided(RunStage::installerRunning, false, false), "--P-");
    EXPECT_EQ(decided(RunStage::installerRunning, true, true), "---H");

    // Cleaning up: nothing is cancelled half-way; the process ends by it afterwards.
    EXPECT_EQ(decided(RunStage::cleaningUp, false, false), "-E--");
    EXPECT_EQ(decided(RunStage::cleaningUp, true, true), "-E-H");
}
