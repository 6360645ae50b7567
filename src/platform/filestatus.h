// What the engine needs from the operating system about files, volumes and times.
//
// The engine's own rules (which time wins, how a time is clamped, how a volume's kind
// is cached) are shared code; this interface only carries out the system's part of
// them. On Windows each operation is the Win32 call the engine's rules name; on Linux
// the nearest equivalent, with FAT volumes never counted as local-time volumes because
// the kernel converts their times itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

// Mode bits of a file status, the same values on both platforms.
constexpr unsigned MODE_TYPE_MASK = 0xF000;
constexpr unsigned MODE_DIRECTORY = 0x4000;
constexpr unsigned MODE_CHARACTER_DEVICE = 0x2000;
constexpr unsigned MODE_OWNER_READ = 0x0100;
constexpr unsigned MODE_OWNER_WRITE = 0x0080;
constexpr unsigned MODE_OWNER_EXECUTE = 0x0040;

// The runtime library's file status with 64-bit times (seconds since 1970, UTC).
struct FileStatus {
    unsigned mode;
    uint64_t size;
    int64_t accessTime;
    int64_t modificationTime;
    int64_t creationTime;
};

// The runtime library's status query. False when the path cannot be queried.
bool queryFileStatus(const char* path, FileStatus* status);

// True when the system's attribute query names the path a directory (a drive root, for
// instance, where the status query may fail); `readOnly` tells its read-only attribute.
bool isDirectoryByAttributes(const char* path, bool* readOnly);

// The file's own times as file times (100 ns since 1601, UTC). False when the file
// cannot be opened for it or the platform keeps the status query's times instead.
bool queryFileTimes(const char* path, uint64_t* lastWrite, uint64_t* lastAccess,
                    uint64_t* creation);

// Positions a stream at a 64-bit offset from its start.
bool seekFile(std::FILE* file, int64_t offset);

// The kind of volume a path lives on, cached by volume.
struct VolumeCache {
    bool valid;
    char key[40];    // which volume the flags describe
    bool oldFat;     // file-name components are limited to 8.3
    bool localTime;  // the file system keeps local times (FAT, VFAT, HPFS)
};
// Fills or confirms the cache for `path`; false when the volume cannot be queried
// (the cache is then cleared).
bool queryVolume(const char* path, VolumeCache* cache);

// True on the Windows NT family (and on Linux, which has what the engine asks of it).
bool systemIsNtFamily();

// A calendar time with a full year and a month counted from 1.
struct CalendarTime {
    int year, month, day, hour, minute, second, milliseconds;
};
// Local calendar time to a universal file time (SystemTimeToFileTime, LocalFileTimeToFileTime).
bool localCalendarToFileTime(const CalendarTime& local, uint64_t* fileTime);
// Universal file time to local calendar time (FileTimeToLocalFileTime, FileTimeToSystemTime).
bool fileTimeToLocalCalendar(uint64_t fileTime, CalendarTime* local);
// An MS-DOS date and time, read as local time, to a universal file time.
bool dosDateTimeToFileTime(uint32_t dosDateTime, uint64_t* fileTime);
// The system's current local time.
void currentLocalCalendar(CalendarTime* local);

// The runtime library's conversions with 64-bit times.
bool breakDownLocal(int64_t unixTime, std::tm* fields);
bool breakDownUtc(int64_t unixTime, std::tm* fields);
int64_t makeLocalTime(std::tm* fields);  // -1 when the conversion fails

// Removes TZ from the environment and makes the runtime reread the system's zone.
void resetTimeZone();
// Sets the process's character-type locale to the user's default.
void useUserCharacterLocale();

// Names in a directory, one at a time, in the system's order (Windows) or sorted by
// byte value (Linux, so that runs are reproducible).
struct DirectorySearch;
DirectorySearch* openDirectorySearch(const char* directory);
const char* nextDirectoryName(DirectorySearch* search);  // nullptr at the end
void closeDirectorySearch(DirectorySearch* search);
