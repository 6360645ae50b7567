/*
 * The command-line parser. Options are recognised case-insensitively and, except for the
 * temporary-directory form of -J, forwarded to the installer as they were typed, so the
 * installer sees the user's command line minus what only the launcher can act on.
 * Parsing stops at the first error: flags after a bad argument stay unset, which decides
 * whether the error is shown on a console or in a message box.
 */
#include "launcher/app/command_line.h"

#include <cstdlib>
#include <cstring>

#include "launcher/app/reporting.h"
#include "platform/app_framework.h"
#include "platform/filesystem.h"

// Held when even the text of an error cannot be allocated: start-up recognises an error
// only by a non-null optionError, so there must always be one.
static char outOfMemoryText[] = "Out of memory";

static const char kTempDirectoryProperty[] = "-Djava.io.tmpdir=";

static char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool startsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (asciiLower(*text) != asciiLower(*prefix))
            return false;
    }
    return true;
}

static bool equalsIgnoringCase(const char* text, const char* other) {
    return std::strlen(text) == std::strlen(other) && startsWithIgnoringCase(text, other);
}

static void setOptionError(char* text) {
    commandLine.optionError = text != nullptr ? text : outOfMemoryText;
}

void releaseOptionError() {
    if (commandLine.optionError != outOfMemoryText)
        std::free(commandLine.optionError);
    commandLine.optionError = nullptr;
}

// Copies value into a path buffer; a value that does not fit is refused, never cut,
// because a shortened directory name would name a different directory.
static bool copyPath(char (&buffer)[kPathBufferSize], const char* value) {
    const std::size_t length = std::strlen(value);
    if (length >= kPathBufferSize)
        return false;
    std::memcpy(buffer, value, length + 1);
    return true;
}

static bool consoleWanted() {
    return commandLine.debugMode || (commandLine.silentMode && !commandLine.noConsole);
}

// Walks the arguments; returns false at the first error (optionError set).
static bool parseArguments(int count, char** arguments) {
    int javaCount = 0;
    int forwardedCount = 0;
    for (int index = 1; index < count; ++index) {
        char* argument = arguments[index];
        if (equalsIgnoringCase(argument, "-jreLoc")) {
            if (index + 1 >= count) {
                setOptionError(formatOptionError("Invalid option %s (no value)", argument));
                return false;
            }
            char* value = arguments[++index];
            if (!copyPath(commandLine.jreLocation, value)) {
                setOptionError(formatOptionError(
                    "Invalid option %s (the value is longer than 1024 characters)", argument));
                return false;
            }
            commandLine.installerArgs[forwardedCount++] = argument;
            commandLine.installerArgs[forwardedCount++] = value;
            continue;
        }
        if (startsWithIgnoringCase(argument, "-J")) {
            char* rest = argument + 2;
            if (*rest == '\0') {
                setOptionError(formatOptionError("Invalid option %s", argument));
                return false;
            }
            if (std::strncmp(rest, kTempDirectoryProperty, sizeof kTempDirectoryProperty - 1) ==
                0) {
                const char* directory = rest + sizeof kTempDirectoryProperty - 1;
                if (*directory == '\0') {
                    setOptionError(formatOptionError("Invalid temporary directory %s", argument));
                    return false;
                }
                if (!copyPath(runPaths.m_szTempDirectory, directory)) {
                    setOptionError(formatOptionError(
                        "Invalid temporary directory (longer than 1024 characters)"));
                    return false;
                }
                continue;
            }
            commandLine.javaOptions[javaCount++] = rest;
        }
        if (equalsIgnoringCase(argument, "-noconsole"))
            commandLine.noConsole = true;
        else if (equalsIgnoringCase(argument, "-nowait"))
            commandLine.noWait = true;
        else if (equalsIgnoringCase(argument, "-silent"))
            commandLine.silentMode = true;
        else if (equalsIgnoringCase(argument, "-debug"))
            commandLine.debugMode = true;
        commandLine.installerArgs[forwardedCount++] = argument;
    }
    return true;
}

bool parseCommandLine() {
    const int count = platform::argumentCount();
    char** arguments = platform::argumentVector();
    // One slot per argument: argument 0 is never stored, so the last slot always stays
    // null and ends the list.
    const std::size_t slots = count > 0 ? static_cast<std::size_t>(count) : 1;
    commandLine.javaOptions = static_cast<char**>(std::calloc(slots, sizeof(char*)));
    commandLine.installerArgs = static_cast<char**>(std::calloc(slots, sizeof(char*)));
    if (commandLine.javaOptions == nullptr || commandLine.installerArgs == nullptr) {
        setOptionError(formatOptionError("Out of memory"));
        return consoleWanted();
    }
    const char* argument0 = count > 0 ? arguments[0] : "";
    if (!platform::programPathFromArgument(argument0, commandLine.programPath,
                                           sizeof commandLine.programPath)) {
        setOptionError(formatOptionError("Cannot determine the path of the installer"));
        return consoleWanted();
    }
    parseArguments(count, arguments);
    return consoleWanted();
}

void resetCommandLine() {
    std::free(commandLine.javaOptions);
    std::free(commandLine.installerArgs);
    releaseOptionError();
    commandLine = CommandLineRecord{};
}
