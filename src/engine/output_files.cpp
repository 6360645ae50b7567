// Output files: one selected entry from its mapped name to a finished file.
//
// prepareOutput maps the name and decides about a file that is already there (asking
// the caller when the overwrite mode says so); openOutputFile and closeOutputFile
// create the file and finish it with attributes and times. flushOutput keeps the
// running CRC and writes each block straight from the decoder's window with one
// unbuffered write, copying only when end-of-line conversion is asked for.
#include "engine/output_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/decode_result.h"
#include "engine/directory_records.h"
#include "engine/known_folder.h"
#include "engine/messages.h"
#include "engine/output_names.h"
#include "engine/result.h"
#include "engine/state.h"
#include "engine/system_blocks.h"
#include "engine/text_conversion.h"
#include "engine/times.h"
#include "platform/outputfile.h"

namespace {

// Largest number a backup name "~N" may carry when there is room for five digits.
constexpr unsigned kBackupNumberMax = 99999;

// Before something is deleted or renamed: a directory, or a link to one, may lie on the
// path of the known folder (through ".." or a link), which is then walked again. A file
// lies on no path.
void forgetFolderBefore(EngineState* state, const FileStatus& going) {
    if ((going.mode & MODE_TYPE_MASK) == MODE_DIRECTORY) forgetKnownFolder(state);
}

// Builds the backup name of `name` ("~", then a number while that name exists too) and
// renames the old file to it. Answers 0, or 1 after a message.
int backUpOldFile(EngineState* state, const char* name) {
    // A name that leaves room for "~" and five digits within the path limit is kept
    // whole; a longer one is cut to 258 characters and gets "~" without a number.
    size_t nameLength = std::strlen(name);
    bool cut = nameLength + 1 + 6 >= size_t(ENTRY_NAME_SIZE);
    size_t kept = cut ? size_t(ENTRY_NAME_SIZE) - 2 : nameLength;
    unsigned numberMax = cut ? 0 : kBackupNumberMax;
    char backup[ENTRY_NAME_SIZE + 8];
    std::memcpy(backup, name, kept);
    backup[kept] = '~';
    backup[kept + 1] = '\0';

    FileStatus status;
    if (state->overwriteMode == OVERWRITE_ALWAYS) {
        int ignored = 0;
        if (fileStatus(state, backup, &status) == 0) {
            forgetFolderBefore(state, status);
            removeOutputFile(backup, &ignored);
        }
    } else {
        unsigned number = 0;
        while (fileStatus(state, backup, &status) == 0 && number < numberMax) {
            ++number;
            std::snprintf(backup + kept + 1, sizeof backup - kept - 1, "%u", number);
        }
    }
    int error = 0;
    if (!renameOutputFile(name, backup, &error)) {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "error:  cannot rename old %s\n        %s\n", shownName(name, shown),
                    outputErrorText(error));
        return 1;
    }
    return 0;
}

// Clears the way for the output file (deletes the old one or backs it up) and creates it.
// Answers 0, or 1 after a message.
int clearAndCreate(EngineState* state) {
    const char* name = state->entryName;
    char shown[PRINTABLE_NAME_SIZE];
    FileStatus status;
    if (fileStatus(state, name, &status) == 0) {
        forgetFolderBefore(state, status);
        if (!state->keepBackup) {
            if ((status.mode & MODE_OWNER_WRITE) == 0) makeOutputWritable(name);
            int error = 0;
            if (!removeOutputFile(name, &error)) {
                sendMessage(state, "error:  cannot delete old %s\n        %s\n",
                            shownName(name, shown), outputErrorText(error));
                return 1;
            }
        } else if (backUpOldFile(state, name) != 0) {
            return 1;
        }
    }
    int error = 0;
    if (!createOutputFile(name, &state->outputHandle, &error)) {
        sendMessage(state, "error:  cannot create %s\n        %s\n", shownName(name, shown),
                    outputErrorText(error));
        return 1;
    }
    state->outputOpen = true;
    return 0;
}

} // namespace

int openOutputFile(EngineState* state) {
    // Mapping creates the file itself where it finds the path free.
    if (!state->outputOpen && clearAndCreate(state) != 0) return 1;
    if (isWindowsNT()) reserveOutputSize(state->outputHandle, state->local.uncompressedSize);
    return 0;
}

