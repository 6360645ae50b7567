// The silent run's order and messages as far as the run itself decides them: each failure
// is followed by the run's own summary, and the result is the process exit status.
#include <cstring>
#include <filesystem>

#include "launcher/app/quenlow_sfx_app.h"
#include "launcher/run/run_sequence.h"
#include "launcher_fixture.h"

using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class SilentRunTest : public LauncherTest {};

TEST_F(SilentRunTest, MissingTemporaryDirectoryEndsWithMinusOne) {
    const std::string missing = scratchDirectory() + PATH_SEP "none";
    parse({"sfx", "-silent", "-noconsole", "-nowait", "-J-Djava.io.tmpdir=" + missing});
    CaptureStderr();
    EXPECT_EQ(runSilent(), -1);
    EXPECT_EQ(GetCapturedStderr(),
              "ERROR: The temporary directory " + missing +
                  " does not exist.\nPlease restart the installer and ensure the temporary "
                  "directory exists.\nERROR: Cannot setup the extract directory.\n");
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(SilentRunTest, ArchiveWithoutDescriptorFailsAndLeavesTheWorkingDirectory) {
    // The test program carries no archive, so the descriptor cannot be extracted.
    const std::string base = scratchDirectory();
    parse({"sfx", "-silent", "-J-Djava.io.tmpdir=" + base});
    CaptureStderr();
    EXPECT_EQ(runSilent(), 1);
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("ERROR: Cannot obtain archive information because it is corrupted "
                          "(1).\n"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(savedWorkingDirectory));
}

TEST_F(SilentRunTest, ApplicationTurnsACommandLineErrorIntoMinusOne) {
    setArguments({"sfx", "-silent", "-noconsole", "-nowait", "-J-Djava.io.tmpdir="});
    CQuenlowSFXApp application;
    CaptureStderr();
    EXPECT_FALSE(application.InitInstance());
    EXPECT_EQ(application.ExitInstance(), -1);
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Invalid temporary directory -J-Djava.io.tmpdir=\n");
    EXPECT_EQ(commandLine.optionError, nullptr);
}
