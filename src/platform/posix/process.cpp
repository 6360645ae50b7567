/*
 * Installer process on Linux: the argument vector is spawned directly (no shell), in the
 * current working directory with the program's environment. The standard streams are
 * always shared with the child: on Linux they are the console in every mode.
 *
 * A signal that cancels the run while the installer is being started is checked again once
 * the child's process id is published: the child then gets that signal too, so that no
 * installer runs on for a run that was cancelled.
 */
#include "platform/process.h"
#include "platform/posix/interruption_posix.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

bool startProcess(char* commandLine, const std::vector<std::string>& given, bool /*inherit*/,
                  ChildProcess* child) {
    std::vector<std::string> arguments = given.empty() ? splitCommandLine(commandLine) : given;
    if (arguments.empty() || arguments[0].empty() || cancellingSignal() != 0)
        return false;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    followInstaller(pid);
    if (const int signal = cancellingSignal(); signal != 0)
        kill(pid, signal);
    child->handle = pid;
    return true;
}

bool waitForProcess(ChildProcess* child, uint32_t* exitCode) {
    const pid_t pid = static_cast<pid_t>(child->handle);
    // Wait without reaping: until the id is withdrawn from the interruption handler, the
    // process must stay a zombie so that its id cannot be reused.
    siginfo_t ended{};
    int waited;
    do {
        waited = waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOWAIT);
    } while (waited == -1 && errno == EINTR);
    followInstaller(0);
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid, &status, 0);
    } while (got == -1 && errno == EINTR);
    child->handle = 0;
    if (got == -1)
        return false;
    if (WIFEXITED(status)) {
        *exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
        *exitCode = 128u + static_cast<uint32_t>(WTERMSIG(status));
    } else {
        return false;
    }
    return true;
}

} // namespace platform
