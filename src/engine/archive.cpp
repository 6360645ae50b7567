// Opening archives and locating the central directory.
//
// The end of central directory record is found by scanning the file's tail backwards
// for its signature, in whole 8192-byte blocks aligned to the file start, so that the
// blocks read here are the same the reader later reuses. A signature may straddle two
// blocks: the spare bytes after the block receive the first three bytes of the block
// read before (the one that follows in the file), and the scan compares into them.
//
// An archive appended to an executable may or may not have had its offsets adjusted;
// the difference between where the end record is and where the directory says it
// should be is the number of bytes in front (`extraBytes`), added to every seek.
#include "engine/archive.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "engine/driver.h"
#include "engine/fields.h"
#include "engine/listing.h"
#include "engine/messages.h"
#include "engine/patterns.h"
#include "engine/reader.h"
#include "engine/result.h"
#include "engine/report.h"
#include "engine/state.h"
#include "engine/times.h"

constexpr int64_t END_SEARCH_WINDOW = 66000;  // 22-byte record + 65535-byte comment, rounded up
constexpr int END_RECORD_MIN_TAIL = 18;       // record bytes after the 4-byte signature

static const char* plural(long n, const char* one, const char* many) { return n == 1 ? one : many; }

// --- Archive-name expansion ----------------------------------------------------------

static bool fileExists(EngineState* state, const char* path) {
    FileStatus status;
    return fileStatus(state, path, &status) == 0;
}

// Copies directory part + name into currentArchive when it fits; false otherwise.
static bool formCandidate(EngineState* state, const char* name) {
    const char* directory = state->wildcardDirectory != nullptr ? state->wildcardDirectory : "";
    std::size_t dirLength = std::strlen(directory), nameLength = std::strlen(name);
    if (dirLength + nameLength >= std::size_t(ARCHIVE_NAME_SIZE)) return false;
    std::memcpy(state->currentArchive, directory, dirLength);
    std::memcpy(state->currentArchive + dirLength, name, nameLength + 1);
    return true;
}

// A found name matches when the pattern accepts it, a name without "." being matched
// with one appended, as "*.*" has always matched every name on these systems.
static bool foundNameMatches(EngineState* state, const char* name) {
    char forMatching[ARCHIVE_NAME_SIZE + 2];
    std::size_t n = std::strlen(name);
    if (n >= std::size_t(ARCHIVE_NAME_SIZE)) return false;
    std::memcpy(forMatching, name, n + 1);
    if (std::strchr(name, '.') == nullptr) std::memcpy(forMatching + n, ".", 2);
    return matchPattern(forMatching, state->wildcardPattern, true);
}

// The next matching name of the open search, formed into currentArchive; nullptr
// when the search is exhausted (it is then closed).
static const char* nextMatch(EngineState* state, bool skipDotEntries) {
    while (state->wildcardSearch != nullptr) {
        const char* name = nextDirectoryName(state->wildcardSearch);
        if (name == nullptr) {
            closeDirectorySearch(state->wildcardSearch);
            state->wildcardSearch = nullptr;
            break;
        }
        if (skipDotEntries && (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0))
            continue;
        if (foundNameMatches(state, name) && formCandidate(state, name)) return state->currentArchive;
    }
    return nullptr;
}

const char* expandArchiveName(EngineState* state, const char* archiveName) {
    if (!state->expansionStarted) {
        state->expansionStarted = true;
        if (!state->archiveNameIsPattern) return archiveName;

        const char* slash = std::strrchr(archiveName, '/');
        const char* split = slash != nullptr ? slash : std::strrchr(archiveName, ':');
        char searchDirectory[ARCHIVE_NAME_SIZE + 2];
        if (split != nullptr) {
            std::size_t dirLength = std::size_t(split - archiveName) + 1;
            state->wildcardDirectory = static_cast<char*>(std::malloc(dirLength + 1));
            if (state->wildcardDirectory == nullptr) {
                sendMessage(state, "warning:  cannot allocate wildcard buffers\n");
                return archiveName;
            }
            std::memcpy(state->wildcardDirectory, archiveName, dirLength);
            state->wildcardDirectory[dirLength] = '\0';
            state->wildcardPattern = split + 1;
            std::memcpy(searchDirectory, archiveName, dirLength);
            searchDirectory[dirLength] = '\0';
            char last = searchDirectory[dirLength - 1];
            if (last == ':') {
                std::memcpy(searchDirectory + dirLength, ".", 2);
            } else if ((last == '/' || last == '\\') && dirLength > 1) {
                searchDirectory[dirLength - 1] = '\0';
            }
        } else {
            state->wildcardPattern = archiveName;
            std::memcpy(searchDirectory, ".", 2);
        }
        state->wildcardSearch = openDirectorySearch(searchDirectory);
        if (state->wildcardSearch == nullptr) return archiveName;
        const char* match = nextMatch(state, true);
        return match != nullptr ? match : archiveName;
    }
    const char* match = nextMatch(state, false);
    if (match != nullptr) return match;
    state->expansionStarted = false;
    std::free(state->wildcardDirectory);
    state->wildcardDirectory = nullptr;
    return nullptr;
}

