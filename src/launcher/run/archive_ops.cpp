/*
 * The run's two calls of the engine on the program's own archive: sfx.ini alone, then the
 * whole archive with progress (the records as in launch/engine_calls.h).
 */
#include "launcher/run/archive_ops.h"

#include <cstdio>
#include <memory>

#include "launcher/app/reporting.h"
#include "launcher/launch/descriptor.h"
#include "launcher/launch/engine_calls.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/run/run_steps.h"
#include "launcher/state/run_records.h"
#include "launcher/state/run_state.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "quenlow/unzip.h"

namespace {

constexpr const char* kDescriptorName = "sfx.ini";

// The program's own file, read afresh for each use.
bool ownArchive(char* buffer) {
    if (platform::programFile(buffer, kPathBufferSize))
        return true;
    buffer[0] = '\0';
    return false;
}

} // namespace

int answerReplace(char*, int) {
    debugLog("FuncReplace");
    return REPLACE_YES;
}

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
    auto callbacks = newQuietCallbacks();
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
