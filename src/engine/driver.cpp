// The extraction driver: walks the central directory, selects entries, and has the
// output stage extract (or test, or write to the console) each one.
//
// The directory is read once, sequentially, in blocks of at most kEntryTableSize
// accepted entries; the entries of a block are then extracted in directory order,
// each reached with one seek, and the reader is put back exactly where the walk
// stopped before the next block is read. So memory stays fixed whatever the number of
// entries, and the directory costs one extra block read per block of entries.
//
// Results: a step either raises the running result (the larger code stays) or sets
// it outright where the archive is found damaged; raiseResult and the plain
// assignments below are the two shapes. The running result lives in the state
// (runResult) because the output stage raises it too.
//
// Everything the walk allocates hangs off the state, so that a run that ends early
// (a failed read, a callback's stop) loses nothing: releaseDriverState frees it.
#include "engine/driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/central_walk.h"
#include "engine/crc32.h"
#include "engine/decode_ahead.h"
#include "engine/decrypt.h"
#include "engine/fields.h"
#include "engine/messages.h"
#include "engine/directory_records.h"
#include "engine/extract_entry.h"
#include "engine/known_folder.h"
#include "engine/output_files.h"
#include "engine/output_names.h"
#include "engine/patterns.h"
#include "engine/reader.h"
#include "engine/records.h"
#include "engine/result.h"
#include "engine/state.h"
#include "platform/outputfile.h"

