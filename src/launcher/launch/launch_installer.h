/*
 * Running the installer: launchInstaller prepares the runtime, builds the command and runs
 * it with myspawn in Disk1 of the extraction.
 */
#pragma once

#include <string>
#include <vector>

// Prepares the Java runtime, runs the installer in Disk1 and waits for it. Returns the
// installer's exit code: 0 when cancelled before the start, 1 when it failed before (after
// reporting why), 555 when the installer could not be started.
int launchInstaller();

// Runs the command (Windows: the command line; Linux: the arguments, or the command line
// split when none are given), waits for it and returns its exit code; 555 when the process
// could not be created or waited for (launchFailed is then set), 0 when the run was
// cancelled before the start.
int myspawn(char* command, const std::vector<std::string>& arguments = {});

// The destination of the runtime: the name of the first component of a JRE_COMPONENT
// text (up to the first "," and then up to the first ":").
std::string javaDestinationOf(const char* componentText);