// --- The archives of one call ----------------------------------------------------------

struct ArchiveCounts {
    long successes, warnings, failures, noDirectory, directories;
};

static void releaseBuffers(EngineState* state) {
    std::free(state->inputBuffer);
    state->inputBuffer = nullptr;
    std::free(state->outputBuffer);
    state->outputBuffer = nullptr;
}

static void countResult(ArchiveCounts& counts, int result) {
    if (result == RC_OK) ++counts.successes;
    else if (result == RC_WARNING) ++counts.warnings;
    else if (result == RC_ISDIR) ++counts.directories;
    else if (result == RC_NOARCHIVE) ++counts.noDirectory;
    else ++counts.failures;
}

static void printSummary(EngineState* state, const ArchiveCounts& c) {
    if ((c.noDirectory + c.warnings + c.failures > 0 || c.successes != 1) &&
        !(state->testOnly && state->quietLevel > 1))
        sendMessage(state, "\n");
    if (c.successes > 1 ||
        (c.successes == 1 && c.warnings + c.failures + c.noDirectory + c.directories > 0))
        sendMessage(state, "%ld archive%s successfully processed.\n", c.successes,
                    plural(c.successes, " was", "s were"));
    if (c.warnings > 0)
        sendMessage(state, "%ld archive%s had warnings but no fatal errors.\n", c.warnings,
                    plural(c.warnings, "", "s"));
    if (c.failures > 0)
        sendMessage(state, "%ld archive%s had fatal errors.\n", c.failures,
                    plural(c.failures, "", "s"));
    if (c.noDirectory > 0)
        sendMessage(state, "%ld file%s had no zipfile directory.\n", c.noDirectory,
                    plural(c.noDirectory, "", "s"));
    if (c.directories == 1)
        sendMessage(state, "1 \"zipfile\" was a directory.\n");
    else if (c.directories > 1)
        sendMessage(state, "%ld \"zipfiles\" were directories.\n", c.directories);
    if (c.successes + c.failures + c.warnings == 0) sendMessage(state, "No zipfiles found.\n");
}

