/*
 * Installer process on Linux: the Windows command line is split into arguments by the
 * Windows C runtime's rules and the program is spawned directly (no shell), in the
 * current working directory with the program's environment. The standard streams are
 * always shared with the child: on Linux they are the console in every mode.
 */
#include "platform/process.h"

#include <cerrno>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

bool startProcess(char* commandLine, bool /*inheritHandles*/, ChildProcess* child) {
    std::vector<std::string> arguments = splitCommandLine(commandLine);
    if (arguments.empty() || arguments[0].empty())
        return false;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    child->handle = pid;
    return true;
}

bool waitForProcess(ChildProcess* child, uint32_t* exitCode) {
    int status = 0;
    pid_t got;
    do {
        got = waitpid(static_cast<pid_t>(child->handle), &status, 0);
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
