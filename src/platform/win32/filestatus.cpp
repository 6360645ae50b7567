// Files, volumes and times on Windows, with the Win32 calls the engine's rules name.
#include "platform/filestatus.h"

#include <windows.h>

#include <sys/stat.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <new>

bool queryFileStatus(const char* path, FileStatus* status) {
    struct __stat64 info;
    if (::_stat64(path, &info) != 0) return false;
    // The runtime sets the execute bits for names ending in .exe, .com, .bat and .cmd,
    // which is how a plain executable is told apart from a damaged archive.
    status->mode = unsigned(info.st_mode) & 0xFFFF;
    status->size = uint64_t(info.st_size);
    status->accessTime = int64_t(info.st_atime);
    status->modificationTime = int64_t(info.st_mtime);
    status->creationTime = int64_t(info.st_ctime);
    return true;
}

bool isDirectoryByAttributes(const char* path, bool* readOnly) {
    DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return true;
}

static uint64_t fromFiletime(const FILETIME& ft) {
    return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

static FILETIME toFiletime(uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(value);
    ft.dwHighDateTime = DWORD(value >> 32);
    return ft;
}

bool queryFileTimes(const char* path, uint64_t* lastWrite, uint64_t* lastAccess,
                    uint64_t* creation) {
    HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME created, accessed, written;
    BOOL ok = ::GetFileTime(file, &created, &accessed, &written);
    ::CloseHandle(file);
    if (!ok) return false;
    *lastWrite = fromFiletime(written);
    *lastAccess = fromFiletime(accessed);
    *creation = fromFiletime(created);
    return true;
}

bool seekFile(std::FILE* file, int64_t offset) { return ::_fseeki64(file, offset, SEEK_SET) == 0; }

bool queryVolume(const char* path, VolumeCache* cache) {
    char full[MAX_PATH];
    const char* name = path;
    if (!(std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')) {
        DWORD n = ::GetFullPathNameA(path, MAX_PATH, full, nullptr);
        if (n == 0 || n >= MAX_PATH) return false;
        name = full;
    }
    if (cache->valid && cache->key[0] == name[0] && cache->key[1] == name[1]) return true;
    *cache = VolumeCache{};
    char root[4] = {name[0], name[1], '/', '\0'};
    char volumeName[MAX_PATH], fileSystem[MAX_PATH];
    DWORD serial, maxComponent, flags;
    if (!::GetVolumeInformationA(root, volumeName, MAX_PATH, &serial, &maxComponent, &flags,
                                 fileSystem, MAX_PATH))
        return false;
    cache->valid = true;
    cache->key[0] = name[0];
    cache->key[1] = name[1];
    cache->oldFat = maxComponent < 13;
    for (char* p = fileSystem; *p != '\0'; ++p) *p = char(std::toupper(static_cast<unsigned char>(*p)));
    cache->localTime = std::strncmp(fileSystem, "VFAT", 4) == 0 ||
                       std::strncmp(fileSystem, "HPFS", 4) == 0 ||
                       std::strncmp(fileSystem, "FAT", 3) == 0;
    return true;
}

bool systemIsNtFamily() { return ::GetVersion() < 0x80000000u; }

bool localCalendarToFileTime(const CalendarTime& local, uint64_t* fileTime) {
    SYSTEMTIME st{};
    st.wYear = WORD(local.year);
    st.wMonth = WORD(local.month);
    st.wDay = WORD(local.day);
    st.wHour = WORD(local.hour);
    st.wMinute = WORD(local.minute);
    st.wSecond = WORD(local.second);
    st.wMilliseconds = WORD(local.milliseconds);
    FILETIME localTime, universal;
    if (!::SystemTimeToFileTime(&st, &localTime)) return false;
    if (!::LocalFileTimeToFileTime(&localTime, &universal)) return false;
    *fileTime = fromFiletime(universal);
    return true;
}

bool fileTimeToLocalCalendar(uint64_t fileTime, CalendarTime* local) {
    FILETIME universal = toFiletime(fileTime), localTime;
    SYSTEMTIME st;
    if (!::FileTimeToLocalFileTime(&universal, &localTime)) return false;
    if (!::FileTimeToSystemTime(&localTime, &st)) return false;
    *local = CalendarTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                          st.wMilliseconds};
    return true;
}

bool dosDateTimeToFileTime(uint32_t dosDateTime, uint64_t* fileTime) {
    FILETIME localTime, universal;
    if (!::DosDateTimeToFileTime(WORD(dosDateTime >> 16), WORD(dosDateTime), &localTime))
        return false;
    if (!::LocalFileTimeToFileTime(&localTime, &universal)) return false;
    *fileTime = fromFiletime(universal);
    return true;
}

void currentLocalCalendar(CalendarTime* local) {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    *local = CalendarTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                          st.wMilliseconds};
}

bool breakDownLocal(int64_t unixTime, std::tm* fields) {
    __time64_t t = unixTime;
    return ::_localtime64_s(fields, &t) == 0;
}

bool breakDownUtc(int64_t unixTime, std::tm* fields) {
    __time64_t t = unixTime;
    return ::_gmtime64_s(fields, &t) == 0;
}

int64_t makeLocalTime(std::tm* fields) { return int64_t(::_mktime64(fields)); }

void resetTimeZone() {
    ::_putenv("TZ=");
    ::_tzset();
}

void useUserCharacterLocale() { std::setlocale(LC_CTYPE, ""); }

struct DirectorySearch {
    HANDLE handle;
    bool pending;  // the first name, found when the search was opened, is not handed out yet
    WIN32_FIND_DATAA found;
};

DirectorySearch* openDirectorySearch(const char* directory) {
    char pattern[MAX_PATH + 4];
    std::size_t n = std::strlen(directory);
    if (n + 3 > sizeof pattern) return nullptr;
    std::memcpy(pattern, directory, n);
    std::memcpy(pattern + n, "/*", 3);
    auto* search = new (std::nothrow) DirectorySearch{};
    if (search == nullptr) return nullptr;
    search->handle = ::FindFirstFileA(pattern, &search->found);
    if (search->handle == INVALID_HANDLE_VALUE) {
        delete search;
        return nullptr;
    }
    search->pending = true;
    return search;
}

const char* nextDirectoryName(DirectorySearch* search) {
    if (search->pending) {
        search->pending = false;
        return search->found.cFileName;
    }
    if (!::FindNextFileA(search->handle, &search->found)) return nullptr;
    return search->found.cFileName;
}

void closeDirectorySearch(DirectorySearch* search) {
    ::FindClose(search->handle);
    delete search;
}
