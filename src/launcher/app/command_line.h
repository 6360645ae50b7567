/*
 * The command line of the launcher: the process-wide flags, lists and paths that start-up
 * fills once and every later step reads. They are plain globals because there is one run
 * per process and the values are written before any other thread exists.
 */
#pragma once

#include "platform/paths.h"

extern bool debugMode;  // -debug: log on, console progress dots, extraction directory kept
extern bool silentMode; // -silent: no dialog, no message boxes
extern bool noConsole;  // -noconsole: no console for a silent run
extern bool noWait;     // -nowait: no key press awaited at exit

// Values of the -J options (pointing just after the "-J" of their argument) and the
// arguments forwarded to the installer, each in command-line order and read up to the
// first null entry. They point into the argument strings, which live until the process
// ends.
extern char** javaOptions;
extern char** installerArgs;

extern char jreLocation[kPathBufferSize];       // -jreLoc value; empty when not given
extern char programPath[kPathBufferSize];       // full path made from argument 0
extern char m_szTempDirectory[kPathBufferSize]; // base of the extraction directory

// Text of the first command-line error (heap string), or null. Start-up reports it, frees
// it and ends with -1.
extern char* optionError;

// Frees optionError (which may be a fixed text when even the message could not be
// allocated) and sets it to null.
void releaseOptionError();

// Parses the process's argument vector (platform::argumentVector) into the values above.
// Returns true when a console is wanted: debugMode, or silentMode without noConsole, as
// far as the flags were seen before parsing stopped.
bool parseCommandLine();

// Puts every value above back to its initial state (the lists are freed). Only a test
// runs start-up more than once per process.
void resetCommandLine();
