// The folder the last mapped name led to, remembered so that the next entry in the same
// folder (nearly every entry of a real archive) is placed without asking the system
// again about every directory on its path and about the volume under it.
//
// What is remembered is what the walk over the name's directory part learned: the
// paths it built and that every directory on them exists as a directory. Nothing the
// engine does afterwards can make that untrue except deleting or renaming a directory
// or a link to one (renamed away as the backup of an entry of the same name; on the
// folder's path through ".." or a link), or a question that lets the user act on the
// tree while it waits; each of these forgets the folder, and the next entry walks its
// path again.
#pragma once

#include <cstddef>

struct EngineState;

// What mapping the directory part decided besides the paths themselves.
struct FolderMapping {
    bool droppedParent;       // a ".." component was dropped
    bool addedDirectory;      // at least one directory component was added
    bool blanksChecked;       // the volume was asked whether blanks become "_"
    bool blanksToUnderscore;  // its answer
};

// Remembers that the directory part of a name, `length` bytes at `directory`, mapped to
// the long and short paths built so far, every directory on them now existing.
void rememberKnownFolder(EngineState* state, const char* directory, size_t length,
                         const FolderMapping& mapping);

// When the directory part equals the known folder's, puts its paths in place of the
// ones being built and answers true with its mapping.
bool reuseKnownFolder(EngineState* state, const char* directory, size_t length,
                      FolderMapping* mapping);

// True when path names an entry directly inside the known folder (short form).
bool isInKnownFolder(const EngineState* state, const char* path);

// Forgets the folder: before a directory or a link to one is deleted or renamed, and
// before a question to the user.
void forgetKnownFolder(EngineState* state);

// Frees what the folder holds (end of an archive, or of the engine call).
void releaseKnownFolder(EngineState* state);
