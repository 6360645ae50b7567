// Files, volumes and times on Linux. FAT times are converted by the kernel, so no
// volume counts as a local-time volume; a volume is known by its device number.
#include "platform/filestatus.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

bool queryFileStatus(const char* path, FileStatus* status) {
    struct stat info;
    if (::stat(path, &info) != 0) return false;
    status->mode = unsigned(info.st_mode) & 0xFFFF;
    status->size = uint64_t(info.st_size);
    status->accessTime = int64_t(info.st_atime);
    status->modificationTime = int64_t(info.st_mtime);
    status->creationTime = int64_t(info.st_ctime);
    return true;
}

bool isDirectoryByAttributes(const char*, bool*) {
    // The status query already answers for every directory Linux can name.
    return false;
}

bool queryFileTimes(const char*, uint64_t*, uint64_t*, uint64_t*) {
    // The status query's times are the file's own times here.
    return false;
}

bool seekFile(std::FILE* file, int64_t offset) {
    return ::fseeko(file, off_t(offset), SEEK_SET) == 0;
}

// The device of the nearest existing directory on the path (the path itself is often
// about to be created).
static bool nearestExistingDevice(const char* path, dev_t* device, std::string* existing) {
    std::string candidate = path[0] != '\0' ? path : ".";
    for (;;) {
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0) {
            *device = info.st_dev;
            *existing = candidate;
            return true;
        }
        if (candidate == "." || candidate == "/") return false;
        std::size_t slash = candidate.find_last_of('/');
        if (slash == std::string::npos) {
            candidate = ".";
        } else if (slash == 0) {
            candidate = "/";
        } else {
            candidate.resize(slash);
        }
    }
}

bool queryVolume(const char* path, VolumeCache* cache) {
    dev_t device;
    std::string existing;
    if (!nearestExistingDevice(path, &device, &existing)) {
        *cache = VolumeCache{};
        return false;
    }
    char key[sizeof cache->key];
    std::snprintf(key, sizeof key, "%llu", static_cast<unsigned long long>(device));
    if (cache->valid && std::strcmp(cache->key, key) == 0) return true;
    long nameMax = ::pathconf(existing.c_str(), _PC_NAME_MAX);
    *cache = VolumeCache{};
    cache->valid = true;
    std::memcpy(cache->key, key, sizeof key);
    cache->oldFat = nameMax >= 0 && nameMax < 13;
    cache->localTime = false;
    return true;
}

bool systemIsNtFamily() { return true; }

static int64_t localCalendarToUnix(const CalendarTime& local) {
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;
    return int64_t(std::mktime(&fields));
}

constexpr int64_t EPOCH_SECONDS = 11644473600ll;

bool localCalendarToFileTime(const CalendarTime& local, uint64_t* fileTime) {
    int64_t t = localCalendarToUnix(local);
    if (t == -1 || t < -EPOCH_SECONDS) return false;
    *fileTime = uint64_t(t + EPOCH_SECONDS) * 10000000ull + uint64_t(local.milliseconds) * 10000ull;
    return true;
}

bool fileTimeToLocalCalendar(uint64_t fileTime, CalendarTime* local) {
    int64_t t = int64_t(fileTime / 10000000ull) - EPOCH_SECONDS;
    std::tm fields{};
    if (!breakDownLocal(t, &fields)) return false;
    *local = CalendarTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                          fields.tm_min, fields.tm_sec, int((fileTime / 10000ull) % 1000)};
    return true;
}

bool dosDateTimeToFileTime(uint32_t d, uint64_t* fileTime) {
    CalendarTime local{int(d >> 25) + 1980, int((d >> 21) & 0x0F), int((d >> 16) & 0x1F),
                       int((d >> 11) & 0x1F), int((d >> 5) & 0x3F), int(d & 0x1F) * 2, 0};
    return localCalendarToFileTime(local, fileTime);
}

void currentLocalCalendar(CalendarTime* local) {
    std::tm fields{};
    breakDownLocal(int64_t(std::time(nullptr)), &fields);
    *local = CalendarTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                          fields.tm_min, fields.tm_sec, 0};
}

bool breakDownLocal(int64_t unixTime, std::tm* fields) {
    std::time_t t = std::time_t(unixTime);
    return ::localtime_r(&t, fields) != nullptr;
}

bool breakDownUtc(int64_t unixTime, std::tm* fields) {
    std::time_t t = std::time_t(unixTime);
    return ::gmtime_r(&t, fields) != nullptr;
}

int64_t makeLocalTime(std::tm* fields) { return int64_t(std::mktime(fields)); }

void resetTimeZone() {
    ::unsetenv("TZ");
    ::tzset();
}

// Names are UTF-8 here whatever the locale (ANSI is UTF-8 on this platform), and nothing
// else depends on the character-type locale: loading it would only make the statically
// linked stub read the system's locale files.
void useUserCharacterLocale() {}

struct DirectorySearch {
    std::vector<std::string> names;
    std::size_t next;
};

DirectorySearch* openDirectorySearch(const char* directory) {
    DIR* dir = ::opendir(directory);
    if (dir == nullptr) return nullptr;
    auto* search = new (std::nothrow) DirectorySearch{};
    if (search == nullptr) {
        ::closedir(dir);
        return nullptr;
    }
    while (const dirent* entry = ::readdir(dir)) search->names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(search->names.begin(), search->names.end());
    return search;
}

const char* nextDirectoryName(DirectorySearch* search) {
    if (search->next >= search->names.size()) return nullptr;
    return search->names[search->next++].c_str();
}

void closeDirectorySearch(DirectorySearch* search) { delete search; }
