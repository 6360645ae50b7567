// The whole engine call on arbitrary bytes taken as an archive file, in the ways the
// program and its tools use it. Shared by the three engine targets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

enum class EngineRun {
    test,     // test mode, then the entries' data to the console with text conversion
    list,     // listing mode with the comment shown, every message let through
    extract,  // the launcher's two extractions (sfx.ini, then all) into a fresh directory,
              // after a listing that gives the declared sizes no file may exceed
};

// Writes the bytes to a private archive file and runs Qz_SingleEntryUnzip on it. Aborts
// when the engine changes anything it may not (see write_guard.h): in test and listing
// mode nothing at all, in extraction mode nothing outside the target directory, which
// is checked again (with the sizes of what was written) and removed after the call.
void runEngineOnArchive(const uint8_t* data, size_t size, EngineRun run);

} // namespace fuzz
