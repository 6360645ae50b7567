// Output names: every selected entry's stored name becomes a safe local path under the
// target directory, and the directories on that path are made to exist.
//
// mapOutputName walks the name one component at a time and hands each finished
// component to buildPath, which appends it to two paths at once: the long form (the
// components as mapped, used for length checks and messages) and the short form (each
// component in 8.3 form where the volume only holds such names; identical elsewhere),
// which is the path created and returned. Directory components are created as they
// are added, so a failure stops at the first component that cannot exist.
//
// Safety rules kept here, whatever the archive holds: leading "/" is stripped, ".."
// components are dropped unless the caller allows them, a component made of dots and
// blanks only counts as ".." (Windows drops trailing dots and blanks, so ".. " would
// reach the parent there), and the characters Windows reserves become "_". A name
// is stepped by whole characters of the ANSI code page, so a trail byte of a double-
// byte character is never taken for a separator.
#include "engine/output_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "engine/known_folder.h"
#include "engine/messages.h"
#include "engine/state.h"
#include "engine/times.h"
#include "platform/codepage.h"
#include "platform/outputfile.h"

namespace {

// Path lengths of the system we follow: a path holds at most 259 characters, and a
// directory path must leave room for a separator and a short file name after it.
constexpr size_t kPathLimit = 260;
constexpr size_t kDirectoryPathMax = 257;

size_t characterLength(const char* text) {
    bool printable;
    return static_cast<size_t>(ansiCharacter(text, &printable));
}

void releasePathBuffers(EngineState* state) {
    std::free(state->longPath);
    std::free(state->shortPath);
    state->longPath = nullptr;
    state->shortPath = nullptr;
    state->longLength = 0;
    state->shortLength = 0;
}

// Cuts a path to at most `limit` bytes without splitting a character.
size_t cutOnCharacter(char* path, size_t length, size_t limit) {
    size_t end = 0;
    while (end < length) {
        size_t next = end + characterLength(path + end);
        if (next > limit) break;
        end = next;
    }
    path[end] = '\0';
    return end;
}

bool isDriveLetterPrefix(const char* text) {
    return std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

// "." and "..", and any other run of dots and blanks with two dots or more, which
// Windows would read as "..".
enum ComponentKind { ORDINARY, CURRENT_DIR, PARENT_DIR };
ComponentKind componentKind(const char* component) {
    if (std::strcmp(component, ".") == 0) return CURRENT_DIR;
    int dots = 0;
    for (const char* p = component; *p != '\0'; ++p) {
        if (*p == '.') ++dots;
        else if (*p != ' ') return ORDINARY;
    }
    return dots >= 2 ? PARENT_DIR : ORDINARY;
}

// Sets the attributes of a directory (created now, or existing and to be overwritten).
void setDirectoryAttributes(EngineState* state) {
    uint32_t attributes = state->currentEntry->fileAttributes;
    if ((attributes & 0x6F) == 0) return;
    int error = 0;
    if (!setOutputAttributes(state->entryName, attributes & 0x7F, &error)) {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "\nwarning (%d): could not set file attributes for %s\n", error,
                    printableName(state->entryName, shown, sizeof shown));
    }
}

int setRoot(EngineState* state, const char* target) {
    if (target == nullptr) {
        state->rootLength = 0;
        return MAP_OK;
    }
    if (state->rootLength > 0 || *target == '\0') return MAP_OK;

    size_t length = std::strlen(target);
    char* root = static_cast<char*>(std::malloc(length + 3));
    if (root == nullptr) return MAP_NOMEM;
    std::memcpy(root, target, length + 1);
    bool hasDrive = isDriveLetterPrefix(root);
    bool separatorRemoved = false;
    if (root[length - 1] == '/' || root[length - 1] == '\\') {
        root[--length] = '\0';
        separatorRemoved = true;
    }
    if (hasDrive && length == 2) {
        // "C:" alone is the current directory of that drive.
        if (!separatorRemoved) {
            root[length++] = '.';
            root[length] = '\0';
        }
    } else if (length > 0) {
        FileStatus status;
        bool isDirectory = fileStatus(state, root, &status) == 0 &&
                           (status.mode & MODE_TYPE_MASK) == MODE_DIRECTORY;
        if (!isDirectory) {
            if (!state->createDirs) {
                std::free(root);
                state->rootLength = 0;
                return MAP_SKIP;
            }
            int error = 0;
            if (!createOutputDirectory(root, &error)) {
                char shown[PRINTABLE_NAME_SIZE];
                sendMessage(state, "checkdir:  cannot create extraction directory: %s\n",
                            printableName(root, shown, sizeof shown));
                std::free(root);
                state->rootLength = 0;
                return MAP_FAILED;
            }
        }
    }
    root[length++] = '/';
    root[length] = '\0';
    state->rootPath = root;
    state->rootLength = length;
    return MAP_OK;
}

int startPath(EngineState* state, const char* prefix) {
    // Room for the root or prefix, the name, and one "_" per component that
    // maskDeviceName may add (at most one per byte of the name).
    size_t capacity = state->rootLength + 2 * (state->nameLength + 1) + 8;
    state->longPath = static_cast<char*>(std::malloc(capacity));
    state->shortPath = static_cast<char*>(std::malloc(capacity));
    if (state->longPath == nullptr || state->shortPath == nullptr) {
        releasePathBuffers(state);
        return MAP_NOMEM;
    }
    if (state->currentEntry->volumeLabel) {
        releasePathBuffers(state);
        return MAP_VOLLABEL;
    }
    const char* start = state->fullPathGiven ? prefix
                        : state->rootLength > 0 ? state->rootPath
                                                : "";
    state->longLength = std::strlen(start);
    std::memcpy(state->longPath, start, state->longLength + 1);
    std::memcpy(state->shortPath, start, state->longLength + 1);
    state->shortLength = state->longLength;
    return MAP_OK;
}

void appendShortForm(EngineState* state, const char* component) {
    if (isOldFatVolume(state, state->longPath)) {
        char* end = toShortName(component, state->shortPath + state->shortLength);
        state->shortLength = static_cast<size_t>(end - state->shortPath);
    } else {
        size_t length = std::strlen(component);
        std::memcpy(state->shortPath + state->shortLength, component, length + 1);
        state->shortLength += length;
    }
}

int addDirectory(EngineState* state, const char* component) {
    size_t length = std::strlen(component);
    std::memcpy(state->longPath + state->longLength, component, length + 1);
    state->longLength += length;
    appendShortForm(state, component);
    bool tooLong = state->longLength > kDirectoryPathMax;

    char shown[PRINTABLE_NAME_SIZE];
    char shownEntry[PRINTABLE_NAME_SIZE];
    FileStatus status;
    if (fileStatus(state, state->shortPath, &status) != 0) {
        if (!state->createDirs) {
            releasePathBuffers(state);
            return MAP_SKIP;
        }
        if (tooLong) {
            sendMessage(state, "checkdir error:  path too long: %s\n",
                        printableName(state->longPath, shown, sizeof shown));
            releasePathBuffers(state);
            return MAP_TOOLONG;
        }
        int error = 0;
        if (!createOutputDirectory(state->shortPath, &error)) {
            sendMessage(state,
                        "checkdir error:  cannot create %s\n                 %s\n"
                        "                 unable to process %s.\n",
                        printableName(state->shortPath, shown, sizeof shown),
                        outputErrorText(error),
                        printableName(state->entryName, shownEntry, sizeof shownEntry));
            releasePathBuffers(state);
            return MAP_FAILED;
        }
        state->createdDir = true;
    } else if ((status.mode & MODE_TYPE_MASK) != MODE_DIRECTORY) {
        sendMessage(state,
                    "checkdir error:  %s exists but is not directory\n"
                    "                 unable to process %s.\n",
                    printableName(state->shortPath, shown, sizeof shown),
                    printableName(state->entryName, shownEntry, sizeof shownEntry));
        releasePathBuffers(state);
        return MAP_FAILED;
    } else if (tooLong) {
        sendMessage(state, "checkdir error:  path too long: %s\n",
                    printableName(state->longPath, shown, sizeof shown));
        releasePathBuffers(state);
        return MAP_TOOLONG;
    }
    state->longPath[state->longLength++] = '/';
    state->longPath[state->longLength] = '\0';
    state->shortPath[state->shortLength++] = '/';
    state->shortPath[state->shortLength] = '\0';
    return MAP_OK;
}

int addName(EngineState* state, const char* component) {
    int status = MAP_OK;
    size_t length = std::strlen(component);
    std::memcpy(state->longPath + state->longLength, component, length + 1);
    state->longLength += length;
    if (state->longLength >= kPathLimit) {
        state->longLength = cutOnCharacter(state->longPath, state->longLength, kPathLimit - 1);
        char shownEntry[PRINTABLE_NAME_SIZE];
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state,
                    "checkdir warning:  path too long; truncating\n               %s\n"
                    "                -> %s\n",
                    printableName(state->entryName, shownEntry, sizeof shownEntry),
                    printableName(state->longPath, shown, sizeof shown));
        status = MAP_TRUNCATED;
    }
    if (state->currentEntry->volumeLabel || !isOldFatVolume(state, state->longPath)) {
        std::memcpy(state->shortPath + state->shortLength, component, length + 1);
        state->shortLength += length;
    } else {
        char* end = toShortName(component, state->shortPath + state->shortLength);
        state->shortLength = static_cast<size_t>(end - state->shortPath);
    }
    if (state->shortLength >= kPathLimit)
        state->shortLength = cutOnCharacter(state->shortPath, state->shortLength, kPathLimit - 1);
    return status;
}

} // namespace

