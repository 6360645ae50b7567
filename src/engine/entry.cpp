// The engine's single call. Each call builds its own state record on the heap, binds
// the caller's callbacks, copies the options into engine settings, runs the archive
// processing and releases everything again, so that no call can see another's state.
#include "engine/engine.h"

#include <cstdlib>
#include <cstring>

#include "engine/archive.h"
#include "engine/driver.h"
#include "engine/inflate.h"
#include "engine/messages.h"
#include "engine/state.h"
#include "platform/filestatus.h"

// The block holding the copy of the archive name: one per process, because the engine
// serves one call at a time.
static char* archiveNameBlock;

static const char* const defaultIncludes[] = {"*"};
static char emptyName[] = "";

static void doNothing() {}

EngineState* createEngineState() {
    auto* state = static_cast<EngineState*>(std::calloc(1, sizeof(EngineState)));
    if (state == nullptr) return nullptr;
    state->includePatterns = defaultIncludes;
    state->includeCount = 1;
    state->archiveName = emptyName;
    state->currentEntry = &state->entryTable[0];
    return state;
}

int bindCallbacks(EngineState* state, UnzipCallbacks* callbacks) {
    if (callbacks->notifySound == nullptr) callbacks->notifySound = doNothing;
    state->callbacks = callbacks;
    useUserCharacterLocale();
    if (callbacks->printText == nullptr || callbacks->askReplace == nullptr) return RC_FATAL;
    return RC_OK;
}

static void releaseArchiveName(EngineState* state) {
    std::free(archiveNameBlock);
    archiveNameBlock = nullptr;
    state->archiveName = emptyName;
}

int applyOptions(EngineState* state, const UnzipOptions* options) {
    if (options->recordVersion != UNZIP_RECORD_VERSION) return RC_NOMEM;

    state->quietLevel = options->quietLevel;
    state->junkPaths = options->directoryMode == 0;
    state->allowParentDirs = options->directoryMode >= 2;
    state->writeToConsole = options->writeToConsole != 0;
    state->testOnly = options->testOnly != 0;
    state->listMode = options->listMode != 0;
    state->showComment = options->showComment != 0;
    state->convertText = options->convertText;
    state->keepBackup = options->keepBackup != 0;
    state->caseInsensitive = options->caseInsensitive != 0;
    state->timestampMode = options->timestampMode;
    state->unicodeMode = options->unicodeMode;
    state->restoreSecurity = options->restoreSecurity;
    state->underscoreBlanks = options->underscoreBlanks != 0;
    state->freshenOnly = options->freshenOnly != 0;
    state->newerOnly = options->newerOnly != 0;
    state->overwriteAll = options->overwriteAll != 0;
    state->overwriteNone = options->overwriteAll == 0 && options->askBeforeOverwrite == 0;
    state->updateMode = options->newerOnly != 0 || options->freshenOnly != 0;
    state->detailedInfo = options->detailedInfo != 0;
    if (state->detailedInfo) state->quietLevel = 2;
    state->extractMode = !state->detailedInfo && !state->writeToConsole && !state->testOnly &&
                         !state->listMode && !state->showComment;

    state->targetDirectory = nullptr;
    if (state->extractMode && options->targetDirectory != nullptr) {
        if (std::strlen(options->targetDirectory) >= ARCHIVE_NAME_SIZE) return RC_NOMEM;
        state->targetDirectory = options->targetDirectory;
    }

    if (std::strlen(options->archivePath) >= ARCHIVE_NAME_SIZE) return RC_NOMEM;
    archiveNameBlock = static_cast<char*>(std::calloc(1, ARCHIVE_NAME_SIZE));
    if (archiveNameBlock == nullptr) return RC_NOMEM;
    std::strcpy(archiveNameBlock, options->archivePath);
    state->archiveName = archiveNameBlock;
    return RC_OK;
}

// The number of leading non-empty patterns, at most `count`; 0 for an absent list.
static int countPatterns(int count, char** list) {
    if (list == nullptr) return 0;
    int n = 0;
    while (n < count && list[n] != nullptr && list[n][0] != '\0') ++n;
    return n;
}

static bool patternsFit(int count, char** list) {
    for (int i = 0; i < count; ++i)
        if (std::strlen(list[i]) > std::size_t(PATTERN_MAX)) return false;
    return true;
}

int runEngine(EngineState* state, int includeCount, char** includeList, int excludeCount,
              char** excludeList) {
    includeCount = countPatterns(includeCount, includeList);
    excludeCount = countPatterns(excludeCount, excludeList);
    state->processAll = includeCount == 0 && excludeCount == 0;

    if (!patternsFit(includeCount, includeList)) {
        releaseArchiveName(state);
        return RC_PARAM;
    }
    if (includeCount > 0) {
        state->includePatterns = includeList;
        state->includeCount = includeCount;
    }
    if (!patternsFit(excludeCount, excludeList)) {
        releaseArchiveName(state);
        return RC_PARAM;
    }
    if (excludeCount > 0) {
        state->excludePatterns = excludeList;
        state->excludeCount = excludeCount;
    }

    int result = processArchives(state);
    releaseArchiveName(state);
    return result;
}

void releaseEngineState(EngineState* state) {
    releaseDriverState(state);
    releaseFixedTables(state);
    if (state->archiveFile != nullptr) {
        std::fclose(state->archiveFile);
        state->archiveFile = nullptr;
    }
    if (state->wildcardSearch != nullptr) {
        closeDirectorySearch(state->wildcardSearch);
        state->wildcardSearch = nullptr;
    }
    std::free(state->wildcardDirectory);
    state->wildcardDirectory = nullptr;
    std::free(state->inputBuffer);
    state->inputBuffer = nullptr;
    std::free(state->outputBuffer);
    state->outputBuffer = nullptr;
    std::free(state->fullName);
    state->fullName = nullptr;
    std::free(state->extraField);
    state->extraField = nullptr;
    std::free(state->utf8Name);
    state->utf8Name = nullptr;
}

extern "C" int Qz_SingleEntryUnzip(int includeCount, char** includeList, int excludeCount,
                                   char** excludeList, const UnzipOptions* options,
                                   UnzipCallbacks* callbacks) {
    if (options == nullptr || callbacks == nullptr) return RC_FATAL;
    EngineState* state = createEngineState();
    if (state == nullptr) return RC_NOMEM;
    int result = bindCallbacks(state, callbacks);
    if (result == RC_OK) {
        if (options->archivePath == nullptr)
            result = RC_NOARCHIVE;
        else if (applyOptions(state, options) != RC_OK)
            result = RC_NOMEM;
        else
            result = runEngine(state, includeCount, includeList, excludeCount, excludeList);
    }
    if (archiveNameBlock != nullptr) releaseArchiveName(state);
    releaseEngineState(state);
    std::free(state);
    return result;
}
