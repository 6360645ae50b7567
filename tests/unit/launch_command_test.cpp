// The launch command: its layout, the quoting by the Windows argument rules, the length
// limit, and what an installer receives once the command is split again.
#include <string>
#include <vector>

#include "launcher/launch/launch_command.h"
#include "launcher_fixture.h"
#include "platform/process.h"

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

struct CommandInputs {
    std::vector<std::string> javaOptions;
    std::string descriptorArguments = " -jar install\\installer.jar";
    std::vector<std::string> installerArgs;
    std::string tempDirectory = "C:\\Temp";
    std::string extractPath = "C:\\Temp\\sfx1A2B.tmp";
    std::string javaPath = "C:\\Temp\\sfx1A2B.tmp\\runtime.jre\\jdk\\jre\\bin\\java.exe";

    std::string build(int* length = nullptr) {
        static char command[kLaunchCommandSize];
        int built = 0;
        withParts(
            [&](const LaunchCommandParts& parts) { built = buildLaunchCommand(parts, command); });
        if (length != nullptr)
            *length = built;
        return command;
    }

    std::vector<std::string> arguments() {
        std::vector<std::string> built;
        withParts([&](const LaunchCommandParts& parts) { built = buildLaunchArguments(parts); });
        return built;
    }

    template <typename Use> void withParts(Use use) {
        std::vector<char*> options = pointers(javaOptions);
        std::vector<char*> arguments = pointers(installerArgs);
        use(LaunchCommandParts{javaPath.c_str(), tempDirectory.c_str(), "C:\\Setup",
                               extractPath.c_str(), "C:\\Setup\\setup.exe", options.data(),
                               descriptorArguments.c_str(), arguments.data()});
    }

    static std::vector<char*> pointers(std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts)
            list.push_back(text.data());
        list.push_back(nullptr);
        return list;
    }
};

} // namespace

class LaunchCommandTest : public LauncherTest {
  protected:
    void SetUp() override {
        LauncherTest::SetUp();
        commandLine.silentMode = true;
    }
};

TEST_F(LaunchCommandTest, TheDocumentedExampleComesOutExactly) {
    CommandInputs inputs;
    inputs.javaOptions = {"-Xmx512m"};
    inputs.installerArgs = {"-J-Xmx512m", "-silent"};
    int length = 0;
    std::string command = inputs.build(&length);
    EXPECT_EQ(command,
              "\"C:\\Temp\\sfx1A2B.tmp\\runtime.jre\\jdk\\jre\\bin\\java.exe\" "
              "\"-Djava.io.tmpdir=C:\\Temp\" \"-Dsfx.installer.launcher.home=C:\\Setup\" "
              "\"-Dsfx.extract.path=C:\\Temp\\sfx1A2B.tmp\" \"-Dsfx.exe=C:\\Setup\\setup.exe\" "
              "\"-Xmx512m\" -jar install\\installer.jar \"-J-Xmx512m\" \"-silent\"");
    EXPECT_EQ(length, static_cast<int>(command.size()));
    EXPECT_FALSE(runState.commandOverflow);
}

TEST_F(LaunchCommandTest, DescriptorArgumentsKeepTheirBlanks) {
    CommandInputs inputs;
    inputs.descriptorArguments = "  -jar  a.jar";
    std::string command = inputs.build();
    EXPECT_NE(command.find("setup.exe\"  -jar  a.jar"), std::string::npos) << command;
}