int buildPath(EngineState* state, char* text, int mode) {
    switch (mode & 7) {
    case PATH_SETROOT:
        return setRoot(state, text);
    case PATH_START:
        return startPath(state, text);
    case PATH_ADDDIR:
        return addDirectory(state, text);
    case PATH_ADDNAME:
        return addName(state, text);
    case PATH_RESULT:
        // A directory entry that names the target itself maps to the target and its
        // separator: 260 characters for a target of 259, one more than a name holds.
        if (state->shortLength > size_t(ENTRY_NAME_MAX))
            state->shortLength = cutOnCharacter(state->shortPath, state->shortLength, ENTRY_NAME_MAX);
        std::memcpy(text, state->shortPath, state->shortLength + 1);
        releasePathBuffers(state);
        return MAP_OK;
    case PATH_CLEAR:
        releaseKnownFolder(state);
        std::free(state->rootPath);
        state->rootPath = nullptr;
        state->rootLength = 0;
        releasePathBuffers(state);
        return MAP_OK;
    default:
        return MAP_INVALID;
    }
}

void prepareEntryName(EngineState* state, bool newName) {
    char* name = state->entryName;
    if (state->currentEntry->hostSystem == HOST_FAT && std::strchr(name, '/') == nullptr) {
        bool changed = false;
        for (char* p = name; *p != '\0'; p += characterLength(p)) {
            if (*p == '\\') {
                *p = '/';
                changed = true;
            }
        }
        if (changed && !state->reportedBackslash) {
            state->reportedBackslash = true;
            sendMessage(state, "warning:  %s appears to use backslashes as path separators\n",
                        state->archiveName);
            if (state->runResult < RC_WARNING) state->runResult = RC_WARNING;
        }
    }
    if (!newName && name[0] == '/') {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "warning:  stripped absolute path spec from %s\n",
                    printableName(name, shown, sizeof shown));
        if (state->runResult < RC_WARNING) state->runResult = RC_WARNING;
        size_t skip = std::strspn(name, "/");
        std::memmove(name, name + skip, std::strlen(name + skip) + 1);
    }
}

