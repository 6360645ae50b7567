/*
 * The installer's command line: the quoted Java program, four system properties that
 * tell the installer where everything is, the user's Java options, the descriptor's
 * own arguments and the pass-through arguments, built by bounded appends into one
 * buffer of kLaunchCommandSize bytes.
 */
#pragma once

#include <string>
#include <string_view>
#include <vector>

constexpr int kLaunchCommandSize = 4096;

// Appends `piece` when the result stays shorter than `bufferSize`; returns the number
// of characters appended, 0 (with runState.commandOverflow set and a message) otherwise.
int appendToCommand(char* command, int length, const char* piece, int bufferSize);

// `text` as one quoted argument that the Windows argument rules give back unchanged:
// backslashes before a double quote (the closing one included) are doubled and an
// embedded double quote is written \". Text without double quotes and without a
// trailing backslash is only put between double quotes.
std::string quoteArgument(std::string_view text);

struct LaunchCommandParts {
    const char* javaPath;            // full path of the Java program
    const char* tempDirectory;       // base directory of the extraction
    const char* launcherHome;        // working directory before the extraction
    const char* extractPath;         // the extraction directory
    const char* programPath;         // the launcher's own full path
    char** javaOptions;              // read up to the first null element
    const char* descriptorArguments; // the descriptor command from its first blank on
    char** installerArgs;            // read up to the first null element; an empty
                                     // argument is passed on as ""
};

// Builds the launch command into `command` (kLaunchCommandSize bytes) and returns its
// length. runState.commandOverflow tells whether a piece did not fit.
int buildLaunchCommand(const LaunchCommandParts& parts, char* command);

// The same command as an argument vector, made from the parts directly (the Linux start):
// the descriptor's arguments are split by the Windows rules, every other part is one
// argument as it is, whatever quotes or blanks it holds.
std::vector<std::string> buildLaunchArguments(const LaunchCommandParts& parts);
