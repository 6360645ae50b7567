// Deferred directory attributes. See directory_records.h.
#include "engine/directory_records.h"

#include <cstdlib>
#include <cstring>

#include "engine/messages.h"
#include "engine/state.h"
#include "engine/system_blocks.h"
#include "engine/times.h"
#include "platform/outputfile.h"

int makeDirectoryRecord(EngineState* state, DirectoryRecord** out) {
    *out = nullptr;
    if (!isWindowsNT()) return RC_OK;  // older systems keep no directory times
    uint32_t blockLength = 0;
    const uint8_t* block = findSecurityBlock(state, &blockLength);
    size_t pathLength = std::strlen(state->entryName);
    size_t size = sizeof(DirectoryRecord) + pathLength + (block != nullptr ? blockLength : 0);
    auto* record = static_cast<DirectoryRecord*>(std::calloc(1, size));
    if (record == nullptr) return RC_NOMEM;
    std::memcpy(record->path, state->entryName, pathLength + 1);
    if (block != nullptr) {
        record->securityBlock = reinterpret_cast<uint8_t*>(record->path + pathLength + 1);
        std::memcpy(record->securityBlock, block, blockLength);
        record->securityLength = blockLength;
    }
    record->attributes = state->currentEntry->fileAttributes;
    record->unixMode = state->currentEntry->unixMode;
    if (state->timestampMode <= 0) {
        FileTimeSet times{};
        record->timeFlags = entryFileTimes(state, &times);
        record->modificationTime = times.modification;
        record->accessTime = times.access;
        record->creationTime = times.creation;
    }
    *out = record;
    return RC_OK;
}

int applyDirectoryAttributes(EngineState* state, DirectoryRecord* record) {
    if (!isWindowsNT()) return RC_OK;
    int result = RC_OK;
    OutputHandle handle = 0;
    bool opened = false;
    int openError = 0;
    if (state->timestampMode <= 0)
        opened = openForTimes(record->path, true, &handle, &openError);

    if (record->securityBlock != nullptr) {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessageUpTo(state, 0, " set attrib: %-22s  ", shownName(record->path, shown));
        int restored = restoreSecurityData(record->securityBlock, record->path,
                                           record->attributes, record->securityLength - 4);
        if (restored == RC_EFTRUNC) {
            if (state->quietLevel > 0) sendMessage(state, "%-22s  ", shownName(record->path, shown));
            sendMessage(state, " compressed WinNT security data missing (%d bytes)%s",
                        int(record->securityLength) - int(SECURITY_HEADER_LENGTH), "\n");
            result = RC_EFTRUNC;
        } else {
            sendMessageUpTo(state, 0, "\n");
            result = restored > 0 ? restored : RC_OK;
        }
    }

    // Permission bits come last but for the times: a directory made read-only earlier
    // would have refused the files extracted into it.
    if (!setOutputMode(record->path, record->unixMode, record->attributes, true) &&
        result == RC_OK)
        result = RC_WARNING;

    if (state->timestampMode > 0) {
        if (opened) closeTimesHandle(handle);
        return result;
    }
    char shown[PRINTABLE_NAME_SIZE];
    if (!opened) {
        sendMessage(state, "warning: CreateFile() error %d (set file times for %s)\n", openError,
                    shownName(record->path, shown));
        if (result == RC_OK) result = RC_WARNING;
        return result;
    }
    int error = 0;
    if (record->timeFlags != 0 &&
        !setHandleTimes(handle, record->timeFlags, record->creationTime, record->accessTime,
                        record->modificationTime, &error)) {
        sendMessage(state, "warning:  SetFileTime() for %s error %d\n",
                    shownName(record->path, shown), error);
        if (result == RC_OK) result = RC_WARNING;
    }
    closeTimesHandle(handle);
    return result;
}
