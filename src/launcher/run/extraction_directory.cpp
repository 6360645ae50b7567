/*
 * The private extraction directory. Its uniqueness comes from the system's temporary-file
 * naming: a unique empty file is made, deleted, and a directory of the same name created
 * in its place with an owner-only access list, so that no other user can read or plant
 * files in the tree the installer runs from.
 *
 * The run prepares twice (8192 bytes first, then the archive's size); the second call
 * recognises the directory of the first by the temporary directory recorded when sfx.ini
 * was extracted, and only repeats the checks.
 *
 * Removal is tolerant: a file another process holds open (a virus scanner, a lingering
 * installer process) is retried for up to five minutes before it is given up, and links
 * inside the tree are deleted as links, never followed out of it.
 */
#include "launcher/run/extraction_directory.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "launcher/app/reporting.h"
#include "launcher/state/run_records.h"
#include "platform/filesystem.h"
#include "platform/sleep.h"

static constexpr uint64_t kBytesPerMegabyte = 1048576;

// Retry policy of removeWithRetry: a file up to 150 times two seconds apart (five minutes
// for a file held open elsewhere), a directory three times a second apart.
static constexpr int kFileAttempts = 150;
static constexpr unsigned kFilePauseMs = 2000;
static constexpr int kDirectoryAttempts = 3;
static constexpr unsigned kDirectoryPauseMs = 1000;

bool directoryExists(const char* path) {
    return path[0] != '\0' && platform::isDirectoryFollowingLinks(path);
}

// Fills m_szTempDirectory from the system unless the command line set it. A value from
// the command line is used exactly as given, trailing separator included.
static bool chooseTempDirectory() {
    if (runPaths.m_szTempDirectory[0] != '\0')
        return true;
    const unsigned long length = platform::systemTempDirectory(runPaths.m_szTempDirectory,
                                                               sizeof runPaths.m_szTempDirectory);
    if (length > sizeof runPaths.m_szTempDirectory) {
        runPaths.m_szTempDirectory[0] = '\0';
        reportError("The length of the temporary directory path is too long (%ld).",
                    static_cast<long>(length));
        return false;
    }
    // The separator of a root ("/", "C:\") stays: without it the name would be empty or
    // name the working directory of a drive.
    const std::size_t end = std::strlen(runPaths.m_szTempDirectory);
    if (end > 1 && runPaths.m_szTempDirectory[end - 1] == PATH_SEP[0] &&
        runPaths.m_szTempDirectory[end - 2] != ':')
        runPaths.m_szTempDirectory[end - 1] = '\0';
    // A failed query leaves the value empty; the existence check then fails.
    return true;
}

static bool hasRoomFor(uint64_t requiredBytes) {
    uint64_t freeBytes = 0;
    // A volume whose free space cannot be measured is treated as full: going on blindly
    // would fail later, half-way through the extraction.
    const bool known = platform::freeBytesAvailable(runPaths.m_szTempDirectory, &freeBytes);
    if (known && freeBytes > requiredBytes)
        return true;
    reportError("The directory %s does not have enough free space. At least %" PRIu64
                " MB are required.\nPlease restart the installer and specify a temporary "
                "directory with sufficient free space.",
                runPaths.m_szTempDirectory, requiredBytes / kBytesPerMegabyte + 1);
    return false;
}

static void logPrivateDirectoryFailure(const platform::PrivateDirectoryResult& result) {
    const unsigned error = static_cast<unsigned>(result.error);
    switch (result.failedStep) {
    case platform::PrivateDirectoryStep::accessList:
        debugLog("SetEntriesInAcl Error %u", error);
        break;
    case platform::PrivateDirectoryStep::descriptorAlloc:
        debugLog("LocalAlloc Security Descriptor Error %u", error);
        break;
    case platform::PrivateDirectoryStep::descriptorInit:
        debugLog("InitializeSecurityDescriptor Error %u", error);
        break;
    case platform::PrivateDirectoryStep::attributesAlloc:
        debugLog("LocalAlloc Attributes Error %u", error);
        break;
    case platform::PrivateDirectoryStep::createDirectory:
    case platform::PrivateDirectoryStep::done:
        break;
    }
}

