// Output files on POSIX systems.
//
// Presizing is left out: Linux file systems allocate lazily (delayed allocation), so
// growing a file before writing it gains nothing and would cost a truncate at close.
// Creation time cannot be set; modification and access times go through futimens, and
// mode and times of a written file through the descriptor it was written by, which
// spares opening it again by name.
#include "platform/outputfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr int64_t kFileTimeUnitsPerSecond = 10000000;

timespec fileTimeToTimespec(uint64_t fileTime) {
    int64_t sinceEpoch = static_cast<int64_t>(fileTime) - kUnixEpochAsFileTime;
    int64_t seconds = sinceEpoch / kFileTimeUnitsPerSecond;
    int64_t rest = sinceEpoch % kFileTimeUnitsPerSecond;
    if (rest < 0) {
        rest += kFileTimeUnitsPerSecond;
        seconds -= 1;
    }
    timespec result{};
    result.tv_sec = static_cast<time_t>(seconds);
    result.tv_nsec = static_cast<long>(rest * 100);
    return result;
}

mode_t permissionBits(uint32_t unixMode, uint32_t attributes, bool directory) {
    mode_t mode = unixMode != 0 ? (unixMode & 0777) : (directory ? 0755 : 0644);
    if (attributes & 0x01) mode &= ~static_cast<mode_t>(0222);
    return mode;
}

} // namespace

bool createOutputFile(const char* path, OutputHandle* handle, int* error) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    *handle = fd;
    return true;
}

bool createNewOutputFile(const char* path, OutputHandle* handle) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) return false;
    *handle = fd;
    return true;
}

size_t writeOutputFile(OutputHandle handle, const void* data, size_t count) {
    const char* bytes = static_cast<const char*>(data);
    size_t written = 0;
    while (written < count) {
        ssize_t n = write(static_cast<int>(handle), bytes + written, count - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    return written;
}

void reserveOutputSize(OutputHandle, uint64_t) {}

void closeOutputHandle(OutputHandle handle) { close(static_cast<int>(handle)); }

bool openForTimes(const char* path, bool directory, OutputHandle* handle, int* error) {
    int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (directory ? O_DIRECTORY : 0);
    int fd = open(path, flags);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    *handle = fd;
    return true;
}

bool finishOutputHandle(const char*, OutputHandle output, bool, OutputHandle* handle, int*) {
    *handle = output;
    return true;
}

bool setHandleTimes(OutputHandle handle, unsigned flags, uint64_t, uint64_t accessTime,
                    uint64_t modificationTime, int* error) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = times[0];
    if (flags & 2) times[0] = fileTimeToTimespec(accessTime);
    if (flags & 1) times[1] = fileTimeToTimespec(modificationTime);
    if (futimens(static_cast<int>(handle), times) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

void closeTimesHandle(OutputHandle handle) { close(static_cast<int>(handle)); }

bool setOutputAttributes(const char*, uint32_t, int*) { return true; }

bool setOutputMode(const char* path, uint32_t unixMode, uint32_t attributes, bool directory) {
    return chmod(path, permissionBits(unixMode, attributes, directory)) == 0;
}

bool setOpenFileMode(OutputHandle handle, uint32_t unixMode, uint32_t attributes) {
    return fchmod(static_cast<int>(handle), permissionBits(unixMode, attributes, false)) == 0;
}

void makeOutputWritable(const char* path) {
    struct stat status;
    if (stat(path, &status) == 0) chmod(path, (status.st_mode & 07777) | S_IRUSR | S_IWUSR);
}

bool removeOutputFile(const char* path, int* error) {
    if (unlink(path) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

bool renameOutputFile(const char* from, const char* to, int* error) {
    if (rename(from, to) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

bool createOutputDirectory(const char* path, int* error) {
    if (mkdir(path, 0777) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

bool isCharacterDevice(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISCHR(status.st_mode);
}

const char* outputErrorText(int error) { return strerror(error); }
