// Volumes, file times and file status. The rules (which time wins, clamping, the
// even-second rounding of MS-DOS times) are here; the system's part of each step is
// behind platform/filestatus.h.
#include "engine/times.h"

#include <cstring>
#include <ctime>

#include "engine/known_folder.h"
#include "engine/records.h"
#include "engine/state.h"

// -1 until first asked; the answer cannot change while the process runs.
static int windowsFamilyIsNT = -1;

int isWindowsNT() {
    if (windowsFamilyIsNT < 0) windowsFamilyIsNT = systemIsNtFamily() ? 1 : 0;
    return windowsFamilyIsNT;
}

static bool isSeparator(char c) { return c == '/' || c == '\\'; }

bool volumeInfo(EngineState* state, const char* path) {
    // A network share has no volume we could ask about.
    if (isSeparator(path[0]) && isSeparator(path[1]) && path[2] != '\0' && !isSeparator(path[2]))
        return false;
    // Everything directly inside the known folder lives on the folder's volume, which
    // is asked about once.
    KnownFolder& folder = state->knownFolder;
    const bool inFolder = isInKnownFolder(state, path);
    if (inFolder && folder.volumeKnown) {
        state->volume = folder.volume;
        return true;
    }
    if (!queryVolume(path, &state->volume)) return false;
    if (inFolder) {
        folder.volume = state->volume;
        folder.volumeKnown = true;
    }
    return true;
}

bool isOldFatVolume(EngineState* state, const char* path) {
    return volumeInfo(state, path) && state->volume.oldFat;
}

bool isLocalTimeVolume(EngineState* state, const char* path) {
    return volumeInfo(state, path) && state->volume.localTime;
}

uint64_t unixToFileTime(int64_t unixTime) {
    return uint64_t(unixTime + FILETIME_EPOCH_SECONDS) * 10000000ull;
}

uint64_t unixToLocalFileTime(int64_t unixTime, bool clip) {
    std::tm fields{};
    bool brokenDown = breakDownLocal(unixTime, &fields) || breakDownUtc(unixTime, &fields);
    CalendarTime calendar{1980, 1, 1, 0, 0, 0, 0};
    if (!brokenDown) {
        if (unixTime > 315619200) currentLocalCalendar(&calendar);
    } else if (!(clip && fields.tm_year + 1900 < 1980)) {
        calendar = CalendarTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                                fields.tm_hour, fields.tm_min, fields.tm_sec, 0};
    }
    uint64_t fileTime = 0;
    localCalendarToFileTime(calendar, &fileTime);
    return fileTime;
}

bool fileTimeToUnix(uint64_t fileTime, int64_t* unixTime) {
    if (fileTime < FILETIME_UNIX_EPOCH) {
        *unixTime = 0;
        return false;
    }
    if (fileTime > FILETIME_UNIX_MAX) {
        *unixTime = UNIX_TIME_MAX;
        return false;
    }
    *unixTime = int64_t((fileTime - FILETIME_UNIX_EPOCH) / 10000000ull);
    return true;
}

bool localFileTimeToUnix(uint64_t fileTime, int64_t* unixTime) {
    CalendarTime calendar;
    if (!fileTimeToLocalCalendar(fileTime, &calendar)) {
        *unixTime = int64_t(std::time(nullptr));
        return false;
    }
    if (fileTime < FILETIME_UNIX_EPOCH) {
        *unixTime = 0;
        return false;
    }
    if (fileTime > FILETIME_UNIX_MAX) {
        *unixTime = UNIX_TIME_MAX;
        return false;
    }
    std::tm fields{};
    fields.tm_year = calendar.year - 1900;
    fields.tm_mon = calendar.month - 1;
    fields.tm_mday = calendar.day;
    fields.tm_hour = calendar.hour;
    fields.tm_min = calendar.minute;
    fields.tm_sec = calendar.second;
    fields.tm_isdst = -1;
    *unixTime = makeLocalTime(&fields);
    return *unixTime != -1;
}

int64_t dosToUnixTime(uint32_t dosDateTime) {
    std::tm fields{};
    breakDownLocal(int64_t(std::time(nullptr)), &fields);
    fields.tm_year = int(dosDateTime >> 25) + 80;
    fields.tm_mon = int((dosDateTime >> 21) & 0x0F) - 1;
    fields.tm_mday = int((dosDateTime >> 16) & 0x1F);
    fields.tm_hour = int((dosDateTime >> 11) & 0x1F);
    fields.tm_min = int((dosDateTime >> 5) & 0x3F);
    fields.tm_sec = int(dosDateTime & 0x1F) * 2;
    fields.tm_isdst = -1;
    int64_t result = makeLocalTime(&fields);
    if (dosDateTime >= DOS_DATE_2038 && result < 0x70000000) result = 0xFFFFFFFFll;
    if (result < 0) result = 0x7FFFFFFF;
    return result;
}