void closeOutputFile(EngineState* state) {
    const char* name = state->entryName;
    const EntryInfo* entry = state->currentEntry;
    const bool setTimes = state->timestampMode < 2;

    // The times go through a handle that is open before the attributes are set, so that
    // a read-only attribute cannot stop them; where the system allows, it is the output
    // handle itself, which also takes the mode.
    FileTimeSet times{};
    OutputHandle handle = 0;
    int openError = 0;
    const bool opened =
        finishOutputHandle(name, state->outputHandle, setTimes, &handle, &openError);
    state->outputOpen = false;
    if (setTimes) entryFileTimes(state, &times);

    if (entry->fileAttributes & 0x5F) {
        int error = 0;
        if (!setOutputAttributes(name, entry->fileAttributes & 0x7F, &error))
            sendMessage(state, "\nwarning (%d): could not set file attributes\n", error);
    }
    const bool modeSet = opened ? setOpenFileMode(handle, entry->unixMode, entry->fileAttributes)
                                : setOutputMode(name, entry->unixMode, entry->fileAttributes, false);
    if (!modeSet) sendMessage(state, "\nwarning (%d): could not set file attributes\n", 0);

    uint32_t blockLength = 0;
    const uint8_t* block = findSecurityBlock(state, &blockLength);
    if (block != nullptr &&
        restoreSecurityData(block, name, entry->fileAttributes, blockLength - 4) == RC_EFTRUNC) {
        char shown[PRINTABLE_NAME_SIZE];
        if (state->quietLevel > 0) sendMessage(state, "%-22s ", shownName(name, shown));
        sendMessage(state, " compressed WinNT security data missing (%d bytes)%s",
                    int(blockLength - 4) - int(SECURITY_HEADER_LENGTH),
                    state->quietLevel > 0 ? "\n" : "");
    }

    if (!setTimes) {
        if (opened) closeTimesHandle(handle);
        return;
    }
    if (!opened) {
        sendMessage(state, "\nCreateFile() error %d when trying set file time\n", openError);
        return;
    }
    int error = 0;
    if (times.flags != 0 &&
        !setHandleTimes(handle, times.flags, times.creation, times.access, times.modification,
                        &error))
        sendMessage(state, "\nSetFileTime failed: %d\n", error);
    closeTimesHandle(handle);
}

void discardOutputFile(EngineState* state) {
    if (!state->outputOpen) return;
    closeOutputHandle(state->outputHandle);
    state->outputOpen = false;
    int ignored = 0;
    removeOutputFile(state->entryName, &ignored);
}

int writeOutputBytes(EngineState* state, const uint8_t* bytes, size_t count) {
    if (state->writeToConsole) {
        // A console that takes fewer bytes than it was given failed like a full disk.
        if (sendText(state, reinterpret_cast<const char*>(bytes), count) < int(count))
            return reportWriteError(state);
        return RC_OK;
    }
    if (writeOutputFile(state->outputHandle, bytes, count) < count) return reportWriteError(state);
    return RC_OK;
}


int reportWriteError(EngineState* state) {
    char shown[PRINTABLE_NAME_SIZE];
    sendMessage(state, "%s:  write error (disk full?).\n", shownName(state->entryName, shown));
    state->diskFull = 2;
    return RC_DISKFULL;
}

