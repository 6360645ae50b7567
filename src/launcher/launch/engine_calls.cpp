// The launcher's calls of the extraction engine: the shared records and the jar calls.
#include "launcher/launch/engine_calls.h"

#include "launcher/app/reporting.h"
#include "launcher/state/run_state.h"

namespace {

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

} // namespace

std::unique_ptr<UnzipOptions> newOptions(const char* archivePath) {
    auto options = std::make_unique<UnzipOptions>();
    options->recordVersion = UNZIP_RECORD_VERSION;
    options->directoryMode = 1;
    options->overwriteAll = 1;
    options->archivePath = archivePath;
    return options;
}

std::unique_ptr<UnzipCallbacks> newQuietCallbacks() {
    auto callbacks = std::make_unique<UnzipCallbacks>();
    callbacks->printText = dropText;
    callbacks->askReplace = replaceWithoutAsking;
    callbacks->listEntry = addToJarBytes;
    callbacks->entryDone = keepGoing;
    return callbacks;
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
