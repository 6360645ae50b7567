// The command-line parser: the option table, what is forwarded to the installer, the
// errors and which flags were seen before them.
#include <string>
#include <vector>

#include "launcher_fixture.h"

using Strings = std::vector<std::string>;

class CommandLineTest : public LauncherTest {};

TEST_F(CommandLineTest, NoArgumentsMeansDialogModeWithEmptyLists) {
    EXPECT_FALSE(parse({"sfx.exe"}));
    EXPECT_EQ(commandLine.optionError, nullptr);
    EXPECT_FALSE(commandLine.debugMode || commandLine.silentMode || commandLine.noConsole ||
                 commandLine.noWait);
    EXPECT_TRUE(listOf(commandLine.javaOptions).empty());
    EXPECT_TRUE(listOf(commandLine.installerArgs).empty());
    EXPECT_NE(commandLine.programPath[0], '\0');
}

TEST_F(CommandLineTest, ConsoleIsWantedForDebugOrSilentWithoutNoConsole) {
    EXPECT_TRUE(parse({"sfx", "-silent"}));
    resetAll();
    EXPECT_FALSE(parse({"sfx", "-Silent", "-NoConsole"}));
    EXPECT_TRUE(commandLine.silentMode && commandLine.noConsole);
    resetAll();
    EXPECT_TRUE(parse({"sfx", "-DEBUG", "-silent", "-noconsole"}));
    resetAll();
    EXPECT_FALSE(parse({"sfx", "-nowait"}));
    EXPECT_TRUE(commandLine.noWait);
}

TEST_F(CommandLineTest, FlagsAreForwardedAndLookalikesSetNothing) {
    parse({"sfx", "-silentx", "-SILENT", "-nowait", "other"});
    EXPECT_TRUE(commandLine.silentMode);
    EXPECT_TRUE(commandLine.noWait);
    EXPECT_EQ(listOf(commandLine.installerArgs),
              (Strings{"-silentx", "-SILENT", "-nowait", "other"}));
}

TEST_F(CommandLineTest, JreLocTakesTheNextArgumentUnchanged) {
    parse({"sfx", "-jreLoc", "-silent", "x"});
    EXPECT_STREQ(commandLine.jreLocation, "-silent");
    EXPECT_FALSE(commandLine.silentMode);
    EXPECT_EQ(listOf(commandLine.installerArgs), (Strings{"-jreLoc", "-silent", "x"}));

    resetAll();
    parse({"sfx", "-JRELOC", "", "-jreloc", "second"});
    EXPECT_STREQ(commandLine.jreLocation, "second");
    EXPECT_EQ(listOf(commandLine.installerArgs), (Strings{"-JRELOC", "", "-jreloc", "second"}));
}

TEST_F(CommandLineTest, JavaOptionsKeepTheirOrderAndAreForwardedWhole) {
    parse({"sfx", "a", "-jreLoc", "D:\\jre", "-J-X", "b", "-j-Xmx512m", "-jrelocation"});
    EXPECT_EQ(listOf(commandLine.javaOptions), (Strings{"-X", "-Xmx512m", "relocation"}));
    EXPECT_EQ(listOf(commandLine.installerArgs),
              (Strings{"a", "-jreLoc", "D:\\jre", "-J-X", "b", "-j-Xmx512m", "-jrelocation"}));
    // Entries point into the arguments themselves, two characters in for -J options.
    EXPECT_EQ(commandLine.javaOptions[0], commandLine.installerArgs[3] + 2);
}

