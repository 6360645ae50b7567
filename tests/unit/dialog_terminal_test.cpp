// The Linux program's progress display on a terminal, end to end: a real installer packed
// with quenlow-pack (from the program and the packer built beside this test) runs on a
// pseudo-terminal. The display is one line redrawn in place, gone before the installer
// writes anything; Ctrl-C typed on the terminal cancels the extraction, the process then ends
// killed by SIGINT, and the error line gets a line of its own; without a terminal nothing is
// drawn at all.
#ifndef _WIN32

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Outcome {
    std::string output; // everything written to the terminal (or the pipe)
    int status = -1;
};

// Sends keys to the terminal once the output so far asks for them.
using Typist = std::function<std::string(const std::string& outputSoFar)>;

class DialogTerminalTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
        const fs::path program = bin / "quenlow-sfx";
        const fs::path pack = bin / "quenlow-pack";
        if (!fs::exists(program) || !fs::exists(pack))
            return;
        work = fs::temp_directory_path() / ("quenlow-dialog-terminal-" + std::to_string(getpid()));
        fs::remove_all(work);
        const fs::path source = work / "source";
        const fs::path dataFiles = source / "Disk1/stage/Components/jre/1.0/DataFiles";
        fs::create_directories(dataFiles);
        fs::create_directories(source / "Disk1/payload");
        // The "Java runtime" is a script that says what it got, pauses between two lines (a
        // redrawn display would show between them) and exits with the code it is given.
        const std::string makeSample =
            "python3 - '" + dataFiles.string() + "/jre.jar' '" + source.string() +
            "/Disk1/payload' <<'PY'\n"
            "import os, sys, zipfile\n"
            "script = b'#!/bin/sh\\necho \"installer: $*\" >&2\\nsleep 0.3\\n"
            "echo \"installer: done\" >&2\\nexit ${QUENLOW_DIALOG_EXIT:-0}\\n'\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as jar:\n"
            "    info = zipfile.ZipInfo('bin/java')\n"
            "    info.create_system = 3\n"
            "    info.external_attr = 0o100755 << 16\n"
            "    jar.writestr(info, script)\n"
            "for i in range(600):\n"
            "    with open(os.path.join(sys.argv[2], 'part%03d.bin' % i), 'wb') as part:\n"
            "        part.write(os.urandom(32768))\n"
            "PY\n";
        ASSERT_EQ(std::system(makeSample.c_str()), 0);
        installer = work / "setup";
        const std::string packIt = "'" + pack.string() + "' --stub '" + program.string() +
                                   "' --output '" + installer.string() +
                                   "' --cmd 'bin/java -jar setup.jar' --jre-component jre:1.0 '" +
                                   source.string() + "' >/dev/null";
        ASSERT_EQ(std::system(packIt.c_str()), 0);
    }

    static void TearDownTestSuite() {
        if (!work.empty())
            fs::remove_all(work);
    }

    void SetUp() override {
        if (installer.empty())
            GTEST_SKIP() << "quenlow-sfx or quenlow-pack is not built beside this test";
        temp = work / "tmp";
        fs::remove_all(temp);
        fs::create_directories(temp);
    }

    // Runs the installer on a new pseudo-terminal with the given exit code for the
    // installer, typing what the typist asks for; collects the terminal's output.
    Outcome runOnTerminal(int installerExit, const Typist& typist) {
        Outcome outcome;
        Environment environment(installerExit);
        int terminal = -1;
        pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0)
            runInstaller(environment);
        if (child < 0) {
            ADD_FAILURE() << "forkpty failed";
            return outcome;
        }
        collect(terminal, outcome, typist);
        close(terminal);
        waitpid(child, &outcome.status, 0);
        outcome.status = WIFEXITED(outcome.status)     ? WEXITSTATUS(outcome.status)
                         : WIFSIGNALED(outcome.status) ? 128 + WTERMSIG(outcome.status)
                                                       : -1;
        return outcome;
    }

    // The same with standard error (and output) on a pipe and no terminal anywhere.
    Outcome runWithoutTerminal(int installerExit) {
        Outcome outcome;
        int channel[2];
        if (pipe(channel) != 0) {
            ADD_FAILURE() << "pipe failed";
            return outcome;
        }
        Environment environment(installerExit);
        pid_t child = fork();
        if (child == 0) {
            setsid(); // no controlling terminal either
            int nothing = open("/dev/null", O_RDONLY);
            dup2(nothing, 0);
            dup2(channel[1], 1);
            dup2(channel[1], 2);
            close(channel[0]);
            runInstaller(environment);
        }
        close(channel[1]);
        collect(channel[0], outcome, nullptr);
        close(channel[0]);
        waitpid(child, &outcome.status, 0);
        outcome.status = WIFEXITED(outcome.status)     ? WEXITSTATUS(outcome.status)
                         : WIFSIGNALED(outcome.status) ? 128 + WTERMSIG(outcome.status)
                                                       : -1;
        return outcome;
    }

    static std::vector<std::string> extractionDirectories() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static fs::path work;
    static fs::path installer;
    static fs::path temp;

  private:
    // The installer's environment, made before the fork: the child only calls exec.
    struct Environment {
        explicit Environment(int installerExit) {
            // The first of two equal names counts, so ours come first.
            texts.push_back("TMPDIR=" + temp.string());
            texts.push_back("QUENLOW_DIALOG_EXIT=" + std::to_string(installerExit));
            texts.push_back("TERM=xterm"); // whatever terminal the tests run from
            for (char** variable = environ; *variable != nullptr; ++variable)
                texts.emplace_back(*variable);
            for (std::string& text : texts)
                pointers.push_back(text.data());
            pointers.push_back(nullptr);
        }
        std::vector<std::string> texts;
        std::vector<char*> pointers;
    };

    [[noreturn]] static void runInstaller(const Environment& environment) {
        char* const arguments[] = {const_cast<char*>(installer.c_str()),
                                   const_cast<char*>("-nowait"), nullptr};
        execve(installer.c_str(), arguments, environment.pointers.data());
        _exit(127);
    }

    static void collect(int fd, Outcome& outcome, const Typist& typist) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd watched{fd, POLLIN, 0};
            if (poll(&watched, 1, 1000) <= 0)
                continue;
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0)
                break; // end of the output (EIO once the terminal's last user has gone)
            outcome.output.append(buffer, static_cast<size_t>(got));
            if (typist) {
                std::string keys = typist(outcome.output);
                if (!keys.empty() && write(fd, keys.data(), keys.size()) < 0)
                    ADD_FAILURE() << "cannot type on the terminal";
            }
        }
    }
};