namespace {

// Highest "version needed to extract" the engine handles: 4.5, and 4.2 for VMS.
constexpr unsigned kVersionCanDo = 45;
constexpr unsigned kVmsVersionCanDo = 42;
// Bytes of the encryption header counted in the compressed size of an encrypted entry.
constexpr uint64_t kEncryptionHeader = 12;

// The walk over one archive's directory; lives for one extractEntries call.
struct Walk {
    CentralWalk central;      // central headers read, selected or not
    unsigned long blockBase;  // kEntryTableSize times the finished blocks (for messages)
    unsigned long handedOver; // entries given to extractBlock, all blocks
    unsigned long skipped;    // entries refused by storeEntryInfo
    unsigned long passwordSkips;
    bool endReached;
    bool stoppedEarly;
    int64_t keptCorrection;   // a former extraBytes set aside by re-compensation
};

// The central name kept for the entry, or nullptr.
const char* keptCentralName(const EngineState* state, const EntryInfo* entry) {
    return entry->centralName == 0 ? nullptr : state->centralNames + (entry->centralName - 1);
}

// Keeps the current entry name as the entry's central name; false without memory.
bool keepCentralName(EngineState* state, EntryInfo* entry) {
    entry->centralName = 0;
    const size_t size = std::strlen(state->entryName) + 1;
    if (state->centralNamesUsed + size > state->centralNamesCapacity) {
        size_t capacity = state->centralNamesCapacity > 0 ? 2 * state->centralNamesCapacity : 4096;
        while (capacity < state->centralNamesUsed + size) capacity *= 2;
        char* grown = static_cast<char*>(std::realloc(state->centralNames, capacity));
        if (grown == nullptr) return false;
        state->centralNames = grown;
        state->centralNamesCapacity = capacity;
    }
    std::memcpy(state->centralNames + state->centralNamesUsed, state->entryName, size);
    entry->centralName = uint32_t(state->centralNamesUsed + 1);
    state->centralNamesUsed += size;
    return true;
}

// Selection by the caller's patterns: wanted when an include pattern matches (or there
// are none), and then dropped by the first exclude pattern that matches.
bool entryWanted(EngineState* state) {
    if (state->processAll) return true;
    const char* name = state->entryName;
    bool wanted = state->includeCount == 0;
    for (int i = 0; i < state->includeCount; ++i) {
        if (matchPattern(name, state->includePatterns[i], state->caseInsensitive)) {
            if (state->includeMatched != nullptr) state->includeMatched[i] = true;
            wanted = true;
            break;
        }
    }
    if (!wanted) return false;
    for (int i = 0; i < state->excludeCount; ++i) {
        if (matchPattern(name, state->excludePatterns[i], state->caseInsensitive)) {
            if (state->excludeMatched != nullptr) state->excludeMatched[i] = true;
            return false;
        }
    }
    return true;
}

// Asks whether an entry stored in VMS format is to be extracted anyway. The answer comes
// from the caller's overwrite question, like every answer the engine needs: yes (or
// all) extracts; no, none or a new name refuses. The name is handed over in a copy, so
// that the answer cannot rename the entry.
bool vmsAnswerYes(EngineState* state) {
    char shown[PRINTABLE_NAME_SIZE];
    sendMessage(state, "\n%s:  stored in VMS format.  Extract anyway? (y/n) ",
                shownName(state->entryName, shown));
    UnzipAskReplace askReplace = state->callbacks->askReplace;
    if (askReplace == nullptr) return false;
    forgetKnownFolder(state);  // while the question waits, the user may change the tree
    char name[ENTRY_NAME_SIZE];
    std::memcpy(name, state->entryName, sizeof name);
    int answer = askReplace(name, int(sizeof name));
    return answer != REPLACE_NO && answer != REPLACE_NONE && answer != REPLACE_RENAME;
}

void badOffset(EngineState* state, const Walk& walk, const char* what, int64_t offset) {
    sendMessage(state, "file #%lu:  bad zipfile offset (%s):  %s\n", walk.handedOver, what,
                formatNumber(state, uint64_t(offset), true));
}

void seekBeforeStart(EngineState* state) {
    sendMessage(state, "error [%s]:  attempt to seek before beginning of zipfile\n%s",
                state->currentArchive, pleaseCheckNote);
}

// Finds the current entry's local header signature, with a second try without (or
// with) the correction for bytes in front of the archive. Answers true when the reader
// stands after the signature; otherwise the result has been set.
bool findLocalHeader(EngineState* state, Walk& walk) {
    EntryInfo* entry = state->currentEntry;
    int& result = state->runResult;
    const bool firstEntry = walk.handedOver == 1;

    int64_t request = entry->localOffset + state->extraBytes;
    if (request < 0) {
        seekBeforeStart(state);
        result = RC_ERROR;
        if (!(firstEntry && state->extraBytes != 0)) {
            result = RC_FATAL;
            return false;
        }
        sendMessage(state, "  (attempting to re-compensate)\n");
        walk.keptCorrection = state->extraBytes;
        state->extraBytes = 0;
        request = entry->localOffset;
        if (request < 0) {
            seekBeforeStart(state);
            result = RC_FATAL;
            return false;
        }
    }

    if (seekArchive(state, entry->localOffset) != RC_OK) {
        badOffset(state, walk, "lseek", request - request % READ_BLOCK);
        result = RC_FATAL;
        return false;
    }
    uint8_t signature[4];
    if (readBytes(state, signature, 4) != 4) {
        badOffset(state, walk, "EOF", request);
        result = RC_FATAL;
        return false;
    }
    if (sameSignature(signature, state->signatures.localHeader)) return true;

    badOffset(state, walk, "local header sig", request);
    result = RC_ERROR;
    bool retry = (firstEntry && state->extraBytes != 0) ||
                 (state->extraBytes == 0 && walk.keptCorrection != 0);
    if (!retry) return false;
    sendMessage(state, "  (attempting to re-compensate)\n");
    if (state->extraBytes != 0) {
        walk.keptCorrection = state->extraBytes;
        state->extraBytes = 0;
    } else {
        state->extraBytes = walk.keptCorrection;
    }
    int sought = seekArchive(state, entry->localOffset);
    if (sought == RC_FATAL) {
        result = RC_FATAL;
        return false;
    }
    if (sought != RC_OK || readBytes(state, signature, 4) != 4) {
        badOffset(state, walk, "EOF", request);
        result = RC_FATAL;
        return false;
    }
    if (!sameSignature(signature, state->signatures.localHeader)) {
        badOffset(state, walk, "local header sig", request);
        result = RC_FATAL;
        return false;
    }
    return true;
}

// Reads the local header and compares it with the central directory. False when the
// entry cannot be extracted (the result has been set or raised).
bool readAndCheckLocalHeader(EngineState* state, Walk& walk) {
    EntryInfo* entry = state->currentEntry;
    int& result = state->runResult;
    char name[PRINTABLE_NAME_SIZE];
    char other[PRINTABLE_NAME_SIZE];

    int read = readLocalHeader(state);
    if (read != RC_OK) {
        sendMessage(state, "file #%lu:  bad local header\n", walk.handedOver);
        result = read;
        return false;
    }
    if (((state->local.flags & FLAG_UTF8) != 0) != entry->nameIsUtf8) {
        const char* kept = keptCentralName(state, entry);
        const char* centralName = kept != nullptr ? kept : state->entryName;
        sendMessageUpTo(state, 0,
                        "file #%lu (%s):\n         mismatch between local and central GPF bit "
                        "11 (\"UTF-8\"),\n         continuing with central flag (IsUTF8 = %d)\n",
                        walk.handedOver, shownName(centralName, name), entry->nameIsUtf8 ? 1 : 0);
        raiseResult(&result, RC_WARNING);
    }

    if (!readNameAndExtra(state, state->local.nameLength, state->local.extraLength,
                          FIELD_LOCAL_NAME, "local", &state->runResult))
        return false;

    if (const char* centralName = keptCentralName(state, entry)) {
        if (std::strcmp(centralName, state->entryName) != 0) {
            sendMessage(state,
                        "%s:  mismatching \"local\" filename (%s),\n         continuing with "
                        "\"central\" filename version\n",
                        shownName(centralName, name), shownName(state->entryName, other));
            std::strcpy(state->entryName, centralName);
            raiseResult(&result, RC_WARNING);
        }
    }

    LocalHeader& local = state->local;
    if (local.method == 0) {
        uint64_t expected = local.compressedSize;
        if (entry->encrypted) expected -= expected >= kEncryptionHeader ? kEncryptionHeader : expected;
        if (local.uncompressedSize != expected) {
            sendMessage(state,
                        "%s:  ucsize %s <> csize %s for STORED entry\n         continuing "
                        "with \"compressed\" size value\n",
                        shownName(state->entryName, name),
                        formatNumber(state, local.uncompressedSize, false),
                        formatNumber(state, expected, false));
            local.uncompressedSize = expected;
            raiseResult(&result, RC_WARNING);
        }
    }
    return true;
}

// Records the current entry's bytes, from its local header to the end of its data, as
// used. False, after a message and with the result raised, when they overlap bytes used
// before: the archive is then invalid, and nothing is written for the entry.
bool claimEntryData(EngineState* state) {
    const int64_t headerStart = state->currentEntry->localOffset + state->extraBytes;
    const int64_t dataStart = currentArchiveOffset(state) + state->extraBytes;
    const int64_t dataEnd = dataStart + claimedOffset(state->local.compressedSize);
    RangeClaim claim = claimRange(&state->usedRanges, headerStart, dataEnd);
    if (claim == RANGE_CLAIMED) return true;
    char name[PRINTABLE_NAME_SIZE];
    if (claim == RANGE_NO_MEMORY) {
        sendMessage(state, "error:  not enough memory to check the data of %s\n",
                    shownName(state->entryName, name));
        raiseResult(&state->runResult, RC_NOMEM);
        return false;
    }
    sendMessage(state,
                "error [%s]:  invalid zipfile: the data of %s overlap data used before\n"
                "  (possibly a zip bomb); skipped\n",
                state->currentArchive, shownName(state->entryName, name));
    raiseResult(&state->runResult, RC_ERROR);
    return false;
}

// Extracts the accepted entries of one block, in directory order.
int extractBlockEntries(EngineState* state, unsigned count, Walk& walk) {
    int& result = state->runResult;
    char name[PRINTABLE_NAME_SIZE];
    for (unsigned slot = 0; slot < count; ++slot) {
        decodeAheadBefore(state, slot);
        ++walk.handedOver;
        state->currentEntry = &state->entryTable[slot];
        EntryInfo* entry = state->currentEntry;

        if (!findLocalHeader(state, walk) || !readAndCheckLocalHeader(state, walk)) continue;
        if (!claimEntryData(state)) continue;

        if (entry->encrypted) {
            int decryption = prepareDecryption(state);
            if (decryption == DECRYPT_WRONG_PASSWORD) {
                sendMessageUpTo(state, 0, "   skipping: %-22s  incorrect password\n",
                                shownName(state->entryName, name));
                ++walk.passwordSkips;
                continue;
            }
            if (decryption != 0) {
                raiseResult(&result, decryption);
                sendMessage(state, "   skipping: %-22s  unable to get password\n",
                            shownName(state->entryName, name));
                continue;
            }
        }

        if (!state->testOnly && !state->writeToConsole && !prepareOutput(state)) continue;

        if (raiseStatus(state, STATUS_ENTRY_START, state->entryName, 0) != 0) {
            discardOutputFile(state);  // a file already created for the entry goes again
            return RC_ABORT;
        }

        state->diskFull = 0;
        int extracted = extractEntry(state);
        if (state->readFailed) return RC_FATAL;  // the run ends here, see extractEntries
        if (extracted == RC_ABORT) return RC_ABORT;
        if (extracted != RC_OK) {
            raiseResult(&result, extracted);
            if (state->diskFull > 1) return result;
        }

        if (raiseStatus(state, STATUS_ENTRY_DONE, state->entryName,
                        state->local.uncompressedSize) != 0)
            return RC_ABORT;
    }
    return result;
}

int extractBlock(EngineState* state, unsigned count, Walk& walk) {
    beginDecodingAhead(state, count);
    const int result = extractBlockEntries(state, count, walk);
    endDecodingAhead(state);
    return result;
}

// Reads central headers into the table until a block is full or the directory ends.
unsigned readBlock(EngineState* state, Walk& walk) {
    unsigned accepted = 0;
    state->centralNamesUsed = 0;  // the names of the block before have served
    while (accepted < kEntryTableSize) {
        state->currentEntry = &state->entryTable[accepted];
        CentralStep step = nextCentralEntry(state, &walk.central, walk.blockBase + accepted + 1,
                                            &state->runResult);
        if (step != CENTRAL_ENTRY) {
            walk.endReached = true;
            break;
        }
        readField(state, state->central.entryCommentLength, FIELD_SKIP);
        if (entryWanted(state)) {
            if (storeEntryInfo(state))
                ++accepted;
            else
                ++walk.skipped;
        }
    }
    return accepted;
}

int compareDirectoriesDescending(const void* a, const void* b) {
    const auto* left = *static_cast<DirectoryRecord* const*>(a);
    const auto* right = *static_cast<DirectoryRecord* const*>(b);
    return -std::strcmp(left->path, right->path);  // strcmp compares unsigned bytes
}

void releaseDirectoryRecords(EngineState* state) {
    while (state->directoryRecords != nullptr) {
        DirectoryRecord* next = state->directoryRecords->next;
        std::free(state->directoryRecords);
        state->directoryRecords = next;
    }
    state->directoryCount = 0;
    std::free(state->directorySort);
    state->directorySort = nullptr;
}

// Applies the deferred directory attributes, each directory before the one holding it.
void applyDeferredDirectories(EngineState* state) {
    int& result = state->runResult;
    unsigned long count = state->directoryCount;
    if (count == 0) return;
    state->directorySort =
        static_cast<DirectoryRecord**>(std::malloc(count * sizeof(DirectoryRecord*)));
    if (state->directorySort == nullptr) {
        sendMessage(state, "warning:  cannot alloc memory to sort dir times/perms/etc.\n");
        releaseDirectoryRecords(state);
        return;
    }
    unsigned long i = 0;
    for (DirectoryRecord* r = state->directoryRecords; r != nullptr; r = r->next)
        state->directorySort[i++] = r;
    if (count > 1)
        std::qsort(state->directorySort, count, sizeof(DirectoryRecord*),
                   compareDirectoriesDescending);
    unsigned long failures = 0;
    char name[PRINTABLE_NAME_SIZE];
    for (i = 0; i < count; ++i) {
        int applied = applyDirectoryAttributes(state, state->directorySort[i]);
        if (applied != RC_OK) {
            ++failures;
            sendMessage(state, "warning:  set times/attribs failed for %s\n",
                        shownName(state->directorySort[i]->path, name));
            if (result == RC_OK) result = applied;
        }
    }
    releaseDirectoryRecords(state);
    if (!state->testOnly && state->quietLevel == 0 && failures > 0)
        sendMessage(state, "     failed setting times/attribs for %lu dir entries", failures);
}

void reportUnmatchedPatterns(EngineState* state, const Walk& walk) {
    if (walk.endReached && state->includeMatched != nullptr) {
        for (int i = 0; i < state->includeCount; ++i) {
            if (state->includeMatched[i]) continue;
            sendMessage(state, "caution: filename not matched:  %s\n", state->includePatterns[i]);
            if (state->runResult <= RC_WARNING) state->runResult = RC_NOMATCH;
        }
    }
    if (walk.endReached && state->excludeMatched != nullptr) {
        for (int i = 0; i < state->excludeCount; ++i)
            if (!state->excludeMatched[i])
                sendMessage(state, "caution: excluded filename not matched:  %s\n",
                            state->excludePatterns[i]);
    }
    std::free(state->includeMatched);
    std::free(state->excludeMatched);
    state->includeMatched = nullptr;
    state->excludeMatched = nullptr;
}

void reportTestSummary(EngineState* state, const Walk& walk) {
    int result = state->runResult;
    unsigned long tested = walk.handedOver - walk.passwordSkips;
    if (result != RC_OK) {
        sendMessage(state, "At least one %serror was detected in %s.\n",
                    result == RC_WARNING ? "warning-" : "", state->currentArchive);
    } else if (tested == 0) {
        sendMessage(state, "Caution:  zero files tested in %s.\n", state->currentArchive);
    } else if (state->processAll && walk.skipped == 0 && walk.passwordSkips == 0) {
        sendMessage(state, "No errors detected in compressed data of %s.\n",
                    state->currentArchive);
    } else {
        sendMessage(state, "No errors detected in %s for the %lu file%s tested.\n",
                    state->currentArchive, tested, tested == 1 ? "" : "s");
    }
    if (walk.skipped > 0)
        sendMessage(state, "%lu file%s skipped because of unsupported compression or encoding.\n",
                    walk.skipped, walk.skipped == 1 ? "" : "s");
    if (walk.passwordSkips > 0)
        sendMessage(state, "%lu file%s skipped because of incorrect password.\n",
                    walk.passwordSkips, walk.passwordSkips == 1 ? "" : "s");
}

int finalResult(const EngineState* state, const Walk& walk) {
    int result = state->runResult;
    if (walk.handedOver == 0 && result <= RC_WARNING)
        return walk.skipped > 0 ? RC_UNSUPPORTED : RC_NOMATCH;
    if (walk.passwordSkips == walk.handedOver && result <= RC_WARNING) return RC_BADPASSWORD;
    if (walk.skipped > 0 && result <= RC_WARNING) return RC_UNSUPPORTED;
    if (walk.passwordSkips > 0 && result == RC_OK) return RC_WARNING;
    return result;
}

} // namespace

