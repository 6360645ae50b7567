/*
 * Reading one value of a profile (INI) file: the launch descriptor is such a file.
 *
 * On Windows this is the system's own profile reader. On Linux it is a reader of ours
 * that keeps the behaviour the launcher relies on: section and key names compared
 * without regard to case, blanks around the value dropped, the default when the file,
 * section or key is missing, and a value cut to the buffer size less one character.
 */
#pragma once

#include <cstdint>

// Copies the value of `key` in `section` of the profile file `path` into `buffer`
// (always terminated when bufferSize > 0) and returns the number of characters copied,
// not counting the terminating zero. A missing file, section or key yields
// `defaultValue` (null counts as empty); a key present with an empty value yields 0.
namespace platform {

uint32_t readProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t bufferSize, const char* path);

// The system's error code left by the last profile read (GetLastError; errno on Linux).
unsigned long lastProfileError();

// Linux reads a profile whole into memory, so it takes none above this size (a launch
// descriptor is a few hundred bytes): such a file reads as missing.
inline constexpr uint64_t kProfileSizeLimit = 1024 * 1024;

// True when the reader refuses the file for its size (never on Windows, whose reader has
// bounds of its own).
bool profileTooLarge(const char* path);

} // namespace platform
