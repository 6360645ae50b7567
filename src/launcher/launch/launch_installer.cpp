/*
 * The launch: read the descriptor's command and runtime component, unpack the runtime,
 * point the command's program at the unpacked runtime (or at -jreLoc), build the full
 * command line and run it in Disk1, waiting for the installer to end. Every failure
 * before the start is reported here and returns 1; a process that cannot be started
 * returns 555, which the installer's own exit code 555 is taken to mean as well.
 */
#include "launcher/launch/launch_installer.h"

#include <cstdio>
#include <cstring>

#include "launcher/app/reporting.h"
#include "launcher/launch/descriptor.h"
#include "launcher/launch/java_runtime.h"
#include "launcher/launch/launch_command.h"
#include "launcher/state/run_state.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace {

constexpr int kCannotLaunch = 555;
constexpr std::size_t kJavaCommandSize = 1032;

// CMD becomes "<destination><separator><CMD>" in its own buffer; false when that would
// not fit, so the command is never cut.
bool prefixCommand(char* command, const std::string& destination) {
    char rewritten[kDescriptorCommandSize];
    int length = std::snprintf(rewritten, sizeof rewritten, "%s" PATH_SEP "%s", destination.c_str(),
                               command);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof rewritten)
        return false;
    std::memcpy(command, rewritten, static_cast<std::size_t>(length) + 1);
    return true;
}

// The full path of the Java program: -jreLoc's java when given, else the program part
// of CMD, made absolute against the working directory (the extraction directory).
bool makeJavaPath(const char* programPart, char* javaPath) {
    char javaCommand[kJavaCommandSize];
    int length = commandLine.jreLocation[0] != '\0'
                     ? std::snprintf(javaCommand, sizeof javaCommand, kJavaProgramInRuntime,
                                     commandLine.jreLocation)
                     : std::snprintf(javaCommand, sizeof javaCommand, "%s", programPart);
    unsigned long pathLength = 0;
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof javaCommand)
        pathLength = platform::fullPath(javaCommand, javaPath, kPathBufferSize);
    if (pathLength == 0 || pathLength >= kPathBufferSize) {
        reportError("Failed to get the path of the Java command %s", javaCommand);
        return false;
    }
    return true;
}

} // namespace

std::string javaDestinationOf(const char* componentText) {
    std::string first(componentText);
    first = first.substr(0, first.find(','));
    return first.substr(0, first.find(':'));
}

int myspawn(char* command, const std::vector<std::string>& arguments) {
    debugLog("cmdLine: %s", command);
    platform::ChildProcess child;
    if (!platform::startProcess(command, arguments, runState.consoleAllocated, &child)) {
        if (isCancelRequested())
            return 0;
        debugLog("Failed to launch the installer");
        runState.launchFailed = true;
        return kCannotLaunch;
    }
    debugLog("Command successfully started; waiting for completion");
    int result = kCannotLaunch;
    uint32_t exitCode = 0;
    if (platform::waitForProcess(&child, &exitCode)) {
        debugLog("dwExitCode: %lu", static_cast<unsigned long>(exitCode));
        result = static_cast<int>(exitCode);
    }
    return result;
}

int launchInstaller() {
    if (isCancelRequested())
        return 0;

    char command[kDescriptorCommandSize];
    char component[kDescriptorCommandSize];
    if (!readLaunchSettings(command, component))
        return 1;

    std::string jarList = buildJarList(component);
    if (jarList.empty()) {
        reportError("Cannot find components specified in JRE_COMPONENT=%s", component);
        return 1;
    }
    std::string destination = javaDestinationOf(component);
    if (destination.empty()) {
        reportError("Cannot determine the destination directory for the Java components");
        return 1;
    }
    if (!prefixCommand(command, destination)) {
        reportError("The command CMD=%s is too long to be run from the directory %s", command,
                    destination.c_str());
        return 1;
    }
    debugLog("New command: %s", command);

    if (!prepareJavaRuntime(jarList, destination.c_str())) {
        reportError("Failed to unzip Java component jars %s to %s", jarList.c_str(),
                    destination.c_str());
        return 1;
    }

    char* blank = std::strchr(command, ' ');
    if (blank == nullptr) {
        reportError("Invalid format in CMD=%s", command);
        return 1;
    }
    std::string descriptorArguments(blank);
    *blank = '\0';

    char javaPath[kPathBufferSize];
    if (!makeJavaPath(command, javaPath))
        return 1;

    LaunchCommandParts parts{javaPath,
                             runPaths.m_szTempDirectory,
                             runPaths.launcherHome,
                             runPaths.extractPath,
                             commandLine.programPath,
                             commandLine.javaOptions,
                             descriptorArguments.c_str(),
                             commandLine.installerArgs};
    char launchCommand[kLaunchCommandSize];
    int length = buildLaunchCommand(parts, launchCommand);
    if (runState.commandOverflow) {
        reportError("Launch command is too long");
        return 1;
    }
    debugLog("Launch command length: %i", length);
    debugLog("Launch command: %s", launchCommand);

    if (!platform::changeDirectory("Disk1")) {
        reportError("Cannot change directory to Disk1");
        return 1;
    }
    if (isCancelRequested())
        return 0;
    int result = myspawn(launchCommand, buildLaunchArguments(parts));
    debugLog("myspawn() result: %d", result);
    if (result == kCannotLaunch) {
        reportError("Cannot launch the installer (%d)", result);
        runState.launchFailed = true;
    }
    return result;
}