int processArchives(EngineState* state) {
    state->inputBuffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE));
    state->outputBuffer = static_cast<uint8_t*>(std::malloc(OUTPUT_BUFFER_SIZE));
    if (state->inputBuffer == nullptr || state->outputBuffer == nullptr) {
        releaseBuffers(state);
        sendMessage(state, "error:  cannot allocate unzip buffers\n");
        return RC_NOMEM;
    }
    completeSignatures(&state->signatures);
    resetTimeZone();
    state->overwriteMode = state->overwriteNone   ? OVERWRITE_NEVER
                           : state->overwriteAll ? OVERWRITE_ALWAYS
                                                 : OVERWRITE_ASK;

    // A name that exists as it is names that file, even when it reads as a pattern:
    // browsers save a second download of setup.exe as "setup[1].exe", and expanding
    // that would open another file ("setup1.exe") instead of the program's own.
    const char* archiveName = state->archiveName;
    state->archiveNameIsPattern = patternHasWildcard(archiveName) && !fileExists(state, archiveName);

    ArchiveCounts counts{};
    int result = RC_OK;
    int previous = RC_OK;
    bool haveLastName = false;
    const char* name;
    while ((name = expandArchiveName(state, archiveName)) != nullptr) {
        if (name != state->currentArchive) {
            std::strncpy(state->currentArchive, name, ARCHIVE_NAME_SIZE - 1);
            state->currentArchive[ARCHIVE_NAME_SIZE - 1] = '\0';
        }
        haveLastName = true;
        if (state->quietLevel == 0 && previous != RC_NOARCHIVE && previous != RC_ISDIR &&
            counts.successes + counts.warnings + counts.failures + counts.noDirectory >= 1)
            sendMessage(state, "\n");
        int r = processArchive(state, false);
        countResult(counts, r);
        previous = r;
        if (r != RC_ISDIR) raiseResult(&result, r);
        if (r == RC_ABORT || state->readFailed) {
            releaseBuffers(state);
            return state->readFailed ? RC_FATAL : RC_ABORT;
        }
    }

    // Nothing but one file without a directory (or one directory): try once more with
    // ".zip" appended, as users name archives without their extension.
    if (counts.successes + counts.warnings + counts.failures == 0 &&
        counts.noDirectory + counts.directories == 1 && haveLastName) {
        if (state->archiveNameIsPattern) {
            if (patternHasWildcard(state->currentArchive)) {
                counts.noDirectory = counts.directories = 0;
                result = RC_OK;
                sendMessageUpTo(state, 2,
                                "%s:  cannot find any matches for wildcard specification \"%s\".\n",
                                engineName, archiveName);
            }
        } else {
            std::strcat(state->currentArchive, ".zip");
            counts.noDirectory = counts.directories = 0;
            int r = processArchive(state, true);
            result = r == RC_ISDIR ? RC_NOARCHIVE : r;
            if (r == RC_ABORT) {
                releaseBuffers(state);
                return RC_ABORT;
            }
        }
    }

    if (state->archiveNameIsPattern && state->quietLevel < 3) printSummary(state, counts);
    releaseBuffers(state);
    return result;
}

// --- One archive -----------------------------------------------------------------------

static void closeArchive(EngineState* state) {
    if (state->archiveFile != nullptr) {
        std::fclose(state->archiveFile);
        state->archiveFile = nullptr;
    }
}

static int archiveNotFound(EngineState* state, bool lastChance, bool isDirectory) {
    if (lastChance && state->quietLevel < 3) {
        if (state->noDirectory)
            sendMessage(state,
                        "%s:  cannot find zipfile directory in %s,\n        %sand cannot find %s, period.\n",
                        engineName, state->archiveName, "", state->currentArchive);
        else
            sendMessage(state, "%s:  cannot find either %s or %s.\n", engineName,
                        state->archiveName, state->currentArchive);
    }
    return isDirectory ? RC_ISDIR : RC_NOARCHIVE;
}

static bool atCentralHeader(EngineState* state) {
    uint8_t signature[4];
    return readBytes(state, signature, 4) == 4 &&
           std::memcmp(signature, state->signatures.centralHeader, 4) == 0;
}

// Works out the bytes in front of the archive from where the end record was found.
static int applyPrefixCorrection(EngineState* state, int result) {
    EndRecord& end = state->endRecord;
    state->extraBytes = state->realEndOffset - state->expectedEndOffset;
    if (state->extraBytes < 0) {
        sendMessage(state, "error [%s]:  missing %s bytes in zipfile\n  (attempting to process anyway)\n",
                    state->currentArchive, formatNumber(state, uint64_t(-state->extraBytes), true));
        return raiseResult(&result, RC_ERROR);
    }
    if (state->extraBytes > 0 && end.centralDirOffset == 0 && end.centralDirSize != 0) {
        sendMessage(state, "error [%s]:  NULL central directory offset\n  (attempting to process anyway)\n",
                    state->currentArchive);
        end.centralDirOffset = uint64_t(state->extraBytes);  // positive: checked above
        state->extraBytes = 0;
        return raiseResult(&result, RC_ERROR);
    }
    if (state->extraBytes > 0) {
        sendMessage(state,
                    "warning [%s]:  %s extra byte%s at beginning or within zipfile\n  (attempting to process anyway)\n",
                    state->currentArchive, formatNumber(state, uint64_t(state->extraBytes), true),
                    state->extraBytes == 1 ? "" : "s");
        return raiseResult(&result, RC_WARNING);
    }
    return result;
}

static int runMode(EngineState* state) {
    if (state->detailedInfo) return reportEntries(state);
    if (state->listMode && !state->testOnly && !state->writeToConsole) return listEntries(state);
    return extractEntries(state);
}