int storeEntryInfo(EngineState* state) {
    EntryInfo* entry = state->currentEntry;
    const CentralHeader& central = state->central;
    char name[PRINTABLE_NAME_SIZE];

    entry->encrypted = (central.flags & FLAG_ENCRYPTED) != 0;
    entry->hasDataDescriptor = (central.flags & FLAG_DATA_DESCRIPTOR) != 0;
    entry->isText = (central.internalAttributes & 1) != 0;
    entry->crc = central.crc;
    entry->compressedSize = central.compressedSize;
    entry->uncompressedSize = central.uncompressedSize;
    entry->textMode = state->convertText == 0 ? false
                      : state->convertText == 1 ? entry->isText
                                                : true;

    bool vms = central.neededHost == HOST_VMS;
    bool versionRefused = vms ? central.neededVersion > kVmsVersionCanDo
                              : central.neededVersion > kVersionCanDo;
    if (!versionRefused && vms && !state->testOnly && state->overwriteMode != OVERWRITE_ALWAYS)
        versionRefused = !vmsAnswerYes(state);
    if (versionRefused) {
        unsigned canDo = vms ? kVmsVersionCanDo : kVersionCanDo;
        sendMessageUpTo(state, 0, "   skipping: %-22s  need %s compat. v%u.%u (can do v%u.%u)\n",
                        shownName(state->entryName, name), vms ? "VMS" : "PK",
                        central.neededVersion / 10u, central.neededVersion % 10u, canDo / 10,
                        canDo % 10);
        return 0;
    }

    const MethodInfo* method = findMethod(central.method);
    if (method == nullptr || !method->extracted) {
        if (method != nullptr)
            sendMessageUpTo(state, 0, "   skipping: %-22s  `%s' method not supported\n",
                            shownName(state->entryName, name), method->skipName);
        else
            sendMessageUpTo(state, 0, "   skipping: %-22s  unsupported compression method %u\n",
                            shownName(state->entryName, name), unsigned(central.method));
        return 0;
    }

    if (!keepCentralName(state, entry))
        sendMessage(state, "%s:  warning, no memory for comparison with local header\n",
                    shownName(state->entryName, name));
    mapAttributes(state);
    entry->diskStart = central.diskStart;
    // Capped like every other offset the archive claims, so that adding the correction
    // for bytes in front of the archive cannot overflow; a capped offset reads as nothing.
    entry->localOffset = claimedOffset(central.localOffset);
    return 1;
}

