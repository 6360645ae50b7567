// Output names: turns an entry name into a safe local path under the target
// directory and creates the directories on it.
#pragma once

#include <cstddef>

struct EngineState;

// Mapping results: the second byte is a status, the low byte an engine result code.
enum {
    MAP_OK = 0x0000,         // path ready
    MAP_TRUNCATED = 0x0100,  // path shortened, extraction goes on
    MAP_SKIP = 0x0200,       // nothing to extract, no error
    MAP_FAILED = 0x0300,     // the entry cannot be extracted
    MAP_TOOLONG = 0x0400,    // a directory path would be too long
    MAP_NOMEM = 0x0A00,      // out of memory
    MAP_DIRCREATED = 0x1000, // directory entry created now; attributes applied later
    MAP_VOLLABEL = 0x1100,   // volume label: not extracted
    MAP_INVALID = 0x6300     // unknown buildPath mode
};
constexpr int kMapStatusMask = 0x7F00;

// buildPath modes (only the low three bits count).
enum {
    PATH_SETROOT = 0,
    PATH_START = 1,
    PATH_ADDDIR = 2,
    PATH_ADDNAME = 3,
    PATH_RESULT = 4,
    PATH_CLEAR = 5
};

// Cleans entryName before mapping: backslash separators of MS-DOS archives and
// absolute paths.
void prepareEntryName(EngineState* state, bool newName);

// Maps entryName to the local path (written back into entryName).
int mapOutputName(EngineState* state, bool newName);

// Builds the output path one component at a time; returns a mapping status.
int buildPath(EngineState* state, char* text, int mode);

// Puts "_" in front of a component that names a character device. The component
// buffer must have room for one more character.
void maskDeviceName(EngineState* state, char* component);

// Appends the 8.3 form of a component at destination; returns the new end.
char* toShortName(const char* component, char* destination);

// Position of the last whole character within the first length bytes of text.
const char* lastCharacter(const char* text, size_t length);