int processArchive(EngineState* state, bool lastChance) {
    FileStatus status;
    if (fileStatus(state, state->currentArchive, &status) != 0)
        return archiveNotFound(state, lastChance, false);
    if ((status.mode & MODE_TYPE_MASK) == MODE_DIRECTORY)
        return archiveNotFound(state, lastChance, true);
    state->archiveLength = status.size;
    const bool executable = (status.mode & MODE_OWNER_EXECUTE) != 0;

    state->archiveFile = std::fopen(state->currentArchive, "rb");
    if (state->archiveFile == nullptr) {
        sendMessage(state, "error:  cannot open zipfile [ %s ]\n        %s\n", state->currentArchive,
                    std::strerror(errno));
        return RC_NOARCHIVE;
    }
    // Whole blocks are read at once; the stream's own buffer would only copy them twice.
    std::setvbuf(state->archiveFile, nullptr, _IONBF, 0);
    forgetInputBlock(state);
    state->extraBytes = 0;

    const int64_t searchLength =
        state->archiveLength < uint64_t(END_SEARCH_WINDOW) ? int64_t(state->archiveLength) : END_SEARCH_WINDOW;
    int r = findEndRecord(state, searchLength);
    if (r > RC_WARNING) {
        closeArchive(state);
        if (executable)
            sendMessage(state, "note:  %s may be a plain executable, not an archive\n",
                        state->currentArchive);
        if (lastChance) return r;
        state->noDirectory = true;
        return RC_NOARCHIVE;
    }
    if (state->showComment) {
        closeArchive(state);
        return r;
    }
    if (state->endRecord.thisDisk != 0) {
        sendMessage(state,
                    "warning [%s]:  zipfile claims to be last disk of a multi-part archive;\n"
                    "  attempting to process anyway, assuming all parts have been concatenated\n"
                    "  together in order.  Expect \"errors\" and warnings...true multi-part support\n"
                    "  doesn't exist yet (coming soon).\n",
                    state->currentArchive);
        r = RC_WARNING;
    }
    r = applyPrefixCorrection(state, r);

    const EndRecord& end = state->endRecord;
    if (state->expectedEndOffset == 0 && end.centralDirSize == 0) {
        sendMessage(state, "warning [%s]:  zipfile is empty\n", state->currentArchive);
        closeArchive(state);
        return raiseResult(&r, RC_WARNING);
    }

    int s = seekArchive(state, claimedOffset(end.centralDirOffset));
    if (s == RC_FATAL) {
        closeArchive(state);
        return s;
    }
    if (!(s == RC_OK && atCentralHeader(state))) {
        // The directory is not where the correction puts it: perhaps the correction
        // itself is wrong, because the recorded directory size was too large.
        int64_t formerExtraBytes = state->extraBytes;
        state->extraBytes = 0;
        s = seekArchive(state, claimedOffset(end.centralDirOffset));
        if (s == RC_OK && atCentralHeader(state)) {
            sendMessage(state,
                        "error [%s]:  reported length of central directory is\n"
                        "  %s bytes too long (Atari STZip zipfile?  Tarvik ZIPSPLIT 1.1\n"
                        "  zipfile?).  Compensating...\n",
                        state->currentArchive, formatNumber(state, uint64_t(-formerExtraBytes), true));
            raiseResult(&r, RC_ERROR);
        } else {
            if (s != RC_FATAL)
                sendMessage(state, "error [%s]:  start of central directory not found;\n  zipfile corrupt.\n%s",
                            state->currentArchive, pleaseCheckNote);
            closeArchive(state);
            return s == RC_OK ? RC_FATAL : s;
        }
    }

    s = seekArchive(state, claimedOffset(end.centralDirOffset));
    if (s != RC_OK) {
        closeArchive(state);
        return s;
    }
    raiseResult(&r, runMode(state));
    closeArchive(state);
    return r;
}

// --- The end records ------------------------------------------------------------------

// Scans block positions `from` down to 0 for a signature; a match needs the "P" first,
// so most positions cost one comparison.
static int scanBlock(const EngineState* state, int from, const uint8_t* signature) {
    for (int position = from; position >= 0; --position)
        if (state->inputBuffer[position] == 'P' &&
            std::memcmp(state->inputBuffer + position, signature, 4) == 0)
            return position;
    return -1;
}

// Read `count` bytes at file offset `offset` into `buffer`; false when fewer arrive.
static bool readAt(EngineState* state, int64_t offset, void* buffer, std::size_t count) {
    return seekFile(state->archiveFile, offset) &&
           std::fread(buffer, 1, count, state->archiveFile) == count;
}

