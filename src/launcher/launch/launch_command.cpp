/*
 * The launch command is one Windows command line. Every piece we add ourselves is
 * quoted so that the Windows argument rules give it back unchanged: without that, a
 * value ending in a backslash (a temporary directory such as C:\Temp\) would escape
 * its own closing quote, and a pass-through argument holding a double quote could
 * smuggle in arguments of its own. Values without double quotes and without trailing
 * backslashes come out exactly as before: between two double quotes, nothing escaped.
 *
 * The program path is the exception: the first argument of a command line is read
 * without backslash escapes, and a file path neither ends in a backslash nor holds a
 * double quote, so it goes in between double quotes as it is.
 *
 * The descriptor's own arguments are inserted unquoted and unchanged: they were written
 * as command-line text by the installer's author.
 */
#include "launcher/launch/launch_command.h"

#include <cstring>

#include "launcher/app/reporting.h"
#include "launcher/state/run_records.h"
#include "platform/process.h"

int appendToCommand(char* command, int length, const char* piece, int bufferSize) {
    if (command == nullptr || piece == nullptr) {
        reportError("Internal error:  null string or buffer");
        runState.commandOverflow = true;
        return 0;
    }
    size_t pieceLength = std::strlen(piece);
    if (static_cast<size_t>(length) + pieceLength >= static_cast<size_t>(bufferSize)) {
        reportError("Internal error:  buffer overrun");
        runState.commandOverflow = true;
        return 0;
    }
    std::memcpy(command + length, piece, pieceLength + 1);
    return static_cast<int>(pieceLength);
}

std::string quoteArgument(std::string_view text) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    // The closing quote follows: backslashes before it are doubled as well.
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

namespace {

int appendArgument(char* command, int length, std::string_view prefix, const char* value) {
    std::string argument = " " + quoteArgument(std::string(prefix) + value);
    return appendToCommand(command, length, argument.c_str(), kLaunchCommandSize);
}

int appendEach(char* command, int length, char** list) {
    int appended = 0;
    for (int i = 0; list != nullptr && list[i] != nullptr; ++i) {
        appended += appendArgument(command, length + appended, "", list[i]);
    }
    return appended;
}

} // namespace

int buildLaunchCommand(const LaunchCommandParts& parts, char* command) {
    runState.commandOverflow = false;
    command[0] = '\0';
    std::string program = std::string("\"") + parts.javaPath + "\"";
    int length = appendToCommand(command, 0, program.c_str(), kLaunchCommandSize);
    length += appendArgument(command, length, "-Djava.io.tmpdir=", parts.tempDirectory);
    length += appendArgument(command, length, "-Dsfx.installer.launcher.home=", parts.launcherHome);
    length += appendArgument(command, length, "-Dsfx.extract.path=", parts.extractPath);
    length += appendArgument(command, length, "-Dsfx.exe=", parts.programPath);
    length += appendEach(command, length, parts.javaOptions);
    length += appendToCommand(command, length, parts.descriptorArguments, kLaunchCommandSize);
    length += appendEach(command, length, parts.installerArgs);
    return length;
}

std::vector<std::string> buildLaunchArguments(const LaunchCommandParts& parts) {
    std::vector<std::string> arguments{
        parts.javaPath, std::string("-Djava.io.tmpdir=") + parts.tempDirectory,
        std::string("-Dsfx.installer.launcher.home=") + parts.launcherHome,
        std::string("-Dsfx.extract.path=") + parts.extractPath,
        std::string("-Dsfx.exe=") + parts.programPath};
    for (int i = 0; parts.javaOptions != nullptr && parts.javaOptions[i] != nullptr; ++i)
        arguments.emplace_back(parts.javaOptions[i]);
    // The splitter reads a program name first: give it one to drop.
    const std::string descriptorLine = std::string("-") + parts.descriptorArguments;
    std::vector<std::string> descriptor = platform::splitCommandLine(descriptorLine.c_str());
    arguments.insert(arguments.end(), descriptor.begin() + 1, descriptor.end());
    for (int i = 0; parts.installerArgs != nullptr && parts.installerArgs[i] != nullptr; ++i)
        arguments.emplace_back(parts.installerArgs[i]);
    return arguments;
}