// The current entry's MS-DOS time as Unix time. The conversion asks the system for its
// time zone every time; entries written together share their time, so the last answer
// is kept for the next entry with the same time.
static int64_t entryDosTime(EngineState* state) {
    const uint32_t dosDateTime = state->local.dosDateTime;
    if (!state->dosTimeKept || state->keptDosDateTime != dosDateTime) {
        state->keptDosUnixTime = dosToUnixTime(dosDateTime);
        state->keptDosDateTime = dosDateTime;
        state->dosTimeKept = true;
    }
    return state->keptDosUnixTime;
}

unsigned entryFileTimes(EngineState* state, FileTimeSet* times) {
    const bool localTime = isLocalTimeVolume(state, state->entryName);
    const uint32_t dosDateTime = state->local.dosDateTime;
    EntryTimes entry{};
    if (state->extraField != nullptr &&
        (scanTimeFields(state->extraField, state->extraFieldLength, false, dosDateTime, &entry) &
         TIME_MODIFICATION)) {
        auto convert = [localTime](int64_t t) {
            return localTime ? unixToLocalFileTime(t, true) : unixToFileTime(t);
        };
        times->modification = convert(entry.modification);
        if (entry.mask & TIME_ACCESS) times->access = convert(entry.access);
        if (entry.mask & TIME_CREATION) times->creation = convert(entry.creation);
        times->flags = entry.mask & (FILETIMES_MODIFICATION | FILETIMES_ACCESS | FILETIMES_CREATION);
        return times->flags;
    }
    uint64_t fileTime = 0;
    if (localTime)
        dosDateTimeToFileTime(dosDateTime, &fileTime);
    else
        fileTime = unixToFileTime(entryDosTime(state));
    times->modification = fileTime;
    times->access = fileTime;
    times->flags = FILETIMES_MODIFICATION | FILETIMES_ACCESS;
    return times->flags;
}

int fileStatus(EngineState* state, const char* path, FileStatus* status) {
    if (!queryFileStatus(path, status)) {
        bool readOnly = false;
        if (!isDirectoryByAttributes(path, &readOnly)) return -1;
        std::memset(status, 0, sizeof *status);
        int64_t start = dosToUnixTime(0x210000);  // 1980-01-01 00:00 local time
        status->accessTime = status->modificationTime = status->creationTime = start;
        status->mode = MODE_DIRECTORY | MODE_OWNER_READ | (readOnly ? 0 : MODE_OWNER_WRITE);
        return 0;
    }
    uint64_t lastWrite, lastAccess, creation;
    if (!queryFileTimes(path, &lastWrite, &lastAccess, &creation)) return 0;
    const bool localTime = isLocalTimeVolume(state, path);
    auto convert = [localTime](uint64_t fileTime, int64_t* unixTime) {
        if (localTime)
            localFileTimeToUnix(fileTime, unixTime);
        else
            fileTimeToUnix(fileTime, unixTime);
    };
    convert(lastWrite, &status->modificationTime);
    if (lastAccess != 0)
        convert(lastAccess, &status->accessTime);
    else
        status->accessTime = status->modificationTime;
    if (creation != 0)
        convert(creation, &status->creationTime);
    else
        status->creationTime = status->modificationTime;
    return 0;
}

int newerThanEntry(EngineState* state, const char* path) {
    FileStatus status;
    if (fileStatus(state, path, &status) != 0) return -1;
    const uint32_t dosDateTime = state->local.dosDateTime;
    EntryTimes entry{};
    int64_t fileTime = status.modificationTime;
    int64_t entryTime;
    if (state->extraField != nullptr &&
        (scanTimeFields(state->extraField, state->extraFieldLength, false, dosDateTime, &entry) &
         TIME_MODIFICATION)) {
        entryTime = entry.modification;
    } else {
        // MS-DOS times have two-second steps: a file written at an odd second counts as
        // written at the next even one.
        if ((fileTime & 1) && fileTime < INT64_MAX) ++fileTime;
        entryTime = entryDosTime(state);
    }
    return fileTime >= entryTime ? 1 : 0;
}
