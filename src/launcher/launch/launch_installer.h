/*
 * Running the installer: launchInstaller (declared with the run's steps) prepares the
 * runtime, builds the command and runs it with myspawn in Disk1 of the extraction.
 */
#pragma once

#include <string>
#include <vector>

// Runs the command (Windows: the command line; Linux: the arguments, or the command line
// split when none are given), waits for it and returns its exit code; 555 when the process
// could not be created or waited for (launchFailed is then set), 0 when the run was
// cancelled before the start.
int myspawn(char* command, const std::vector<std::string>& arguments = {});

// The destination of the runtime: the name of the first component of a JRE_COMPONENT
// text (up to the first "," and then up to the first ":").
std::string javaDestinationOf(const char* componentText);
