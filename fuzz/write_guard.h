// A guard around the calls that change the file system, for the fuzz targets that run
// the engine on hostile archives.
//
// The engine decides from the archive where files go; a name that slips past its path
// mapping would, in a fuzz run, create or overwrite files anywhere the fuzzing user may
// write. So the targets do not check only afterwards: this file replaces the C library's
// path-taking calls that create, change or remove files (open for writing, mkdir,
// rename, unlink, chmod and their relatives) for the whole program, and while the guard
// is armed every such call must name a path inside the allowed root. A call outside
// it aborts before anything is done, which libFuzzer reports as a crash with the stack
// of the offending call. Disarmed, the calls go straight to the kernel.
#pragma once

#include <string>

namespace fuzz {

// Arms the guard: from now on only paths inside `root` (an absolute directory without a
// trailing '/') may be changed. An empty root allows no change at all.
void armWriteGuard(const std::string& root);
void disarmWriteGuard();

// Removes a directory tree without following links, making directories writable and
// searchable first (an archive may ask for read-only ones). Runs with the guard disarmed.
void removeTree(const std::string& path);

} // namespace fuzz
