/*
 * The command line of the launcher: start-up parses it once into the commandLine record
 * (and a temporary directory given with -J-Djava.io.tmpdir= into runPaths), and every
 * later step reads it.
 */
#pragma once

#include "launcher/state/run_records.h"

// Frees optionError (which may be a fixed text when even the message could not be
// allocated) and sets it to null.
void releaseOptionError();

// Parses the process's argument vector (platform::argumentVector) into the records.
// Returns true when a console is wanted: debugMode, or silentMode without noConsole, as
// far as the flags were seen before parsing stopped.
bool parseCommandLine();

// Puts the command-line record back to its initial state (the lists are freed). Only a
// test runs start-up more than once per process.
void resetCommandLine();
