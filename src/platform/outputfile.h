// What the engine needs from the system to write extracted files: create, write,
// presize and close them, set their attributes, mode and times, make directories,
// and delete or rename an old file. One implementation per platform.
//
// Errors are reported as the system's error number (errno or GetLastError), which
// outputErrorText turns into the system's text for messages.
#pragma once

#include <cstddef>
#include <cstdint>

// A file descriptor on POSIX, a HANDLE on Windows.
using OutputHandle = intptr_t;

// Creates or truncates a file for binary writing.
bool createOutputFile(const char* path, OutputHandle* handle, int* error);

// Creates path for binary writing only when nothing of that name exists, not even a
// link: what is found free needs no status query first. False when something is there
// or the file cannot be made this way; the caller then queries and creates as usual.
// Windows always answers false.
bool createNewOutputFile(const char* path, OutputHandle* handle);

// Writes unbuffered; returns the bytes written (fewer than count means failure).
size_t writeOutputFile(OutputHandle handle, const void* data, size_t count);

// Gives the file its final size before the data arrives and moves back to its start,
// where the file system profits from it; failures are silent.
void reserveOutputSize(OutputHandle handle, uint64_t size);

// Ends the file at the current position (undoing a reservation), then closes it.
void closeOutputHandle(OutputHandle handle);

// Opens a file or directory only to set its times.
bool openForTimes(const char* path, bool directory, OutputHandle* handle, int* error);

// Ends the writing of the output file at path, open as output, and hands back the handle
// through which its mode and times are set (closeTimesHandle closes it). POSIX keeps the
// output handle itself open for that, whether or not times are wanted. Windows ends and
// closes the output and, when times are wanted, opens the file again for them (false
// with the error when that fails; false with no error when no times are wanted).
bool finishOutputHandle(const char* path, OutputHandle output, bool wantTimes,
                        OutputHandle* handle, int* error);

// Sets the times whose flags are given (1 modification, 2 access, 4 creation), each a
// file time in 100 ns units since 1601-01-01 UTC; times a platform cannot set are
// left alone. Returns false with the error.
bool setHandleTimes(OutputHandle handle, unsigned flags, uint64_t creationTime,
                    uint64_t accessTime, uint64_t modificationTime, int* error);
void closeTimesHandle(OutputHandle handle);

// Sets the Windows attributes (masked to 0x7F) where the platform has them; true
// elsewhere.
bool setOutputAttributes(const char* path, uint32_t attributes, int* error);

// Sets the POSIX permission bits where the platform has them: unixMode & 0777 when
// unixMode is non-zero, else 0644 (0755 for directories); the read-only attribute
// (0x01) removes the write bits. True elsewhere.
bool setOutputMode(const char* path, uint32_t unixMode, uint32_t attributes, bool directory);

// setOutputMode for a file open as handle (from finishOutputHandle).
bool setOpenFileMode(OutputHandle handle, uint32_t unixMode, uint32_t attributes);

// Makes an existing file writable so that it can be deleted.
void makeOutputWritable(const char* path);
bool removeOutputFile(const char* path, int* error);
bool renameOutputFile(const char* from, const char* to, int* error);
bool createOutputDirectory(const char* path, int* error);

// True when the runtime's file status of path reports a character device (on
// Windows the reserved device names such as "CON" or "NUL").
bool isCharacterDevice(const char* path);

// The system's text for an error number.
const char* outputErrorText(int error);