// Makes the unique directory and enters it; on failure extractPath is cleared.
static bool createExtractionDirectory() {
    switch (platform::createUniqueFile(runPaths.m_szTempDirectory, "sfx", runPaths.extractPath,
                                       sizeof runPaths.extractPath)) {
    case platform::UniqueNameResult::created:
        break;
    case platform::UniqueNameResult::accessDenied:
        reportError("Cannot create a directory under the Windows temporary directory %s. Access "
                    "is denied.\nPlease restart the installer and ensure the temporary "
                    "directory is writable.",
                    runPaths.m_szTempDirectory);
        runPaths.extractPath[0] = '\0';
        return false;
    case platform::UniqueNameResult::failed:
        runPaths.extractPath[0] = '\0';
        return false;
    }
    // Every later step finds the tree by this path after the working directory has moved
    // into it, so a relative temporary directory must not leave it relative.
    char absolutePath[kPathBufferSize];
    const unsigned long length =
        platform::fullPath(runPaths.extractPath, absolutePath, sizeof absolutePath);
    if (length == 0 || length >= sizeof absolutePath) {
        platform::deleteFile(runPaths.extractPath);
        runPaths.extractPath[0] = '\0';
        return false;
    }
    std::memcpy(runPaths.extractPath, absolutePath, length + 1);
    if (platform::deleteFile(runPaths.extractPath) != platform::RemoveResult::removed) {
        runPaths.extractPath[0] = '\0';
        return false;
    }
    const platform::PrivateDirectoryResult created =
        platform::createPrivateDirectory(runPaths.extractPath);
    if (created.failedStep != platform::PrivateDirectoryStep::done) {
        logPrivateDirectoryFailure(created);
        runPaths.extractPath[0] = '\0';
        return false;
    }
    // A directory made but not entered stays behind: with extractPath cleared, the
    // clean-up no longer knows it.
    if (!platform::changeDirectory(runPaths.extractPath)) {
        runPaths.extractPath[0] = '\0';
        return false;
    }
    debugLog("Extract to %s", runPaths.extractPath);
    return true;
}

bool prepareExtractionDirectory(uint64_t requiredBytes) {
    if (runPaths.launcherHome[0] == '\0' &&
        !platform::currentDirectory(runPaths.launcherHome, sizeof runPaths.launcherHome))
        return false;
    if (!chooseTempDirectory())
        return false;
    debugLog("m_szTempDirectory: %s", runPaths.m_szTempDirectory);
    if (!directoryExists(runPaths.m_szTempDirectory)) {
        reportError("The temporary directory %s does not exist.\nPlease restart the installer "
                    "and ensure the temporary directory exists.",
                    runPaths.m_szTempDirectory);
        return false;
    }
    if (!hasRoomFor(requiredBytes))
        return false;
    if (runPaths.descriptorTempDirectory[0] != '\0' &&
        std::strcmp(runPaths.descriptorTempDirectory, runPaths.m_szTempDirectory) == 0) {
        debugLog("Extract to same %s", runPaths.extractPath);
        return true;
    }
    return createExtractionDirectory();
}

void removeExtractionDirectory() {
    // Leave the tree first: a process cannot remove the directory it stands in (Windows).
    if (runPaths.launcherHome[0] != '\0')
        platform::changeDirectory(runPaths.launcherHome);
    if (commandLine.debugMode || runPaths.extractPath[0] == '\0')
        return;
    // Before sfx.ini arrived nothing but our own empty directory can be there.
    if (runPaths.descriptorDirectory[0] == '\0') {
        removeWithRetry(runPaths.extractPath, RemoveKind::directory);
        return;
    }
    removeTree(runPaths.extractPath);
    if (std::strcmp(runPaths.descriptorDirectory, runPaths.extractPath) != 0)
        removeTree(runPaths.descriptorDirectory);
    debugLog("Extract directory %s was deleted", runPaths.extractPath);
}

bool removeTree(const char* path) {
    if (path == nullptr || path[0] == '\0')
        return true;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::listDirectory(path, "*", entries)) {
        removeWithRetry(path, RemoveKind::file);
        return false;
    }
    std::vector<char> entryPath;
    for (const platform::DirectoryEntry& entry : entries) {
        entryPath.resize(std::strlen(path) + entry.name.size() + 2);
        std::snprintf(entryPath.data(), entryPath.size(), "%s" PATH_SEP "%s", path,
                      entry.name.c_str());
        if (entry.attributes.isReadOnly)
            platform::clearReadOnly(entryPath.data());
        // A link is removed as what it is and never walked: its target lies outside the
        // tree and is not ours to delete.
        if (entry.attributes.isLink)
            removeWithRetry(entryPath.data(),
                            entry.attributes.isDirectory ? RemoveKind::directory : RemoveKind::file);
        else if (entry.attributes.isDirectory)
            removeTree(entryPath.data());
        else
            removeWithRetry(entryPath.data(), RemoveKind::file);
    }
    if (platform::fileAttributes(path).isReadOnly)
        platform::clearReadOnly(path);
    return removeWithRetry(path, RemoveKind::directory);
}

bool removeWithRetry(const char* path, RemoveKind kind) {
    const bool isFile = kind == RemoveKind::file;
    const int attempts = isFile ? kFileAttempts : kDirectoryAttempts;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const platform::RemoveResult result =
            isFile ? platform::deleteFile(path) : platform::removeDirectory(path);
        if (result == platform::RemoveResult::removed)
            return true;
        if (result == platform::RemoveResult::sharingViolation)
            platform::sleepMilliseconds(isFile ? kFilePauseMs : kDirectoryPauseMs);
    }
    return false;
}
