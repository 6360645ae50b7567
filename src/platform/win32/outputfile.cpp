// Output files on Windows, with the Win32 calls themselves.
//
// A file is presized (SetFilePointerEx + SetEndOfFile) so that NTFS allocates it in
// one piece, and trimmed at close to what was written. Times are set through a handle
// opened for that alone, before the attributes, so that a read-only attribute cannot
// stop the time update.
#include "platform/outputfile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

HANDLE asHandle(OutputHandle handle) { return reinterpret_cast<HANDLE>(handle); }

FILETIME toFileTime(uint64_t value) {
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return result;
}

} // namespace

bool createOutputFile(const char* path, OutputHandle* handle, int* error) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    *handle = reinterpret_cast<OutputHandle>(file);
    return true;
}

bool createNewOutputFile(const char*, OutputHandle*) { return false; }

size_t writeOutputFile(OutputHandle handle, const void* data, size_t count) {
    const char* bytes = static_cast<const char*>(data);
    size_t written = 0;
    while (written < count) {
        DWORD chunk = static_cast<DWORD>(count - written);
        DWORD done = 0;
        if (!WriteFile(asHandle(handle), bytes + written, chunk, &done, nullptr) || done == 0)
            break;
        written += done;
    }
    return written;
}

void reserveOutputSize(OutputHandle handle, uint64_t size) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(asHandle(handle), distance, nullptr, FILE_BEGIN))
        SetEndOfFile(asHandle(handle));
    distance.QuadPart = 0;
    SetFilePointerEx(asHandle(handle), distance, nullptr, FILE_BEGIN);
}

void closeOutputHandle(OutputHandle handle) {
    SetEndOfFile(asHandle(handle));
    CloseHandle(asHandle(handle));
}

bool openForTimes(const char* path, bool directory, OutputHandle* handle, int* error) {
    HANDLE file = directory
        ? CreateFileA(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
        : CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    *handle = reinterpret_cast<OutputHandle>(file);
    return true;
}

bool finishOutputHandle(const char* path, OutputHandle output, bool wantTimes,
                        OutputHandle* handle, int* error) {
    closeOutputHandle(output);
    return wantTimes && openForTimes(path, false, handle, error);
}

bool setHandleTimes(OutputHandle handle, unsigned flags, uint64_t creationTime,
                    uint64_t accessTime, uint64_t modificationTime, int* error) {
    FILETIME creation = toFileTime(creationTime);
    FILETIME access = toFileTime(accessTime);
    FILETIME modification = toFileTime(modificationTime);
    if (!SetFileTime(asHandle(handle), (flags & 4) ? &creation : nullptr,
                     (flags & 2) ? &access : nullptr, (flags & 1) ? &modification : nullptr)) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

void closeTimesHandle(OutputHandle handle) { CloseHandle(asHandle(handle)); }

bool setOutputAttributes(const char* path, uint32_t attributes, int* error) {
    if (!SetFileAttributesA(path, attributes & 0x7F)) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool setOutputMode(const char*, uint32_t, uint32_t, bool) { return true; }

bool setOpenFileMode(OutputHandle, uint32_t, uint32_t) { return true; }

void makeOutputWritable(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

bool removeOutputFile(const char* path, int* error) {
    if (!DeleteFileA(path)) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool renameOutputFile(const char* from, const char* to, int* error) {
    if (!MoveFileA(from, to)) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

bool createOutputDirectory(const char* path, int* error) {
    if (!CreateDirectoryA(path, nullptr)) {
        *error = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

// The names Windows reserves for devices in every directory, with any extension
// ("con.txt" is the console too) and trailing blanks ignored.
static bool isReservedDeviceName(const char* name) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t length = 0;
    while (name[length] != '\0' && name[length] != '.') ++length;
    while (length > 0 && name[length - 1] == ' ') --length;
    for (const char* device : kDevices)
        if (strlen(device) == length && _strnicmp(name, device, length) == 0) return true;
    // COM1-COM9 and LPT1-LPT9.
    return length == 4 && (_strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

bool isCharacterDevice(const char* path) {
    if (isReservedDeviceName(path)) return true;
    struct _stati64 status;
    return _stati64(path, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFCHR;
}

const char* outputErrorText(int error) {
    static char text[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(error), 0, text, sizeof text,
                                  nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' '))
        text[--length] = '\0';
    if (length == 0) snprintf(text, sizeof text, "error %d", error);
    return text;
}