TEST_F(CommandLineTest, TemporaryDirectoryOptionGoesIntoNeitherList) {
    parse({"sfx", "a", "-J-Djava.io.tmpdir=D:\\tmp", "b"});
    EXPECT_STREQ(runPaths.m_szTempDirectory, "D:\\tmp");
    EXPECT_TRUE(listOf(commandLine.javaOptions).empty());
    EXPECT_EQ(listOf(commandLine.installerArgs), (Strings{"a", "b"}));

    resetAll();
    parse({"sfx", "-j-Djava.io.tmpdir=first\\", "-J-Djava.io.tmpdir=second\\"});
    EXPECT_STREQ(runPaths.m_szTempDirectory, "second\\");

    // The property name itself is case-sensitive: this one is an ordinary Java option.
    resetAll();
    parse({"sfx", "-J-DJAVA.IO.TMPDIR=D:\\tmp"});
    EXPECT_STREQ(runPaths.m_szTempDirectory, "");
    EXPECT_EQ(listOf(commandLine.javaOptions), (Strings{"-DJAVA.IO.TMPDIR=D:\\tmp"}));
}

struct OptionErrorCase {
    Strings arguments;
    const char* message;
};

TEST_F(CommandLineTest, ErrorsCarryTheirMessageAndStopParsing) {
    const std::string longValue(1025, 'x');
    const OptionErrorCase cases[] = {
        {{"sfx", "-JreLoc"}, "Invalid option -JreLoc (no value)"},
        {{"sfx", "-J", "-debug"}, "Invalid option -J"},
        {{"sfx", "-j", "-silent"}, "Invalid option -j"},
        {{"sfx", "-J-Djava.io.tmpdir="}, "Invalid temporary directory -J-Djava.io.tmpdir="},
        {{"sfx", "-jreLoc", longValue},
         "Invalid option -jreLoc (the value is longer than 1024 characters)"},
        {{"sfx", "-J-Djava.io.tmpdir=" + longValue},
         "Invalid temporary directory (longer than 1024 characters)"},
    };
    for (const OptionErrorCase& item : cases) {
        resetAll();
        SCOPED_TRACE(item.message);
        EXPECT_FALSE(parse(item.arguments));
        ASSERT_NE(commandLine.optionError, nullptr);
        EXPECT_STREQ(commandLine.optionError, item.message);
        // Arguments after the bad one are not looked at: no flag is set.
        EXPECT_FALSE(commandLine.debugMode || commandLine.silentMode);
        EXPECT_STREQ(commandLine.jreLocation, "");
        EXPECT_STREQ(runPaths.m_szTempDirectory, "");
    }
}

TEST_F(CommandLineTest, ValuesOfExactly1024CharactersAreAccepted) {
    const std::string value(1024, 'y');
    parse({"sfx", "-jreLoc", value, "-J-Djava.io.tmpdir=" + value});
    EXPECT_EQ(commandLine.optionError, nullptr);
    EXPECT_EQ(std::string(commandLine.jreLocation), value);
    EXPECT_EQ(std::string(runPaths.m_szTempDirectory), value);
}

TEST_F(CommandLineTest, FlagsBeforeAnErrorDecideTheConsole) {
    EXPECT_TRUE(parse({"sfx", "-silent", "-nowait", "-J"}));
    EXPECT_NE(commandLine.optionError, nullptr);
    EXPECT_TRUE(commandLine.silentMode && commandLine.noWait);
    EXPECT_EQ(listOf(commandLine.installerArgs), (Strings{"-silent", "-nowait"}));

    resetAll();
    EXPECT_FALSE(parse({"sfx", "-J", "-debug"}));
    EXPECT_FALSE(commandLine.debugMode);
}

TEST_F(CommandLineTest, ProgramPathIsMadeAbsolute) {
    parse({"sfx-program"});
    EXPECT_EQ(commandLine.optionError, nullptr);
#ifdef _WIN32
    // Resolved against the working directory, whether or not the file exists.
    const std::string expected = savedWorkingDirectory + "\\sfx-program";
    EXPECT_STREQ(commandLine.programPath, expected.c_str());
#else
    // A bare name is looked up nowhere: the program's own file stands in for it.
    char own[kPathBufferSize];
    ASSERT_TRUE(platform::programFile(own, sizeof own));
    EXPECT_STREQ(commandLine.programPath, own);

    resetAll();
    parse({"./dir/../sfx"});
    EXPECT_EQ(std::string(commandLine.programPath), savedWorkingDirectory + "/sfx");
#endif
}
