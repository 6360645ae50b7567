/*
 * Starting the installer and waiting for it.
 *
 * The launcher builds one Windows command line and, beside it, the argument vector the
 * Windows C runtime would make of it. On Windows the command line is handed to the system
 * as it is. On Linux the argument vector is spawned directly (splitting the command line
 * again would cut a path holding a double quote apart); a child killed by signal N reports
 * the exit code 128 + N.
 *
 * While the installer runs, the interruption stage is "installerRunning" (see
 * interruption.h); the start does not happen once an interruption has cancelled the run.
 *
 * Start and wait are two calls so that the caller can log between them.
 */
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ChildProcess {
    intptr_t handle = 0; // process handle on Windows, process id on Linux
};

// Starts the installer in the current working directory with the program's environment:
// Windows runs `commandLine` (its first argument names the program), Linux `arguments`
// (when empty, the command line split by the Windows rules). Standard handles are inherited
// when `inheritHandles` is set. Returns false when the process could not be created.
bool startProcess(char* commandLine, const std::vector<std::string>& arguments, bool inheritHandles,
                  ChildProcess* child);

// Waits without a time limit for the child to end and releases it. Returns false when
// the wait failed; otherwise stores the child's exit code.
bool waitForProcess(ChildProcess* child, uint32_t* exitCode);

// Splits a command line as the Windows C runtime does: arguments are separated by
// blanks and tabs; double quotes group; 2n backslashes before a double quote give n
// backslashes and the quote groups, 2n+1 give n backslashes and a literal quote;
// other backslashes are literal; "" inside a group is a literal quote. The first
// argument (the program) ends at the next quote when it starts quoted, at the first
// blank otherwise, and knows no backslash escapes.
std::vector<std::string> splitCommandLine(const char* commandLine);

} // namespace platform