TEST_F(LaunchCommandTest, QuotingFollowsTheWindowsArgumentRules) {
    EXPECT_EQ(quoteArgument("plain text"), "\"plain text\"");
    EXPECT_EQ(quoteArgument("C:\\Temp\\"), "\"C:\\Temp\\\\\"");
    EXPECT_EQ(quoteArgument("a\"b"), "\"a\\\"b\"");
    EXPECT_EQ(quoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
    EXPECT_EQ(quoteArgument("\\\\server\\share"), "\"\\\\server\\share\"");
    EXPECT_EQ(quoteArgument(""), "\"\"");
}

TEST_F(LaunchCommandTest, EveryArgumentArrivesIntact) {
    CommandInputs inputs;
    inputs.tempDirectory = "C:\\Temp\\";
    inputs.javaOptions = {"-Dquote=\"x\"", "-Dtrail=D:\\dir\\\\"};
    inputs.installerArgs = {"a b", "C:\\path\\",  "say \"hi\"", "x\" \"-injected",
                            "",    "\\\\share\\", "\\\"",       "tab\there",
                            "\"",  "back\\slash"};
    std::vector<std::string> received = platform::splitCommandLine(inputs.build().c_str());
    std::vector<std::string> expected = {
        "C:\\Temp\\sfx1A2B.tmp\\runtime.jre\\jdk\\jre\\bin\\java.exe",
        "-Djava.io.tmpdir=C:\\Temp\\",
        "-Dsfx.installer.launcher.home=C:\\Setup",
        "-Dsfx.extract.path=C:\\Temp\\sfx1A2B.tmp",
        "-Dsfx.exe=C:\\Setup\\setup.exe",
        "-Dquote=\"x\"",
        "-Dtrail=D:\\dir\\\\",
        "-jar",
        "install\\installer.jar"};
    expected.insert(expected.end(), inputs.installerArgs.begin(), inputs.installerArgs.end());
    EXPECT_EQ(received, expected);
    EXPECT_EQ(inputs.arguments(), expected); // the Linux start's vector, made from the parts
}

TEST_F(LaunchCommandTest, TheArgumentVectorKeepsQuotesAndBlanksOfEveryPath) {
    // A temporary directory such as /tmp/a "b: the program path is written unescaped into
    // the command line, so only the vector made from the parts can carry it.
    CommandInputs inputs;
    inputs.tempDirectory = "/tmp/a \"b";
    inputs.extractPath = "/tmp/a \"b/sfx1.tmp";
    inputs.javaPath = "/tmp/a \"b/sfx1.tmp/rt/bin/java";
    std::vector<std::string> arguments = inputs.arguments();
    ASSERT_EQ(arguments.size(), 7u);
    EXPECT_EQ(arguments[0], "/tmp/a \"b/sfx1.tmp/rt/bin/java");
    EXPECT_EQ(arguments[1], "-Djava.io.tmpdir=/tmp/a \"b");
    EXPECT_EQ(arguments[3], "-Dsfx.extract.path=/tmp/a \"b/sfx1.tmp");
    EXPECT_EQ(std::vector<std::string>(arguments.end() - 2, arguments.end()),
              (std::vector<std::string>{"-jar", "install\\installer.jar"}));
}

TEST_F(LaunchCommandTest, LengthLimitIsTheBufferLessOne) {
    CommandInputs inputs;
    int base = 0;
    inputs.build(&base);
    // One pass-through argument adds a blank, two quotes and its text.
    inputs.installerArgs = {std::string(static_cast<size_t>(4095 - base - 3), 'x')};
    int length = 0;
    CaptureStderr();
    inputs.build(&length);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(length, 4095);
    EXPECT_FALSE(runState.commandOverflow);

    inputs.installerArgs[0] += "x";
    inputs.installerArgs.push_back("next");
    CaptureStderr();
    std::string command = inputs.build(&length);
    EXPECT_TRUE(runState.commandOverflow);
    // The piece that did not fit is left out; a later one that fits is still added.
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Internal error:  buffer overrun\n");
    EXPECT_EQ(length, base + 7);
    EXPECT_EQ(static_cast<int>(command.size()), length);
}

TEST_F(LaunchCommandTest, EscapingCountsAgainstTheLimit) {
    CommandInputs inputs;
    int base = 0;
    inputs.build(&base);
    // 4095 characters as written only because the trailing backslash is doubled.
    inputs.installerArgs = {std::string(static_cast<size_t>(4095 - base - 5), 'x') + "\\"};
    int length = 0;
    inputs.build(&length);
    EXPECT_EQ(length, 4095);
    EXPECT_FALSE(runState.commandOverflow);
    inputs.installerArgs[0] = "x" + inputs.installerArgs[0];
    CaptureStderr();
    inputs.build(&length);
    GetCapturedStderr();
    EXPECT_TRUE(runState.commandOverflow);
}

TEST_F(LaunchCommandTest, AppendRefusesMissingText) {
    char command[8] = "";
    CaptureStderr();
    EXPECT_EQ(appendToCommand(command, 0, nullptr, 8), 0);
    EXPECT_EQ(GetCapturedStderr(), "ERROR: Internal error:  null string or buffer\n");
    EXPECT_TRUE(runState.commandOverflow);
}