int scanForSignature(EngineState* state, int64_t searchLength, const uint8_t* signature,
                     int recordSize) {
    const int64_t tail = int64_t(state->archiveLength % READ_BLOCK);
    uint8_t* spare = state->inputBuffer + READ_BLOCK;
    bool tailRead = false;
    if (tail > recordSize) {
        state->bufferStart = int64_t(state->archiveLength) - tail;
        if (!readAt(state, state->bufferStart, state->inputBuffer, std::size_t(tail))) return 2;
        int position = scanBlock(state, int(tail) - (recordSize + 4), signature);
        if (position >= 0) {
            state->inputPos = state->inputBuffer + position;
            state->inputCount = int(tail) - position;
            return 0;
        }
        tailRead = true;
    } else {
        state->bufferStart = int64_t(state->archiveLength) - tail;
    }
    // Without a block read after it, the spare bytes hold nothing of the file; make
    // sure they cannot complete a signature.
    if (tailRead)
        std::memcpy(spare, state->inputBuffer, 3);
    else
        std::memset(spare, 0, INPUT_SPARE);

    const int64_t blocks = (searchLength - tail + READ_BLOCK - 1) / READ_BLOCK;
    for (int64_t i = 0; i < blocks; ++i) {
        state->bufferStart -= READ_BLOCK;
        if (state->bufferStart < 0) break;
        if (!readAt(state, state->bufferStart, state->inputBuffer, READ_BLOCK)) return 2;
        int position = scanBlock(state, READ_BLOCK - 1, signature);
        if (position >= 0) {
            state->inputPos = state->inputBuffer + position;
            state->inputCount = READ_BLOCK - position;
            return 0;
        }
        std::memcpy(spare, state->inputBuffer, 3);
    }
    return 1;
}

int findEndRecord(EngineState* state, int64_t searchLength) {
    bool found = false;
    if (state->archiveLength <= uint64_t(READ_BLOCK)) {
        const int length = int(state->archiveLength);
        state->bufferStart = 0;
        if (readAt(state, 0, state->inputBuffer, std::size_t(length)) &&
            length >= int(END_RECORD_SIZE)) {
            int position = scanBlock(state, length - int(END_RECORD_SIZE), state->signatures.endRecord);
            if (position >= 0) {
                state->inputPos = state->inputBuffer + position;
                state->inputCount = length - position;
                found = true;
            }
        }
    } else {
        found = scanForSignature(state, searchLength, state->signatures.endRecord,
                                 END_RECORD_MIN_TAIL) == 0;
    }
    if (!found) {
        if (state->quietLevel > 0) sendMessage(state, "[%s]\n", state->currentArchive);
        sendMessage(state,
                    "  End-of-central-directory signature not found.  Either this file is not\n"
                    "  a zipfile, or it constitutes one disk of a multi-part archive.  In the\n"
                    "  latter case the central directory and zipfile comment will be found on\n"
                    "  the last disk(s) of this archive.\n");
        forgetInputBlock(state);
        return RC_ERROR;
    }
    state->realEndOffset = state->bufferStart + (state->inputPos - state->inputBuffer);

    uint8_t b[END_RECORD_SIZE];
    if (readBytes(state, b, END_RECORD_SIZE) != END_RECORD_SIZE) return RC_EOF;
    EndRecord& end = state->endRecord;
    end = EndRecord{};
    end.thisDisk = getLe16(b + 4);
    end.centralDirDisk = getLe16(b + 6);
    end.entriesOnDisk = getLe16(b + 8);
    end.totalEntries = getLe16(b + 10);
    end.centralDirSize = getLe32(b + 12);
    end.centralDirOffset = getLe32(b + 16);
    end.archiveCommentLength = getLe16(b + 20);

    int c = handleArchiveComment(state);
    if (c > RC_WARNING) return c;
    int z = findZip64End(state);
    if (z != RC_OK) return raiseResult(&c, z);
    state->expectedEndOffset = claimedOffset(end.centralDirOffset) + claimedOffset(end.centralDirSize);
    return c;
}

static int zip64ReadFailure(EngineState* state) {
    if (state->quietLevel > 0) sendMessage(state, "[%s]\n", state->currentArchive);
    sendMessage(state,
                "fatal error: read failure while seeking for End-of-centdir-64 signature.\n"
                "  This zipfile is corrupt.\n");
    return RC_ERROR;
}

