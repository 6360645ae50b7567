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

bool debugMode = false;
bool silentMode = false;
bool noConsole = false;
bool noWait = false;
char** javaOptions = nullptr;
char** installerArgs = nullptr;
char jreLocation[kPathBufferSize] = "";
char programPath[kPathBufferSize] = "";
char m_szTempDirectory[kPathBufferSize] = "";
char* optionError = nullptr;

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
    optionError = text != nullptr ? text : outOfMemoryText;
}

void releaseOptionError() {
    if (optionError != outOfMemoryText)
        std::free(optionError);
    optionError = nullptr;
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
    return debugMode || (silentMode && !noConsole);
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
            if (!copyPath(jreLocation, value)) {
                setOptionError(formatOptionError(
                    "Invalid option %s (the value is longer than 1024 characters)", argument));
                return false;
            }
            installerArgs[forwardedCount++] = argument;
            installerArgs[forwardedCount++] = value;
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
                if (!copyPath(m_szTempDirectory, directory)) {
                    setOptionError(formatOptionError(
                        "Invalid temporary directory (longer than 1024 characters)"));
                    return false;
                }
                continue;
            }
            javaOptions[javaCount++] = rest;
        }
        if (equalsIgnoringCase(argument, "-noconsole"))
            noConsole = true;
        else if (equalsIgnoringCase(argument, "-nowait"))
            noWait = true;
        else if (equalsIgnoringCase(argument, "-silent"))
            silentMode = true;
        else if (equalsIgnoringCase(argument, "-debug"))
            debugMode = true;
        installerArgs[forwardedCount++] = argument;
    }
    return true;
}

bool parseCommandLine() {
    const int count = platform::argumentCount();
    char** arguments = platform::argumentVector();
    // One slot per argument: argument 0 is never stored, so the last slot always stays
    // null and ends the list.
    const std::size_t slots = count > 0 ? static_cast<std::size_t>(count) : 1;
    javaOptions = static_cast<char**>(std::calloc(slots, sizeof(char*)));
    installerArgs = static_cast<char**>(std::calloc(slots, sizeof(char*)));
    if (javaOptions == nullptr || installerArgs == nullptr) {
        setOptionError(formatOptionError("Out of memory"));
        return consoleWanted();
    }
    const char* argument0 = count > 0 ? arguments[0] : "";
    if (!platform::programPathFromArgument(argument0, programPath, sizeof programPath)) {
        setOptionError(formatOptionError("Cannot determine the path of the installer"));
        return consoleWanted();
    }
    parseArguments(count, arguments);
    return consoleWanted();
}

void resetCommandLine() {
    debugMode = silentMode = noConsole = noWait = false;
    std::free(javaOptions);
    std::free(installerArgs);
    javaOptions = installerArgs = nullptr;
    jreLocation[0] = programPath[0] = m_szTempDirectory[0] = '\0';
    releaseOptionError();
}
