/*
 * The console of a GUI process. On Windows the program has none until it asks for one
 * and must bind the C streams to it by hand; on Linux the streams exist already, so most
 * of these operations have nothing to do there.
 */
#pragma once

namespace platform {

// Creates a console for the process (Windows: AllocConsole, result ignored).
void allocateConsole();

// Sets the console's screen buffer height, keeping its width; failures change nothing.
void setConsoleBufferHeight(int lines);

enum class StandardStream { input, output, error };

enum class StreamBinding {
    bound,        // the C stream now writes to (reads from) the standard handle, unbuffered
    noDescriptor, // the handle could not be turned into a stream descriptor
    noStream      // a stream could not be opened on the descriptor; the old one is kept
};

// Binds the C stream of which to the process's standard handle of that kind (text mode).
StreamBinding bindStandardStream(StandardStream which);

void setConsoleTitle(const char* title);

// Waits for one key press read from the console itself, without echo and without Enter.
// Returns at once when the process has no console (Linux: when standard input is not a
// terminal).
void waitForKeyPress();

// Releases the process's console, if it has one.
void releaseConsole();

// True when standard input is a terminal (Windows: a console).
bool inputIsTerminal();

// Reads one line from standard input into buffer (the line end kept when it fits, as fgets
// does) with the terminal's echo off, switched back on before returning, so that a terminal
// is never left silent; the rest of a line too long for the buffer is read and dropped.
// False at the end of the input.
bool readLineWithoutEcho(char* buffer, int size);

// readLineWithoutEcho's reading, echo aside.
bool readWholeLine(char* buffer, int size);

} // namespace platform
