// The installer process: the command-line split the Linux build spawns with, and the
// exit codes myspawn hands back.
#include <string>
#include <vector>

#include "launcher/launch/launch_installer.h"
#include "launcher_fixture.h"
#include "platform/process.h"

using Arguments = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
    EXPECT_EQ(platform::splitCommandLine("prog a  b\tc"), (Arguments{"prog", "a", "b", "c"}));
    EXPECT_EQ(platform::splitCommandLine("\"C:\\Program Files\\x.exe\" \"a b\" c"),
              (Arguments{"C:\\Program Files\\x.exe", "a b", "c"}));
    // Backslashes are literal unless they precede a double quote.
    EXPECT_EQ(platform::splitCommandLine("p a\\b\\\\c\\"), (Arguments{"p", "a\\b\\\\c\\"}));
    EXPECT_EQ(platform::splitCommandLine("p a\\\"b"), (Arguments{"p", "a\"b"}));
    EXPECT_EQ(platform::splitCommandLine("p a\\\\\"b c\""), (Arguments{"p", "a\\b c"}));
    EXPECT_EQ(platform::splitCommandLine("p \"\" x"), (Arguments{"p", "", "x"}));
    EXPECT_EQ(platform::splitCommandLine("p \"a\"\"b\""), (Arguments{"p", "a\"b"}));
    EXPECT_EQ(platform::splitCommandLine("p a\"b c\"d"), (Arguments{"p", "ab cd"}));
    EXPECT_EQ(platform::splitCommandLine("p   "), (Arguments{"p"}));
    // The program name knows no escapes.
    EXPECT_EQ(platform::splitCommandLine("\"C:\\dir\\\" x"), (Arguments{"C:\\dir\\", "x"}));
}

class MyspawnTest : public LauncherTest {};

#ifndef _WIN32
TEST_F(MyspawnTest, ExitCodesComeBackAndSignalsAddTo128) {
    char exits3[] = "\"/bin/sh\" -c \"exit 3\"";
    EXPECT_EQ(myspawn(exits3), 3);
    char killed[] = "\"/bin/sh\" -c \"kill -9 $$\"";
    EXPECT_EQ(myspawn(killed), 128 + 9);
    // Exit codes are 8 bits on Linux: 555 arrives as 43 and is not mistaken for 555.
    char exits555[] = "\"/bin/sh\" -c \"exit 555\"";
    EXPECT_EQ(myspawn(exits555), 555 & 0xFF);
    EXPECT_FALSE(runState.launchFailed);
}

TEST_F(MyspawnTest, ArgumentsReachTheChildIntact) {
    std::string out = scratchDirectory() + "/args";
    std::string command = "\"/bin/sh\" -c \"printf '%s|' \\\"$@\\\" > " + out +
                          "\" sh \"a b\" \"C:\\Temp\\\\\" \"q\\\"uote\"";
    ASSERT_EQ(myspawn(command.data()), 0);
    std::FILE* file = std::fopen(out.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char buffer[256] = {};
    std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    EXPECT_STREQ(buffer, "a b|C:\\Temp\\|q\"uote|");
}
#endif

TEST_F(MyspawnTest, AProgramThatCannotStartGives555) {
    std::string command = "\"" + scratchDirectory() + "/no-such-program\" -x";
    EXPECT_EQ(myspawn(command.data()), 555);
    EXPECT_TRUE(runState.launchFailed);
}