fs::path DialogTerminalTest::work;
fs::path DialogTerminalTest::installer;
fs::path DialogTerminalTest::temp;

// The display as the user saw it before the given text: what was drawn since the display
// started, up to that point.
std::string before(const std::string& output, const std::string& text) {
    return output.substr(0, output.find(text));
}

} // namespace

TEST_F(DialogTerminalTest, DisplayIsRedrawnInPlaceAndGoneBeforeTheInstallerWrites) {
    Outcome run = runOnTerminal(5, nullptr);
    EXPECT_EQ(run.status, 5);
    EXPECT_THAT(run.output, HasSubstr("\rPreparing the installer . . .  ["));
    EXPECT_THAT(run.output, HasSubstr("] 100%"));
    // No line ends before the installer's first line: the display never scrolls, and it
    // is erased just before the installer starts.
    const std::string display = before(run.output, "installer: ");
    EXPECT_EQ(display.find('\n'), std::string::npos) << display;
    EXPECT_THAT(run.output, HasSubstr("\r\033[Kinstaller: "));
    // Nothing is drawn while the installer runs, between its two lines.
    EXPECT_THAT(run.output, HasSubstr("-jar setup.jar -nowait\r\ninstaller: done\r\n"));
    // The dialog is shown again afterwards, which must not start a second run.
    EXPECT_EQ(run.output.find("installer: -D"), run.output.rfind("installer: -D"));
    // It comes back for the clean-up.
    const std::string after = run.output.substr(run.output.find("installer: done"));
    EXPECT_THAT(after, HasSubstr("\rCleaning up . . .\033[K")) << after;
    EXPECT_TRUE(extractionDirectories().empty());
}

TEST_F(DialogTerminalTest, CtrlCCancelsTheExtractionAndEndsTheProcessByTheSignal) {
    int pressed = 0;
    Outcome run = runOnTerminal(5, [&](const std::string& output) -> std::string {
        // Twice, as soon as the first entries are out; the second press does nothing.
        if (pressed < 2 && output.find("] 1%") != std::string::npos) {
            ++pressed;
            return "\x03";
        }
        return {};
    });
    EXPECT_EQ(pressed, 2);
    EXPECT_EQ(run.status, 128 + SIGINT) << run.output;
    EXPECT_THAT(run.output, HasSubstr("Canceling the installer . . ."));
    // The error line is printed on a line of its own, above the display.
    EXPECT_THAT(run.output, HasSubstr("\r\033[KERROR: Unzip failed\r\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("Cannot extract the archive")));
    EXPECT_THAT(run.output, Not(HasSubstr("installer: ")));
    EXPECT_TRUE(extractionDirectories().empty());
}

TEST_F(DialogTerminalTest, WithoutATerminalNothingIsDrawn) {
    Outcome run = runWithoutTerminal(6);
    EXPECT_EQ(run.status, 6);
    EXPECT_THAT(run.output, HasSubstr("installer: "));
    EXPECT_EQ(run.output.find('\r'), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find('\033'), std::string::npos) << run.output;
    EXPECT_THAT(run.output, Not(HasSubstr("Preparing the installer")));
    EXPECT_TRUE(extractionDirectories().empty());
}

#endif
