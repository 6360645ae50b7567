/*
 * Running the installer: launchInstaller (declared with the run's steps) prepares the
 * runtime, builds the command and runs it with myspawn in Disk1 of the extraction.
 */
#pragma once

#include <string>

// Runs the command line, waits for it and returns its exit code; 555 when the process
// could not be created or waited for (launchFailed is then set).
int myspawn(char* command);

// The destination of the runtime: the name of the first component of a JRE_COMPONENT
// text (up to the first "," and then up to the first ":").
std::string javaDestinationOf(const char* componentText);