int findZip64End(EngineState* state) {
    const int64_t locatorAt = state->realEndOffset - int64_t(ZIP64_LOCATOR_SIZE);
    if (locatorAt < 0) return RC_OK;
    // These reads bypass the block buffer; it must be loaded afresh afterwards.
    forgetInputBlock(state);
    uint8_t locator[ZIP64_LOCATOR_SIZE];
    if (!readAt(state, locatorAt, locator, sizeof locator)) return zip64ReadFailure(state);
    if (std::memcmp(locator, state->signatures.zip64Locator, 4) != 0) return RC_OK;

    EndRecord& end = state->endRecord;
    const uint32_t locatorDisk = getLe32(locator + 4);
    const uint64_t recordOffset = getLe64(locator + 8);
    const uint32_t totalDisks = getLe32(locator + 16);
    if (end.thisDisk != ZIP64_MARK16 && end.thisDisk != totalDisks - 1) return RC_OK;
    if (recordOffset > uint64_t(locatorAt)) return zip64ReadFailure(state);

    int64_t recordAt = int64_t(recordOffset);
    uint8_t record[ZIP64_END_RECORD_READ];
    if (!readAt(state, recordAt, record, sizeof record)) return zip64ReadFailure(state);
    if (std::memcmp(record, state->signatures.zip64EndRecord, 4) != 0) {
        // Bytes in front of the archive shift the record away from the offset the
        // locator gives; it normally sits right before the locator.
        recordAt = locatorAt - int64_t(ZIP64_END_RECORD_READ);
        if (recordAt < 0 || !readAt(state, recordAt, record, sizeof record) ||
            std::memcmp(record, state->signatures.zip64EndRecord, 4) != 0)
            return zip64ReadFailure(state);
        if (state->quietLevel > 0) sendMessage(state, "[%s]\n", state->currentArchive);
        sendMessage(state,
                    "error: End-of-centdir-64 signature not where expected (prepended bytes?)\n"
                    "  (attempting to process anyway)\n");
    }

    const uint32_t recordDisk = getLe32(record + 16);
    const uint32_t directoryDisk = getLe32(record + 20);
    const uint64_t entriesOnDisk = getLe64(record + 24);
    const uint64_t totalEntries = getLe64(record + 32);
    const uint64_t directorySize = getLe64(record + 40);
    const uint64_t directoryOffset = getLe64(record + 48);
    if (recordDisk != locatorDisk) return RC_OK;
    if (end.centralDirDisk != ZIP64_MARK16 && end.centralDirDisk != directoryDisk) return RC_OK;
    if (end.entriesOnDisk != ZIP64_MARK16 && end.entriesOnDisk != entriesOnDisk) return RC_OK;
    if (end.totalEntries != ZIP64_MARK16 && end.totalEntries != totalEntries) return RC_OK;
    if (end.centralDirSize != ZIP64_MARK32 && end.centralDirSize != directorySize) return RC_OK;
    if (end.centralDirOffset != ZIP64_MARK32 && end.centralDirOffset != directoryOffset) return RC_OK;

    state->realEndOffset = recordAt;
    end.hasZip64End = true;
    auto take = [&end](auto& field, uint64_t marker, uint64_t value) {
        if (field != marker) return;
        field = static_cast<std::remove_reference_t<decltype(field)>>(value);
        if (value != marker) end.isZip64 = true;
    };
    take(end.thisDisk, ZIP64_MARK16, locatorDisk);
    take(end.centralDirDisk, ZIP64_MARK16, directoryDisk);
    take(end.entriesOnDisk, ZIP64_MARK16, entriesOnDisk);
    take(end.totalEntries, ZIP64_MARK16, totalEntries);
    take(end.centralDirSize, ZIP64_MARK32, directorySize);
    take(end.centralDirOffset, ZIP64_MARK32, directoryOffset);
    return RC_OK;
}

int handleArchiveComment(EngineState* state) {
    state->callbacks->commentLength = state->endRecord.archiveCommentLength;
    if (state->showComment && state->endRecord.archiveCommentLength != 0) {
        if (readField(state, state->endRecord.archiveCommentLength, FIELD_SHOW) != RC_OK) {
            sendMessage(state, "\ncaution:  zipfile comment truncated\n");
            return RC_WARNING;
        }
    }
    return RC_OK;
}