int extractEntries(EngineState* state) {
    if (getCrcTable() == nullptr) return RC_NOMEM;
    state->runResult = RC_OK;

    if (state->extractMode && state->targetDirectory != nullptr) {
        state->createDirs = !state->freshenOnly;
        char target[ARCHIVE_NAME_SIZE];
        std::snprintf(target, sizeof target, "%s", state->targetDirectory);
        int status = buildPath(state, target, PATH_SETROOT);
        if (status > MAP_SKIP) return status == MAP_NOMEM ? RC_NOMEM : RC_ERROR;
        // Freshening into a target that does not exist has nothing to replace; going on
        // would freshen the files of the current directory instead.
        if (status == MAP_SKIP) return RC_OK;
    }

    state->currentEntry = &state->entryTable[0];
    state->reportedBackslash = false;
    // Without patterns (processAll) nothing is matched, so nothing can go unmatched.
    if (state->includeCount > 0 && !state->processAll)
        state->includeMatched = static_cast<bool*>(std::calloc(size_t(state->includeCount), 1));
    if (state->excludeCount > 0 && !state->processAll)
        state->excludeMatched = static_cast<bool*>(std::calloc(size_t(state->excludeCount), 1));

    // The reader stands at the directory's start; the directory runs to the end record.
    releaseRanges(&state->usedRanges);
    const int64_t directoryStart = currentArchiveOffset(state) + state->extraBytes;
    const int64_t directoryEnd = state->realEndOffset > directoryStart ? state->realEndOffset
                                                                       : directoryStart + 1;
    if (claimRange(&state->usedRanges, directoryStart, directoryEnd) == RANGE_NO_MEMORY)
        return RC_NOMEM;

    Walk walk{};
    while (!walk.endReached) {
        unsigned accepted = readBlock(state, walk);

        const int64_t savedStart = state->bufferStart;
        const ptrdiff_t savedPos = state->inputPos - state->inputBuffer;
        const int savedCount = state->inputCount;

        int extracted = extractBlock(state, accepted, walk);
        // An archive that cannot be read any more ends the run at once: nothing after
        // the failed entry is extracted, applied or reported.
        if (state->readFailed) return RC_FATAL;
        if (extracted == RC_ABORT) state->runResult = RC_ABORT;
        else raiseResult(&state->runResult, extracted);
        if (extracted == RC_ABORT || state->diskFull > 1) {
            walk.stoppedEarly = true;
            break;
        }
        if (walk.endReached) break;

        // Put the reader back where the directory walk stopped.
        if (!seekFile(state->archiveFile, savedStart) ||
            std::fread(state->inputBuffer, 1, READ_BLOCK, state->archiveFile) == 0) {
            state->runResult = RC_EOF;
            walk.endReached = true;
            break;
        }
        state->bufferStart = savedStart;
        state->bufferBlocks = 1;
        state->blockDeciphered = false;
        state->inputPos = state->inputBuffer + savedPos;
        state->inputCount = savedCount;
        walk.blockBase += kEntryTableSize;
    }
    state->currentEntry = &state->entryTable[0];
    buildPath(state, nullptr, PATH_CLEAR);

    applyDeferredDirectories(state);
    reportUnmatchedPatterns(state, walk);
    if (walk.stoppedEarly) return state->runResult;

    if (walk.central.endNote) {
        sendMessage(state,
                    "\nnote:  didn't find end-of-central-dir signature at end of central dir.\n%s",
                    pleaseCheckNote);
        if (state->runResult == RC_OK) state->runResult = RC_WARNING;
    }
    if (state->testOnly && state->quietLevel < 2) reportTestSummary(state, walk);
    return finalResult(state, walk);
}

void releaseDriverState(EngineState* state) {
    std::free(state->centralNames);
    state->centralNames = nullptr;
    state->centralNamesUsed = 0;
    state->centralNamesCapacity = 0;
    if (state->outputOpen) {
        closeOutputHandle(state->outputHandle);
        state->outputOpen = false;
    }
    buildPath(state, nullptr, PATH_CLEAR);
    releaseDirectoryRecords(state);
    releaseRanges(&state->usedRanges);
    std::free(state->includeMatched);
    std::free(state->excludeMatched);
    state->includeMatched = nullptr;
    state->excludeMatched = nullptr;
}