int mapOutputName(EngineState* state, bool newName) {
    char* name = state->entryName;
    state->createDirs = !state->freshenOnly || newName;
    state->createdDir = false;
    state->fullPathGiven = false;
    state->nameLength = std::strlen(name);

    char prefix[4] = "";
    const char* cursor = name;
    if (newName) {
        for (char* p = name; *p != '\0'; p += characterLength(p))
            if (*p == '\\') *p = '/';
        if (name[0] == '/') {
            state->fullPathGiven = true;
            std::strcpy(prefix, "/");
            cursor = name + 1;
        } else if (isDriveLetterPrefix(name)) {
            state->fullPathGiven = true;
            size_t prefixLength = name[2] == '/' ? 3 : 2;
            std::memcpy(prefix, name, prefixLength);
            prefix[prefixLength] = '\0';
            cursor = name + prefixLength;
        }
    }
    int status = buildPath(state, prefix, PATH_START);
    if (status != MAP_OK) return status;

    if (!newName && state->junkPaths) {
        for (const char* p = cursor; *p != '\0'; p += characterLength(p))
            if (*p == '/') cursor = p + 1;
    }

    // Each component grows by at most one "_" (maskDeviceName).
    char component[ENTRY_NAME_SIZE + 2];
    size_t length = 0;
    char* lastSemicolon = nullptr;
    int result = RC_OK;
    FolderMapping folder{false, false, state->underscoreBlanks, state->underscoreBlanks};

    // The directory part (up to the last separator) of a name in the same folder as the
    // name before maps as that one did, and its directories are known to exist.
    const char* directoryEnd = cursor;
    for (const char* p = cursor; *p != '\0'; p += characterLength(p))
        if (*p == '/') directoryEnd = p + 1;
    const size_t directoryLength = size_t(directoryEnd - cursor);
    const char* p = cursor;
    bool folderKnown = false;
    if (!newName && reuseKnownFolder(state, cursor, directoryLength, &folder)) {
        p = directoryEnd;
        folderKnown = true;
    }

    for (;;) {
        if (p == directoryEnd && !folderKnown && !newName) {
            rememberKnownFolder(state, cursor, directoryLength, folder);
            folderKnown = true;
        }
        if (*p == '\0') break;
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '/') {
            component[length] = '\0';
            maskDeviceName(state, component);
            ComponentKind kind = componentKind(component);
            if (kind == PARENT_DIR && !state->allowParentDirs) {
                folder.droppedParent = true;
            } else if (kind != CURRENT_DIR && component[0] != '\0') {
                status = buildPath(state, component, PATH_ADDDIR);
                if (status > MAP_TRUNCATED) return status;
                folder.addedDirectory = true;
            }
            length = 0;
            lastSemicolon = nullptr;
            ++p;
            continue;
        }
        switch (c) {
        case '"': case '*': case ':': case '<': case '>': case '?': case '\\': case '|':
            component[length++] = '_';
            ++p;
            continue;
        case ';':
            lastSemicolon = component + length;
            component[length++] = ';';
            ++p;
            continue;
        case ' ':
            if (!folder.blanksChecked) {
                folder.blanksToUnderscore = isOldFatVolume(state, name);
                folder.blanksChecked = true;
            }
            component[length++] = folder.blanksToUnderscore ? '_' : ' ';
            ++p;
            continue;
        default:
            break;
        }
        bool printable = false;
        size_t step = static_cast<size_t>(ansiCharacter(p, &printable));
        if (printable || c >= 0x7F) {
            std::memcpy(component + length, p, step);
            length += step;
        }
        p += step;
    }

    if (folder.droppedParent && state->quietLevel == 0) {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "warning:  skipped \"../\" path component(s) in %s\n",
                    printableName(name, shown, sizeof shown));
        if (result == RC_OK) result = RC_WARNING;
    }

    if (state->nameLength > 0 && *lastCharacter(name, state->nameLength) == '/') {
        buildPath(state, name, PATH_RESULT);
        if (state->createdDir) {
            char shown[PRINTABLE_NAME_SIZE];
            sendMessageUpTo(state, 0, "   creating: %-22s\n",
                            printableName(name, shown, sizeof shown));
            setDirectoryAttributes(state);
            return MAP_DIRCREATED | result;
        }
        // A directory entry whose every component was dropped (junked paths, "." or
        // "..") names the target itself, whose attributes are not the archive's to set.
        if (state->overwriteMode == OVERWRITE_ALWAYS && folder.addedDirectory)
            setDirectoryAttributes(state);
        return MAP_SKIP | result;
    }

    // A file: a trailing version number (";12") is dropped, and so is a last
    // component that would only name the directory itself or its parent.
    component[length] = '\0';
    if (lastSemicolon != nullptr &&
        std::strspn(lastSemicolon + 1, "0123456789") == std::strlen(lastSemicolon + 1))
        *lastSemicolon = '\0';
    maskDeviceName(state, component);
    if (componentKind(component) != ORDINARY) component[0] = '\0';
    if (component[0] == '\0') {
        char shown[PRINTABLE_NAME_SIZE];
        sendMessage(state, "mapname:  conversion of %s failed\n",
                    printableName(name, shown, sizeof shown));
        releasePathBuffers(state);
        return MAP_FAILED;
    }
    buildPath(state, component, PATH_ADDNAME);
    buildPath(state, name, PATH_RESULT);
    return MAP_OK | result;
}

