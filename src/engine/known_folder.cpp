#include "engine/known_folder.h"

#include <cstdlib>
#include <cstring>

#include "engine/state.h"

void rememberKnownFolder(EngineState* state, const char* directory, size_t length,
                         const FolderMapping& mapping) {
    KnownFolder& folder = state->knownFolder;
    folder.valid = false;
    folder.volumeKnown = false;
    size_t needed = length + state->longLength + state->shortLength + 1;
    if (needed > folder.capacity) {
        char* grown = static_cast<char*>(std::realloc(folder.storage, needed));
        if (grown == nullptr) return;  // nothing remembered: the next entry walks its path
        folder.storage = grown;
        folder.capacity = needed;
    }
    char* at = folder.storage;
    std::memcpy(at, directory, length);
    std::memcpy(at + length, state->longPath, state->longLength);
    std::memcpy(at + length + state->longLength, state->shortPath, state->shortLength);
    at[needed - 1] = '\0';  // ends the short path, which isInKnownFolder compares
    folder.rawLength = length;
    folder.longLength = state->longLength;
    folder.shortLength = state->shortLength;
    folder.mapping = mapping;
    folder.valid = true;
}

bool reuseKnownFolder(EngineState* state, const char* directory, size_t length,
                      FolderMapping* mapping) {
    const KnownFolder& folder = state->knownFolder;
    if (!folder.valid || folder.rawLength != length ||
        std::memcmp(folder.storage, directory, length) != 0)
        return false;
    // The same directory part under the same root maps to the same paths, which the
    // path buffers (sized for this name) hold.
    const char* longPath = folder.storage + length;
    std::memcpy(state->longPath, longPath, folder.longLength);
    state->longPath[folder.longLength] = '\0';
    state->longLength = folder.longLength;
    std::memcpy(state->shortPath, longPath + folder.longLength, folder.shortLength + 1);
    state->shortLength = folder.shortLength;
    *mapping = folder.mapping;
    return true;
}

bool isInKnownFolder(const EngineState* state, const char* path) {
    const KnownFolder& folder = state->knownFolder;
    if (!folder.valid) return false;
    const char* shortPath = folder.storage + folder.rawLength + folder.longLength;
    if (std::strncmp(path, shortPath, folder.shortLength) != 0) return false;
    const char* name = path + folder.shortLength;
    return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           std::strpbrk(name, "/\\") == nullptr;
}

void forgetKnownFolder(EngineState* state) {
    state->knownFolder.valid = false;
    state->knownFolder.volumeKnown = false;
}

void releaseKnownFolder(EngineState* state) {
    std::free(state->knownFolder.storage);
    state->knownFolder = KnownFolder{};
}
