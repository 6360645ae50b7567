/*
 * Archive operations: every call builds a fresh option record and callback record on
 * the heap, exactly as the engine's contract asks (caller-owned for one call), and
 * frees both whatever the result. In every call paths inside the archive are kept but
 * ".." is refused, existing files are overwritten without a question, and the engine's
 * messages are dropped: the launcher reports failures in its own words.
 */
#include "launcher/run/archive_ops.h"

#include <cstdio>
#include <memory>

#include "launcher/app/command_line.h"
#include "launcher/app/reporting.h"
#include "launcher/launch/descriptor.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/run/run_state.h"
#include "launcher/run/run_steps.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "quenlow/unzip.h"

namespace {

constexpr const char* kDescriptorName = "sfx.ini";

int dropText(const char* /*text*/, uint32_t length) {
    return static_cast<int>(length);
}

int replaceWithoutAsking(char* /*nameBuffer*/, int /*bufferSize*/) {
    return REPLACE_YES;
}

// Unpacking a runtime jar stops, as the main extraction does, once the run is cancelled.
int keepGoing(const char* /*name*/, uint64_t /*size*/) {
    return isCancelRequested() ? 1 : 0;
}

void addToJarBytes(uint64_t uncompressedSize, uint64_t, unsigned, int, int, int, int, int, char,
                   const char*, const char*, uint32_t, char) {
    runState.javaJarBytes = saturatingAdd(runState.javaJarBytes, uncompressedSize);
}

// The option record every operation starts from; each sets what differs.
std::unique_ptr<UnzipOptions> newOptions(const char* archivePath) {
    auto options = std::make_unique<UnzipOptions>();
    options->recordVersion = UNZIP_RECORD_VERSION;
    options->directoryMode = 1;
    options->overwriteAll = 1;
    options->archivePath = archivePath;
    return options;
}

// The callbacks of the descriptor and jar operations.
std::unique_ptr<UnzipCallbacks> newQuietCallbacks() {
    auto callbacks = std::make_unique<UnzipCallbacks>();
    callbacks->printText = dropText;
    callbacks->askReplace = replaceWithoutAsking;
    callbacks->listEntry = addToJarBytes;
    callbacks->entryDone = keepGoing;
    return callbacks;
}

// The program's own file, read afresh for each use.
bool ownArchive(char* buffer) {
    if (platform::programFile(buffer, kPathBufferSize))
        return true;
    buffer[0] = '\0';
    return false;
}

} // namespace

int extractAutorun(const char* archivePath, const char* destination) {
    debugLog("Extracting %s from %s to %s", kDescriptorName, archivePath, destination);
    char* include[] = {const_cast<char*>(kDescriptorName), nullptr};
    auto options = newOptions(archivePath);
    options->restoreSecurity = 1;
    options->targetDirectory = destination;
    auto callbacks = newQuietCallbacks();
    int result = Qz_SingleEntryUnzip(1, include, 0, nullptr, options.get(), callbacks.get());
    debugLog("Qz_SingleEntryUnzip (extractAutorun) return code: %i", result);
    return result;
}

int extractDescriptor() {
    char archive[kPathBufferSize];
    ownArchive(archive);
    if (extractAutorun(archive, runPaths.extractPath) != RC_OK) {
        debugLog("Failed to extract %s to %s", kDescriptorName, runPaths.extractPath);
        return 1;
    }
    int length = std::snprintf(runPaths.descriptorPath, sizeof runPaths.descriptorPath,
                               "%s" PATH_SEP "%s", runPaths.extractPath, kDescriptorName);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof runPaths.descriptorPath) {
        runPaths.descriptorPath[0] = '\0';
        debugLog("Failed to extract %s to %s", kDescriptorName, runPaths.extractPath);
        return 1;
    }
    std::snprintf(runPaths.descriptorDirectory, sizeof runPaths.descriptorDirectory, "%s",
                  runPaths.extractPath);
    if (platform::profileTooLarge(runPaths.descriptorPath)) {
        reportError("The launch descriptor %s is larger than %llu bytes and cannot be read.",
                    runPaths.descriptorPath,
                    static_cast<unsigned long long>(platform::kProfileSizeLimit));
        return 1;
    }
    std::snprintf(runPaths.descriptorTempDirectory, sizeof runPaths.descriptorTempDirectory, "%s",
                  runPaths.m_szTempDirectory);
    return readTotalBytes() ? 0 : 1;
}

int extractInstallerFiles() {
    char archive[kPathBufferSize];
    ownArchive(archive);
    debugLog("Extracting installer files");
    auto options = newOptions(archive);
    auto callbacks = std::make_unique<UnzipCallbacks>();
    callbacks->printText = dropText;
    callbacks->askReplace = answerReplace;
    callbacks->listEntry = addListedSize;
    callbacks->entryDone = trackExtractionProgress;
    int result = Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, options.get(), callbacks.get());
    debugLog("Qz_SingleEntryUnzip() result: %i", result);
    if (result != RC_OK) {
        reportError("Unzip failed");
        return 1;
    }
    return readDiskCount() ? 0 : 1;
}

void measureJar(const char* jarPath) {
    debugLog("Getting size of %s", jarPath);
    uint64_t before = runState.javaJarBytes;
    auto options = newOptions(jarPath);
    options->listMode = 1;
    options->restoreSecurity = 1;
    auto callbacks = newQuietCallbacks();
    Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, options.get(), callbacks.get());
    debugLog("Size of %s: %llu", jarPath,
             static_cast<unsigned long long>(runState.javaJarBytes - before));
}

int unzipJar(const char* jarPath, const char* destination) {
    debugLog("Unzipping %s", jarPath);
    auto options = newOptions(jarPath);
    options->restoreSecurity = 1;
    options->targetDirectory = destination;
    auto callbacks = newQuietCallbacks();
    return Qz_SingleEntryUnzip(0, nullptr, 0, nullptr, options.get(), callbacks.get());
}