bool prepareOutput(EngineState* state) {
    bool newName = false;
    char shown[PRINTABLE_NAME_SIZE];
    for (;;) {
        prepareEntryName(state, newName);
        int mapped = mapOutputName(state, newName);
        int code = mapped & ~kMapStatusMask;
        if (code != 0 && code > state->runResult) state->runResult = code;
        switch (mapped & kMapStatusMask) {
        case MAP_OK:
        case MAP_TRUNCATED:
            break;
        case MAP_DIRCREATED: {
            DirectoryRecord* record = nullptr;
            if (makeDirectoryRecord(state, &record) == RC_NOMEM) {
                sendMessage(state,
                            "warning:  cannot alloc memory for dir times/permissions/UID/GID\n");
                raiseResult(&state->runResult, RC_WARNING);
            } else if (record != nullptr) {
                record->next = state->directoryRecords;
                state->directoryRecords = record;
                ++state->directoryCount;
            }
            return false;
        }
        case MAP_VOLLABEL:
            sendMessage(state, "   skipping: %-22s  %svolume label\n",
                        shownName(state->entryName, shown), "");
            return false;
        case MAP_SKIP:
            return false;
        default:
            raiseResult(&state->runResult, RC_ERROR);
            return false;
        }

        // A path found free is the usual case: creating the file at once, where nothing
        // of its name exists, spares the status query.
        if (!(state->freshenOnly && !newName) &&
            createNewOutputFile(state->entryName, &state->outputHandle)) {
            state->outputOpen = true;
            return true;
        }
        bool ask = false;
        switch (newerThanEntry(state, state->entryName)) {
        case -1:
            if (state->freshenOnly && !newName) return false;
            return true;
        case 0:
            if (state->keepBackup || state->overwriteMode == OVERWRITE_ALWAYS) return true;
            if (state->overwriteMode == OVERWRITE_ASK) {
                ask = true;
                break;
            }
            goto skipWithMessage;
        default:
            if (!state->keepBackup && state->overwriteMode == OVERWRITE_NEVER) {
                sendMessage(state, "Target file exists.  Skipping %s\n",
                            shownName(state->entryName, shown));
                return false;
            }
            if (state->updateMode && !newName) goto skipWithMessage;
            if (state->overwriteMode == OVERWRITE_ALWAYS) return true;
            if (!state->keepBackup) {
                ask = true;
                break;
            }
            return true;
        }

        if (ask) {
            // While the question waits, the user may change the tree.
            forgetKnownFolder(state);
            UnzipAskReplace askReplace = state->callbacks->askReplace;
            int answer = askReplace != nullptr ? askReplace(state->entryName, ENTRY_NAME_SIZE)
                                               : REPLACE_NONE;
            state->entryName[ENTRY_NAME_SIZE - 1] = '\0';
            switch (answer) {
            case REPLACE_NO:
                goto skipWithMessage;
            case REPLACE_ALL:
                state->overwriteMode = OVERWRITE_ALWAYS;
                return true;
            case REPLACE_NONE:
                state->overwriteMode = OVERWRITE_NEVER;
                goto skipWithMessage;
            case REPLACE_RENAME:
                newName = true;
                continue;
            default:
                return true;
            }
        }

    skipWithMessage:
        if (state->overwriteMode == OVERWRITE_NEVER || !state->updateMode || newName)
            sendMessage(state, "Target file exists.  Skipping %s\n",
                        shownName(state->entryName, shown));
        else
            sendMessage(state, "Target file newer.  Skipping %s\n",
                        shownName(state->entryName, shown));
        return false;
    }
}

namespace {

int passOn(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink) {
    state->runningCrc = crc32Update(state->runningCrc, bytes, count);
    if (raiseStatus(state, STATUS_PROGRESS, state->entryName, count) != 0) return RC_ABORT;
    if (state->testOnly || count == 0) return RC_OK;
    if (state->diskFull) return RC_DISKFULL;
    if (!state->currentEntry->textMode) return writeOutputBytes(state, bytes, count);
    return writeConvertedText(state, bytes, count, fromShrink);
}

} // namespace

int flushOutput(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink) {
    if (state->readFailed) return DECODE_READ_FAILED;  // nothing more of the entry is written
    // Nothing beyond the declared size is passed on: more data is damage or a bomb, and
    // callers (the launcher's free-space check among them) trust the declared sizes.
    bool overrun = count > state->outputLeft;
    if (overrun) {
        count = size_t(state->outputLeft);
        state->outputOverrun = true;
    }
    state->outputLeft -= count;
    int result = passOn(state, bytes, count, fromShrink);
    return result == RC_OK && overrun ? OUTPUT_OVER_SIZE : result;
}

void mapAttributes(EngineState* state) {
    EntryInfo* entry = state->currentEntry;
    uint32_t external = state->central.externalAttributes;
    uint32_t attributes = external & 0xFF;
    if ((attributes & 0x10) == 0) attributes |= 0x20;
    entry->fileAttributes = attributes;
    // Unix permission bits travel in the high half; a symbolic link's bits belong to
    // the link, and the link is written as a plain file holding its text.
    uint32_t unixBits = external >> 16;
    bool isLink = (unixBits & 0xF000) == 0xA000;
    entry->unixMode = entry->hostSystem == HOST_UNIX && unixBits != 0 && !isLink
                          ? unixBits & 0777
                          : 0;
}
