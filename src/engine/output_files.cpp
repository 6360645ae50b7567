// Output files: one selected entry from its mapped name to a finished file.
//
// prepareOutput maps the name and decides about a file that is already there (asking
// the caller when the overwrite mode says so); extractEntry creates the file, limits
// the byte reader to the entry, runs the decoder, closes the file, sets attributes and
// times and compares the CRC. Every decoder hands its output to flushOutput, which
// keeps the running CRC and writes each block straight from the decoder's window with
// one unbuffered write, copying only when end-of-line conversion is asked for.
//
// Text conversion works in slices of at most kTextSlice input bytes, each converted
// into a buffer at least twice as large, so a decoder may pass blocks of any size.
// The conversion state (a carriage return at a block's end, the VMS record state)
// lives in the state record, so slice and block boundaries never change the result.
#include "engine/output_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/crc32.h"
#include "engine/explode.h"
#include "engine/field_block.h"
#include "engine/field_tests.h"
#include "engine/inflate.h"
#include "engine/messages.h"
#include "engine/output_names.h"
#include "engine/reader.h"
#include "engine/state.h"
#include "engine/times.h"
#include "engine/unshrink.h"
#include "platform/outputfile.h"

namespace {

// Converted output of one slice is at most twice its size plus one pending line end
// (2 * 65535 + 2 = 131072), which fits outputBuffer (131073 bytes).
constexpr size_t kTextSlice = 65535;
static_assert(2 * kTextSlice + 2 <= size_t(OUTPUT_BUFFER_SIZE), "text slice too large");
static_assert(2 * kTextSlice + 2 <= size_t(SHRINK_TEXT_BUFFER), "text slice too large");

// Largest number a backup name "~N" may carry when there is room for five digits.
constexpr unsigned kBackupNumberMax = 99999;

// Security descriptor blocks: 4-byte uncompressed size, version byte, then a
// compressed block (method, CRC, data) of at least 6 bytes.
constexpr uint32_t kSecurityHeaderLength = 11;

void raiseResult(int* result, int code) {
    if (code > *result) *result = code;
}

const char* shownName(const char* name, char* buffer) {
    return printableName(name, buffer, PRINTABLE_NAME_SIZE);
}

// The last security descriptor block of an extra field that is to be restored: data
// longer than 4 bytes, version 0. Answers the block (with its header) and its length.
const uint8_t* findSecurityBlock(const EngineState* state, uint32_t* blockLength) {
    if (state->restoreSecurity == 0 || !isWindowsNT() || state->extraField == nullptr)
        return nullptr;
    const uint8_t* found = nullptr;
    const uint8_t* p = state->extraField;
    uint32_t left = state->extraFieldLength;
    while (left >= 4) {
        uint32_t id = getLe16(p);
        uint32_t size = getLe16(p + 2);
        if (size > left - 4) break;
        if (id == EXTRA_SECURITY && size > 4 && p[4 + 4] == 0) {
            found = p;
            *blockLength = size + 4;
        }
        p += size + 4;
        left -= size + 4;
    }
    return found;
}

// Restoring a stored Windows security descriptor is not part of what this program
// offers; the block is only checked for completeness so that a damaged one is
// reported. Nothing is applied, on either platform.
int restoreSecurityData(const uint8_t*, const char*, uint32_t, uint32_t dataLength) {
    return dataLength < kSecurityHeaderLength ? RC_EFTRUNC : RC_OK;
}

int writeBytes(EngineState* state, const uint8_t* bytes, size_t count) {
    if (state->writeToConsole) {
        // A console that takes fewer bytes than it was given failed like a full disk.
        if (sendText(state, reinterpret_cast<const char*>(bytes), count) < int(count))
            return reportWriteError(state);
        return RC_OK;
    }
    if (writeOutputFile(state->outputHandle, bytes, count) < count) return reportWriteError(state);
    return RC_OK;
}

// CR LF line ends: a lone CR or LF becomes CR LF, CR LF stays; a CR at the end of a
// block swallows an LF at the start of the next one.
size_t convertPlainText(EngineState* state, const uint8_t* in, size_t count, uint8_t* out) {
    size_t produced = 0;
    size_t i = 0;
    if (count > 0 && in[0] == '\n' && state->lastWasCR) i = 1;
    state->lastWasCR = false;
    for (; i < count; ++i) {
        uint8_t c = in[i];
        if (c == '\r') {
            out[produced++] = '\r';
            out[produced++] = '\n';
            if (i + 1 == count)
                state->lastWasCR = true;
            else if (in[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out[produced++] = '\r';
            out[produced++] = '\n';
        } else {
            out[produced++] = c;
        }
    }
    return produced;
}

// VMS variable-length records: a 16-bit length, the record, a pad byte after an odd
// length. Each record ends in CR LF as soon as its last byte is copied, so neither a
// block boundary nor the end of the entry can lose a line end.
size_t convertVmsRecords(EngineState* state, const uint8_t* in, size_t count, uint8_t* out) {
    size_t produced = 0;
    size_t i = 0;
    for (;;) {
        if (state->recordState == 2 && state->recordLength == 0) {
            out[produced++] = '\r';
            out[produced++] = '\n';
            state->recordState = state->recordPad ? 4 : 0;
        }
        if (i >= count) break;
        switch (state->recordState) {
        case 0:
            if (count - i == 1) {
                state->recordLength = in[i++];
                state->recordState = 1;
            } else {
                state->recordLength = getLe16(in + i);
                i += 2;
                state->recordState = 2;
            }
            state->recordPad = (state->recordLength & 1) != 0;
            break;
        case 1:
            state->recordLength += uint32_t(in[i++]) << 8;
            state->recordState = 2;
            break;
        case 2: {
            size_t run = count - i < state->recordLength ? count - i : state->recordLength;
            std::memcpy(out + produced, in + i, run);
            produced += run;
            i += run;
            state->recordLength -= uint32_t(run);
            break;
        }
        default:  // 4: the pad byte after an odd record
            ++i;
            state->recordState = 0;
            break;
        }
    }
    return produced;
}

int flushText(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink) {
    uint8_t* buffer = fromShrink ? state->shrinkTextBuffer : state->outputBuffer;
    if (state->newFile) {
        bool vms = state->currentEntry->hostSystem == HOST_VMS && state->extraField != nullptr &&
                   vmsRecordsVariable(state, state->extraField, state->extraFieldLength);
        state->recordState = vms ? 0 : -1;
        state->recordLength = 0;
        state->lastWasCR = false;
        state->newFile = false;
    }
    for (size_t done = 0; done < count;) {
        size_t slice = count - done < kTextSlice ? count - done : kTextSlice;
        size_t produced = state->recordState < 0
                              ? convertPlainText(state, bytes + done, slice, buffer)
                              : convertVmsRecords(state, bytes + done, slice, buffer);
        int result = writeBytes(state, buffer, produced);
        if (result != RC_OK) return result;
        done += slice;
    }
    return RC_OK;
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
        if (fileStatus(state, backup, &status) == 0) removeOutputFile(backup, &ignored);
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

// Creates the output file (removing or backing up an old one). 0, or 1 after a message.
int openOutputFile(EngineState* state) {
    const char* name = state->entryName;
    char shown[PRINTABLE_NAME_SIZE];
    FileStatus status;
    if (fileStatus(state, name, &status) == 0) {
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
    if (isWindowsNT()) reserveOutputSize(state->outputHandle, state->local.uncompressedSize);
    return 0;
}

void closeOutputFile(EngineState* state) {
    const char* name = state->entryName;
    const EntryInfo* entry = state->currentEntry;
    closeOutputHandle(state->outputHandle);
    state->outputOpen = false;

    // The times go through a handle opened before the attributes are set, so that a
    // read-only attribute cannot stop them.
    FileTimeSet times{};
    OutputHandle timesHandle = 0;
    bool opened = false;
    int openError = 0;
    if (state->timestampMode < 2) {
        entryFileTimes(state, &times);
        opened = openForTimes(name, false, &timesHandle, &openError);
    }

    if (entry->fileAttributes & 0x5F) {
        int error = 0;
        if (!setOutputAttributes(name, entry->fileAttributes & 0x7F, &error))
            sendMessage(state, "\nwarning (%d): could not set file attributes\n", error);
    }
    if (!setOutputMode(name, entry->unixMode, entry->fileAttributes, false))
        sendMessage(state, "\nwarning (%d): could not set file attributes\n", 0);

    uint32_t blockLength = 0;
    const uint8_t* block = findSecurityBlock(state, &blockLength);
    if (block != nullptr &&
        restoreSecurityData(block, name, entry->fileAttributes, blockLength - 4) == RC_EFTRUNC) {
        char shown[PRINTABLE_NAME_SIZE];
        if (state->quietLevel > 0) sendMessage(state, "%-22s ", shownName(name, shown));
        sendMessage(state, " compressed WinNT security data missing (%d bytes)%s",
                    int(blockLength - 4) - int(kSecurityHeaderLength),
                    state->quietLevel > 0 ? "\n" : "");
    }

    if (state->timestampMode >= 2) return;
    if (!opened) {
        sendMessage(state, "\nCreateFile() error %d when trying set file time\n", openError);
        return;
    }
    int error = 0;
    if (times.flags != 0 && !setHandleTimes(timesHandle, times.flags, times.creation,
                                            times.access, times.modification, &error))
        sendMessage(state, "\nSetFileTime failed: %d\n", error);
    closeTimesHandle(timesHandle);
}

// Removes an output file that holds nothing of the entry (its method cannot be decoded).
void discardOutputFile(EngineState* state) {
    if (!state->outputOpen) return;
    closeOutputHandle(state->outputHandle);
    state->outputOpen = false;
    int ignored = 0;
    removeOutputFile(state->entryName, &ignored);
}

void decoderError(EngineState* state, const char* reason, const char* decoder) {
    if (state->quietLevel == 0) {
        sendMessage(state, "\n  error:  %s%s\n", reason, decoder);
    } else {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "  error:  %s%s %s\n", reason, decoder,
                    shownName(state->entryName, shown));
    }
}

// Explode that did not end where the entry's data ends: a warning when it used no
// more than the compressed size, an error when it ran past it.
int reportSizeMismatch(EngineState* state) {
    uint64_t compressed = state->local.compressedSize;
    bool warning = uint64_t(state->usedCompressed) <= compressed;
    char shown[PRINTABLE_NAME_SIZE];
    bool quiet = state->quietLevel > 0;
    sendMessage(state,
                "%s  %s:  %s bytes required to uncompress to %s bytes;\n"
                "    %s      supposed to require %s bytes%s%s%s\n",
                quiet ? "" : "\n", warning ? "warning" : "error",
                formatNumber(state, uint64_t(state->usedCompressed), true),
                formatNumber(state, state->local.uncompressedSize, false), warning ? "  " : "",
                formatNumber(state, compressed, false), quiet ? " [" : "",
                quiet ? shownName(state->entryName, shown) : "", quiet ? "]" : ".");
    return warning ? RC_WARNING : RC_ERROR;
}

// A decoder's own failure becomes its message and RC_NOMEM3 or RC_ERROR; the output
// stage's results pass unchanged.
int reportDecodeResult(EngineState* state, unsigned method, int result) {
    if (result == DECODE_OK || result > DECODE_READ_FAILED) return result;
    if (result == DECODE_SIZE_MISMATCH) return reportSizeMismatch(state);
    if (const char* note = incompleteCodeNote(result)) sendMessageUpTo(state, 0, "%s", note);
    const char* decoder = method == 1 ? "unshrink" : method == 6 ? "explode" : "inflate";
    bool memory = result == DECODE_NO_MEMORY;
    decoderError(state, memory ? "not enough memory to " : "invalid compressed data to ",
                 decoder);
    return memory ? RC_NOMEM3 : RC_ERROR;
}

// Method 0: the bytes go through the window, so that a deflated entry after this one
// can still reach back into them.
int copyStored(EngineState* state) {
    int result = RC_OK;
    uint32_t position = 0;
    for (;;) {
        if (state->inputCount > 0) {
            uint32_t run = WINDOW_SIZE - position;
            if (uint32_t(state->inputCount) < run) run = uint32_t(state->inputCount);
            std::memcpy(state->window + position, state->inputPos, run);
            state->inputPos += run;
            state->inputCount -= int(run);
            position += run;
        } else {
            int byte = refillByte(state);
            if (byte == END_OF_DATA) break;
            state->window[position++] = uint8_t(byte);
        }
        if (position == WINDOW_SIZE) {
            result = flushOutput(state, state->window, position, false);
            position = 0;
            if (result != RC_OK || state->diskFull) return result;
        }
    }
    int last = flushOutput(state, state->window, position, false);
    return last > result ? last : result;
}

// Runs the decoder of the entry's method (0, 1, 6, 8 or 9). A failed read overrides
// whatever the decoder made of its input's sudden end.
int decodeEntryData(EngineState* state, unsigned method) {
    int result;
    switch (method) {
    case 0:
        result = copyStored(state);
        break;
    case 1:
        result = unshrinkData(state);
        break;
    case 6:
        result = explodeData(state);
        break;
    default:
        result = inflateData(state, method == 9);
        break;
    }
    return state->readFailed ? DECODE_READ_FAILED : result;
}

} // namespace

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

int extractEntry(EngineState* state) {
    const EntryInfo* entry = state->currentEntry;
    char shown[PRINTABLE_NAME_SIZE];
    state->newFile = true;
    state->runningCrc = 0;

    if (state->testOnly) {
        sendMessageUpTo(state, 0, "%8sing: %-22s  %s%s", "test",
                        shownName(state->entryName, shown), "", "");
    } else if (!state->writeToConsole && openOutputFile(state) != 0) {
        return RC_DISKFULL;
    }
    limitInputToEntry(state);

    const unsigned method = state->local.method;
    const char* verb = method == 0                   ? "extract"
                       : method == 1                 ? "unshrink"
                       : method == 6                 ? "explod"
                       : method == 8 || method == 9 ? "inflat"
                                                     : nullptr;
    if (verb != nullptr && !state->testOnly) {
        const char* tag = "";
        if (state->convertText == 1) {
            if (method == 0 && state->local.uncompressedSize == 0)
                tag = "[empty] ";
            else
                tag = entry->isText ? "[text]  " : "[binary]";
        }
        sendMessageUpTo(state, 0, "%8sing: %-22s  %s%s", verb, shownName(state->entryName, shown),
                        tag, state->writeToConsole ? "\r\n" : "");
    }

    if (verb == nullptr) {
        sendMessage(state, "%s:  unknown compression method\n",
                    shownName(state->entryName, shown));
        // Nothing of the entry can be written: leave no empty file behind.
        discardOutputFile(state);
        restoreInput(state);
        return RC_WARNING;
    }
    const int decoded = decodeEntryData(state, method);
    // The reader has reported the failure, and the run ends with this entry: its file
    // keeps what was written before and is closed with the rest of the run's state.
    if (decoded == DECODE_READ_FAILED) return RC_FATAL;
    int result = reportDecodeResult(state, method, decoded);

    if (!state->testOnly && !state->writeToConsole) closeOutputFile(state);

    if (state->diskFull) {
        sendMessage(state, "warning:  %s is probably truncated\n",
                    shownName(state->entryName, shown));
        restoreInput(state);
        return RC_DISKFULL;
    }
    if (result > RC_WARNING) {
        restoreInput(state);
        return result;
    }
    if (state->runningCrc != state->local.crc) {
        if (state->quietLevel > 0) sendMessage(state, "%-22s ", shownName(state->entryName, shown));
        sendMessage(state, " bad CRC %08lx  (should be %08lx)\n",
                    static_cast<unsigned long>(state->runningCrc),
                    static_cast<unsigned long>(state->local.crc));
        if (entry->encrypted) sendMessage(state, "    (may instead be incorrect password)\n");
        result = RC_ERROR;
    } else if (state->testOnly) {
        const int fields = testExtraFields(state);
        raiseResult(&result, fields);
        if (fields == RC_OK) sendMessageUpTo(state, 0, " OK\n");
    } else if (result == RC_OK) {
        sendMessageUpTo(state, 0, "\n");
    }
    restoreInput(state);
    return result;
}

int flushOutput(EngineState* state, const uint8_t* bytes, size_t count, bool fromShrink) {
    if (state->readFailed) return DECODE_READ_FAILED;  // nothing more of the entry is written
    state->runningCrc = crc32Update(state->runningCrc, bytes, count);
    if (raiseStatus(state, STATUS_PROGRESS, state->entryName, count) != 0) return RC_ABORT;
    if (state->testOnly || count == 0) return RC_OK;
    if (state->diskFull) return RC_DISKFULL;
    if (!state->currentEntry->textMode) return writeBytes(state, bytes, count);
    return flushText(state, bytes, count, fromShrink);
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

void limitInputToEntry(EngineState* state) {
    if (int64_t(state->inputCount) > state->compressedLeft) {
        if (state->compressedLeft < 0) state->compressedLeft = 0;
        state->leftoverPos = state->inputPos + state->compressedLeft;
        state->leftoverCount = state->inputCount - int(state->compressedLeft);
        state->inputCount = int(state->compressedLeft);
    } else {
        state->leftoverCount = 0;
    }
    state->compressedLeft -= state->inputCount;
}

void restoreInput(EngineState* state) {
    if (state->inputCount > 0) state->compressedLeft += state->inputCount;
    if (state->leftoverCount > 0) {
        state->inputCount = state->leftoverCount + int(state->compressedLeft);
        state->inputPos = state->leftoverPos - state->compressedLeft;
        state->leftoverCount = 0;
    } else if (state->inputCount < 0) {
        state->inputCount = 0;
    }
}

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
                        int(record->securityLength) - int(kSecurityHeaderLength), "\n");
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

bool vmsRecordsVariable(EngineState* state, const uint8_t* extra, size_t length) {
    constexpr uint16_t kPkwareVms = 0x000C;
    constexpr uint16_t kVmsAttributes = 0x4D49;
    constexpr uint32_t kVfabTag = 0x42414656;  // "VFAB"
    constexpr unsigned kVariableRecords = 2;
    unsigned recordFormat = 0;
    while (length >= 4) {
        uint32_t id = getLe16(extra);
        size_t size = getLe16(extra + 2);
        if (size > length - 4) break;
        const uint8_t* data = extra + 4;
        if (id == kPkwareVms && size >= 4) {
            uint32_t stored = getLe32(data);
            if (crc32Update(0, data + 4, size - 4) != stored) {
                sendMessage(state, "[Warning: CRC error, discarding PKWARE extra field]\n");
            } else {
                const uint8_t* tag = data + 4;
                size_t left = size - 4;
                while (left > 4) {
                    uint32_t tagId = getLe16(tag);
                    size_t tagSize = getLe16(tag + 2);
                    if (tagSize > left - 4) break;
                    if (tagId == 4 && tagSize >= 1) recordFormat = tag[4] & 0x0F;
                    tag += 4 + tagSize;
                    left -= 4 + tagSize;
                }
            }
        } else if (id == kVmsAttributes && size >= 4 && getLe32(data) == kVfabTag) {
            size_t unpackedLength = 0;
            uint8_t* unpacked = unpackVmsBlock(state, data, size, &unpackedLength);
            if (unpacked != nullptr && unpackedLength >= 32) recordFormat = unpacked[31] & 0x0F;
            std::free(unpacked);
        }
        extra += 4 + size;
        length -= 4 + size;
    }
    return recordFormat == kVariableRecords;
}

uint8_t* unpackVmsBlock(EngineState* state, const uint8_t* data, size_t length,
                        size_t* unpackedLength) {
    constexpr size_t kPackedStart = 12;
    *unpackedLength = 0;
    if (length < kPackedStart) return nullptr;
    unsigned packing = getLe16(data + 4) & 7;
    size_t size = getLe16(data + 6);
    const uint8_t* packed = data + kPackedStart;
    size_t packedLength = length - kPackedStart;
    if (packing == 0) size = packedLength;
    if (packing > 2) return nullptr;
    uint8_t* target = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (target == nullptr) return nullptr;
    bool ok = true;
    if (packing == 0)
        std::memcpy(target, packed, size);
    else if (packing == 1)
        expandFlagBits(packed, packedLength, target, size);
    else
        ok = extractFieldBlock(state, target, size, packed, packedLength) == RC_OK;
    if (!ok) {
        std::free(target);
        return nullptr;
    }
    *unpackedLength = size;
    return target;
}

void expandFlagBits(const uint8_t* source, size_t sourceLength, uint8_t* target, size_t n) {
    // Bits are taken least significant first; a source that runs out reads as zeros.
    size_t bitPosition = 0;
    auto nextBit = [&]() -> unsigned {
        size_t byte = bitPosition >> 3;
        unsigned bit = byte < sourceLength ? (source[byte] >> (bitPosition & 7)) & 1u : 0u;
        ++bitPosition;
        return bit;
    };
    for (size_t i = 0; i < n; ++i) {
        if (nextBit() == 0) {
            target[i] = 0;
            continue;
        }
        unsigned value = 0;
        for (unsigned b = 0; b < 8; ++b) value |= nextBit() << b;
        target[i] = uint8_t(value);
    }
}