void maskDeviceName(EngineState*, char* component) {
    if (component[0] == '\0' || !isCharacterDevice(component)) return;
    std::memmove(component + 1, component, std::strlen(component) + 1);
    component[0] = '_';
}

char* toShortName(const char* component, char* destination) {
    // The 8.3 form is at most 12 characters; work in a copy as long as the component.
    size_t length = std::strlen(component);
    if (std::strcmp(component, ".") == 0) {
        *destination = '\0';
        return destination;
    }
    if (std::strcmp(component, "..") == 0) {
        std::memcpy(destination, "..", 3);
        return destination + 2;
    }
    char* work = static_cast<char*>(std::malloc(length + 1));
    if (work == nullptr) {  // keep the name as it is rather than lose it
        std::memcpy(destination, component, length + 1);
        return destination + length;
    }
    size_t out = 0;
    long dot = -1;
    for (const char* p = component; *p != '\0';) {
        size_t step = characterLength(p);
        char c = *p;
        if (step > 1) {
            std::memcpy(work + out, p, step);
            out += step;
            p += step;
            continue;
        }
        if (c == '[' || c == ']' || c == '+' || c == ',' || c == ';' || c == '=') {
            work[out++] = '_';
        } else if (c == '.') {
            if (p != component) dot = static_cast<long>(out);
            work[out++] = '_';
        } else {
            work[out++] = c;
        }
        ++p;
    }
    work[out] = '\0';

    if (dot < 0) {
        const char* underscore = std::strrchr(work, '_');
        if (underscore != nullptr) {
            size_t before = static_cast<size_t>(underscore - work);
            size_t after = out - before - 1;
            if ((before < 8 ? before : 8) + (after < 3 ? after : 3) > 8)
                dot = static_cast<long>(before);
        }
        if (dot < 0 && out > 8) {
            out = 8;
            work[out] = '\0';
        }
    }
    if (dot >= 0) {
        size_t at = static_cast<size_t>(dot);
        work[at] = '.';
        if (at > 8) {
            size_t tail = out - at < 4 ? out - at : 4;
            std::memmove(work + 8, work + at, tail);
            out = 8 + tail;
            at = 8;
        } else if (out - at - 1 > 3) {
            out = at + 4;
        }
        work[out] = '\0';
        if (at > 0 && work[at - 1] == ' ') work[at - 1] = '_';
    }
    std::memcpy(destination, work, out + 1);
    std::free(work);
    return destination + out;
}

const char* lastCharacter(const char* text, size_t length) {
    const char* last = text;
    for (const char* p = text; p < text + length && *p != '\0'; p += characterLength(p))
        last = p;
    return last;
}
