// The launch step as a whole, run in a scratch extraction directory: the results and
// messages of every way it can end before the installer starts, the rewritten command,
// -jreLoc, and the installer's exit code and working directory.
#include <filesystem>
#include <string>

#include "launch_zip_maker.h"
#include "launcher/launch/launch_installer.h"
#include "launcher_fixture.h"
#include "platform/paths.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

bool plentyOfRoom(const char*, uint64_t* bytes) {
    *bytes = uint64_t{1} << 40;
    return true;
}

const std::string kDataFiles = std::string("Disk1") + PATH_SEP + "stage" + PATH_SEP + "Components" +
                               PATH_SEP + "rt" + PATH_SEP + "1.0" + PATH_SEP + "DataFiles";

} // namespace

class LaunchInstallerTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        commandLine.silentMode = true;
        std::string directory = scratchDirectory();
        ASSERT_TRUE(platform::changeDirectory(directory.c_str()));
        std::snprintf(runPaths.extractPath, sizeof runPaths.extractPath, "%s", directory.c_str());
        std::snprintf(runPaths.m_szTempDirectory, sizeof runPaths.m_szTempDirectory, "%s",
                      directory.c_str());
        std::snprintf(runPaths.launcherHome, sizeof runPaths.launcherHome, "%s",
                      savedWorkingDirectory.c_str());
        std::snprintf(commandLine.programPath, sizeof commandLine.programPath, "%s", "setup");
        std::snprintf(runPaths.descriptorPath, sizeof runPaths.descriptorPath,
                      "%s" PATH_SEP "sfx.ini", directory.c_str());
        platform::setFreeBytesQuery(plentyOfRoom);
        std::filesystem::create_directories(kDataFiles);
    }

    void describe(const std::string& command, const std::string& component = "rt") {
        writeFile(runPaths.descriptorPath,
                  "[autorun]\nCMD=" + command + "\nJRE_COMPONENT=" + component + "\n");
    }

    // The runtime jar: one program at bin/<name>, executable.
    void runtimeWith(const std::string& name, const std::string& content) {
        ASSERT_TRUE(launch_test::writeStoredZip(kDataFiles + PATH_SEP + "rt.jar",
                                                {{"bin/" + name, content}}, 0100755));
    }

    // Runs the launch and returns its result; the ERROR lines land in errors.
    int launch() {
        CaptureStderr();
        int result = launchInstaller();
        errors = GetCapturedStderr();
        return result;
    }

    std::string errors;
};

TEST_F(LaunchInstallerTest, CancelBeforeTheLaunchDoesNothing) {
    requestCancel();
    EXPECT_EQ(launch(), 0);
    EXPECT_EQ(errors, "");
}

TEST_F(LaunchInstallerTest, FailuresBeforeTheStartReturnOne) {
    describe("bin/java -jar a.jar", ":1.0,rt");
    runtimeWith("java", "");
    EXPECT_EQ(launch(), 1);
    EXPECT_EQ(errors, "ERROR: Cannot determine the destination directory for the Java "
                      "components\n");

    describe("bin/java -jar a.jar", "rt:2.0");
    EXPECT_EQ(launch(), 1);
    EXPECT_EQ(errors, "ERROR: Cannot find components specified in JRE_COMPONENT=rt:2.0\n");

    describe("bin/java");
    EXPECT_EQ(launch(), 1);
    EXPECT_EQ(errors, "ERROR: Invalid format in CMD=rt" PATH_SEP "bin/java\n");
    // The runtime was unpacked before the command was looked at.
    EXPECT_TRUE(std::filesystem::exists(std::string("rt") + PATH_SEP + "bin" + PATH_SEP + "java"));
}

TEST_F(LaunchInstallerTest, ARewrittenCommandThatWouldNotFitIsRefused) {
    // 1023 characters fit the descriptor's buffer, but not once "rt" and a separator
    // are put in front: the command must be refused, never cut.
    std::string command = "bin/java " + std::string(1023 - 9, 'a');
    describe(command);
    runtimeWith("java", "");
    EXPECT_EQ(launch(), 1);
    EXPECT_EQ(errors, "ERROR: The command CMD=" + command +
                          " is too long to be run from the directory rt\n");
    EXPECT_FALSE(std::filesystem::exists("rt"));

    describe("bin/java " + std::string(1023 - 9 - 3, 'a')); // exactly fits
    CaptureStderr();
    launchInstaller();
    EXPECT_EQ(GetCapturedStderr().find("too long"), std::string::npos);
}

TEST_F(LaunchInstallerTest, JavaPathAndCommandLengthLimits) {
    describe("bin/java -jar a.jar");
    runtimeWith("java", "");
    std::string longLocation(1024, 'j');
    std::snprintf(commandLine.jreLocation, sizeof commandLine.jreLocation, "%s",
                  longLocation.c_str());
    EXPECT_EQ(launch(), 1);
    EXPECT_EQ(errors.rfind("ERROR: Failed to get the path of the Java command ", 0), 0u) << errors;

    commandLine.jreLocation[0] = '\0';
    std::string huge(5000, 'x');
    char* arguments[] = {huge.data(), nullptr};
    char** saved = commandLine.installerArgs;
    commandLine.installerArgs = arguments;
    EXPECT_EQ(launch(), 1);
    commandLine.installerArgs = saved;
    EXPECT_EQ(errors,
              "ERROR: Internal error:  buffer overrun\nERROR: Launch command is too long\n");
}

TEST_F(LaunchInstallerTest, AnInstallerThatCannotStartGives555) {
    describe("bin/java -jar a.jar");
    runtimeWith("not-java", "");
    EXPECT_EQ(launch(), 555);
    EXPECT_EQ(errors, "ERROR: Cannot launch the installer (555)\n");
    EXPECT_TRUE(runState.launchFailed);
}

#ifndef _WIN32
TEST_F(LaunchInstallerTest, TheInstallerRunsInDisk1AndItsExitCodeIsTheResult) {
    describe("bin/java -jar a.jar");
    runtimeWith("java", "#!/bin/sh\npwd > ../cwd.txt\nexit 3\n");
    EXPECT_EQ(launch(), 3);
    EXPECT_EQ(errors, "");
    std::FILE* file = std::fopen((scratch / "cwd.txt").c_str(), "r");
    ASSERT_NE(file, nullptr);
    char line[1100] = {};
    std::fgets(line, sizeof line, file);
    std::fclose(file);
    EXPECT_EQ(std::string(line), (scratch / "Disk1").string() + "\n");
}

TEST_F(LaunchInstallerTest, RelativeJreLocationIsResolvedInTheExtractionDirectory) {
    describe("bin/java -jar a.jar");
    runtimeWith("java", "#!/bin/sh\nexit 3\n");
    std::filesystem::create_directories("own/bin");
    writeFile("own/bin/java", "#!/bin/sh\nexit 4\n");
    std::filesystem::permissions("own/bin/java", std::filesystem::perms::owner_all);
    std::snprintf(commandLine.jreLocation, sizeof commandLine.jreLocation, "%s", "own");
    EXPECT_EQ(launch(), 4);
    // The component's runtime is unpacked all the same.
    EXPECT_TRUE(std::filesystem::exists(scratch / "rt" / "bin" / "java"));
}
#endif
