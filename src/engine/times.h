// Volumes, file times and file status as the engine sees them.
//
// Three time forms meet here: Unix time (signed 64-bit seconds since 1970, UTC), the
// Windows file time (unsigned 64-bit 100 ns intervals since 1601, UTC) and the MS-DOS
// date/time of the headers (local time, two-second steps). NTFS keeps universal times,
// FAT-family volumes local ones, so every conversion asks first which kind of volume
// the path lives on; that answer is cached per volume for the engine call.
#pragma once

#include <cstdint>

#include "platform/filestatus.h"

struct EngineState;

constexpr uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ull;  // 1970-01-01 in file time
constexpr int64_t FILETIME_EPOCH_SECONDS = 11644473600ll;        // the same in seconds
constexpr uint64_t FILETIME_UNIX_MAX = 0x0236485ED4A5E980ull;    // 2106-02-07 06:28:15 UTC
constexpr int64_t UNIX_TIME_MAX = 0xFFFFFFFFll;

// Which times of a FileTimeSet are valid.
constexpr unsigned FILETIMES_MODIFICATION = 1;
constexpr unsigned FILETIMES_ACCESS = 2;
constexpr unsigned FILETIMES_CREATION = 4;

struct FileTimeSet {
    uint64_t modification;
    uint64_t access;
    uint64_t creation;
    unsigned flags;
};

int isWindowsNT();
bool volumeInfo(EngineState* state, const char* path);
bool isOldFatVolume(EngineState* state, const char* path);
bool isLocalTimeVolume(EngineState* state, const char* path);

uint64_t unixToFileTime(int64_t unixTime);
uint64_t unixToLocalFileTime(int64_t unixTime, bool clip);
bool fileTimeToUnix(uint64_t fileTime, int64_t* unixTime);
bool localFileTimeToUnix(uint64_t fileTime, int64_t* unixTime);
int64_t dosToUnixTime(uint32_t dosDateTime);

// The times the current entry's output file is to get; answers the flags.
unsigned entryFileTimes(EngineState* state, FileTimeSet* times);
// 0 with `status` filled, -1 when the path does not exist.
int fileStatus(EngineState* state, const char* path, FileStatus* status);
// -1 no such file, 1 the file is at least as new as the current entry, 0 it is older.
int newerThanEntry(EngineState* state, const char* path);
