// What the reporters write and where: the ERROR lines, the debug log, the message limits
// and the progress dots of the silent run.
#include <cstdlib>
#include <string>

#include "launcher_fixture.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class ReportingTest : public LauncherTest {
protected:
    // The dots printed for each of the percentages, one count per call.
    std::vector<std::size_t> dotsFor(std::initializer_list<int32_t> percentages) {
        std::vector<std::size_t> counts;
        for (int32_t percent : percentages) {
            CaptureStderr();
            consoleProgressSink("entry", percent);
            const std::string written = GetCapturedStderr();
            EXPECT_EQ(written.find_first_not_of(" ."), std::string::npos) << written;
            counts.push_back(written.size() / 2);
        }
        return counts;
    }
};

TEST_F(ReportingTest, ErrorLineGoesToStandardErrorInEveryMode) {
    commandLine.silentMode = true; // no message box in a test
    CaptureStderr();
    reportError("Cannot launch the installer (%d)", 555);
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Cannot launch the installer (555)\n");
}

TEST_F(ReportingTest, DebugLogWritesOnlyInDebugMode) {
    CaptureStderr();
    debugLog("Extract to %s", "x");
    EXPECT_EQ(GetCapturedStderr(), "");
    commandLine.debugMode = true;
    CaptureStderr();
    debugLog("Extract to %s", "x");
    EXPECT_EQ(GetCapturedStderr(), "Extract to x\n");
}

TEST_F(ReportingTest, LongMessagesAreCutToTheirBuffers) {
    commandLine.silentMode = true;
    const std::string text(5000, 'm');
    CaptureStderr();
    reportError("%s", text.c_str());
    EXPECT_EQ(GetCapturedStderr(), "ERROR: " + std::string(3199, 'm') + "\n");

    char* copy = formatOptionError("%s%s", text.c_str(), "tail");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy), std::string(3199, 'm'));
    std::free(copy);
}

#ifndef _WIN32
// The dialog's reporter always shows a box on Windows; on Linux the line is all there is.
TEST_F(ReportingTest, DialogMessagesAreCutTo907Characters) {
    const std::string text(1000, 'd');
    CaptureStderr();
    reportDialogError(nullptr, "%s", text.c_str());
    EXPECT_EQ(GetCapturedStderr(), "ERROR: " + std::string(907, 'd') + "\n");
}
#endif

TEST_F(ReportingTest, DotsFollowTheGainSinceTheLastPercentage) {
    commandLine.debugMode = true;
    EXPECT_EQ(dotsFor({0, 5, 5, 12, 100}), (std::vector<std::size_t>{0, 5, 0, 7, 88}));
    EXPECT_EQ(runState.lastPercent, 0);
    // A drop prints nothing and becomes the new starting point.
    EXPECT_EQ(dotsFor({40, 30, 35}), (std::vector<std::size_t>{40, 0, 5}));
}

TEST_F(ReportingTest, DotsAreBoundedToOneHundredWhateverThePercentage) {
    commandLine.debugMode = true;
    EXPECT_EQ(dotsFor({-50, 2147483647, 2147483647, 150}),
              (std::vector<std::size_t>{0, 100, 0, 0}));
    EXPECT_EQ(runState.lastPercent, 150);
}

TEST_F(ReportingTest, WithoutDebugTheSinkOnlyTracksThePercentage) {
    EXPECT_EQ(dotsFor({30}), (std::vector<std::size_t>{0}));
    EXPECT_EQ(runState.lastPercent, 30);
}

TEST_F(ReportingTest, ExitPromptIsSkippedWithNoWaitOrAFailedLaunch) {
    // Standard input is no console here, so the key wait itself returns at once.
    CaptureStderr();
    finishConsole();
    EXPECT_EQ(GetCapturedStderr(), "Press any key to exit\n");
    commandLine.noWait = true;
    CaptureStderr();
    finishConsole();
    EXPECT_EQ(GetCapturedStderr(), "");
    commandLine.noWait = false;
    runState.launchFailed = true;
    CaptureStderr();
    finishConsole();
    EXPECT_EQ(GetCapturedStderr(), "");
}
