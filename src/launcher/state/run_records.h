/*
 * The process-wide state of the launcher, in three records grouped by who writes them:
 * the command line (start-up, once, before any other thread exists), the paths of the run
 * (the extraction directory's preparation) and the run's progress (the steps, the cancel
 * request). There is one run per process, so they are plain globals; a test starts a run
 * afresh with resetCommandLine and resetRunRecords.
 *
 * This is the bottom of the launcher: it includes nothing of it.
 */
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/paths.h"

struct CommandLineRecord {
    bool debugMode = false;  // -debug: log on, console progress dots, extraction directory kept
    bool silentMode = false; // -silent: no dialog, no message boxes
    bool noConsole = false;  // -noconsole: no console for a silent run
    bool noWait = false;     // -nowait: no key press awaited at exit

    // Values of the -J options (pointing just after the "-J" of their argument) and the
    // arguments forwarded to the installer, each in command-line order and read up to the
    // first null entry. They point into the argument strings, which live until the process
    // ends.
    char** javaOptions = nullptr;
    char** installerArgs = nullptr;

    char jreLocation[kPathBufferSize] = ""; // -jreLoc value; empty when not given
    char programPath[kPathBufferSize] = ""; // full path made from argument 0

    // Text of the first command-line error (heap string), or null. Start-up reports it,
    // frees it and ends with -1.
    char* optionError = nullptr;
};

struct RunPathsRecord {
    char m_szTempDirectory[kPathBufferSize] = ""; // base of the extraction directory
    char launcherHome[kPathBufferSize] = "";      // working directory before the first preparation
    char extractPath[kPathBufferSize] = "";       // the private directory; empty when not made

    // Written when sfx.ini has been extracted: its path, the directory it went to and the
    // temporary directory of that moment. The second preparation recognises its own
    // directory by descriptorTempDirectory; before descriptorDirectory is set the clean-up
    // removes only an empty directory.
    char descriptorPath[kPathBufferSize] = "";
    char descriptorDirectory[kPathBufferSize] = "";
    char descriptorTempDirectory[kPathBufferSize] = "";
};

// Receives the name of the entry just finished and the progress percentage.
using ProgressSink = void (*)(const char* entryName, int32_t percent);

struct RunStateRecord {
    uint64_t totalBytes = 0;     // announced size of the archive (descriptor), 100 % mark
    uint64_t extractedBytes = 0; // uncompressed bytes of the entries extracted so far
    uint64_t javaJarBytes = 0;   // uncompressed bytes of the runtime jars measured so far

    // Set by Cancel or an interruption (another thread, or a signal handler), read by the
    // run: the only value shared without the window system in between.
    std::atomic<bool> cancelRequested{false};

    bool launchFailed = false;    // the installer could not be started, or ended with 555
    bool commandOverflow = false; // a piece of the launch command did not fit or had no text
    ProgressSink progressSink = nullptr;

    bool consoleAllocated = false; // openConsole ran; the installer then inherits our handles
    int32_t lastPercent = 0;       // percentage last passed to the console's progress dots
};

extern CommandLineRecord commandLine;
extern RunPathsRecord runPaths;
extern RunStateRecord runState;

// Puts the paths and the run state back to their initial values (tests only; the command
// line has its own, which frees its lists).
void resetRunRecords();
